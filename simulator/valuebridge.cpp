#include "valuebridge.h"

#include <mutex>
#include <set>

namespace VorexSim {

using values::Tree;
using values::ValueBase;

namespace {

QString parentPath(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

std::recursive_mutex& treeLock()
{
    return values::TreeMutex();
}

} // namespace

ValueBridge::ValueBridge(const QStringList& channelPaths, const QStringList& replayTimePaths)
{
    for (int i = 0; i < channelPaths.size(); ++i)
        m_channels.push_back(Channel{channelPaths[i], replayTimePaths.value(i), nullptr, nullptr});
}

ValueBridge::~ValueBridge()
{
    stop();
}

void ValueBridge::start(std::function<void(const ValueEvent&)> sink)
{
    std::lock_guard<std::recursive_mutex> lock(treeLock());
    m_sink = std::move(sink);
    std::set<QString> parents;
    for (const Channel& c : m_channels) {
        parents.insert(parentPath(c.path));
        parents.insert(parentPath(parentPath(c.replayTimePath)));
    }
    for (const QString& p : parents)
        if (auto node = Tree::Instance()->CreateOrGetNode(p)) {
            node->AddObserver(this);
            m_parents.push_back(node);
        }
    for (int i = 0; i < int(m_channels.size()); ++i)
        rescan(i);
}

void ValueBridge::stop()
{
    std::lock_guard<std::recursive_mutex> lock(treeLock());
    for (auto& p : m_parents)
        p->RemoveObserver(this);
    m_parents.clear();
    for (auto& v : m_values)
        v.second.value->RemoveObserver(this);
    m_values.clear();
    for (Channel& c : m_channels) {
        if (c.node)
            c.node->RemoveObserver(this);
        if (c.replayParent)
            c.replayParent->RemoveObserver(this);
        c.node.reset();
        c.replayParent.reset();
    }
    m_nodes.clear();
    m_sink = nullptr;
}

int ValueBridge::channelIndex(const QString& name) const
{
    for (int i = 0; i < int(m_channels.size()); ++i)
        if (channelName(i) == name)
            return i;
    return -1;
}

QString ValueBridge::channelName(int channel) const
{
    if (channel < 0 || channel >= int(m_channels.size()))
        return QString();
    const QString& p = m_channels[size_t(channel)].path;
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

int ValueBridge::channelOfPath(const QString& path) const
{
    for (int i = 0; i < int(m_channels.size()); ++i) {
        const Channel& c = m_channels[size_t(i)];
        if (path == c.replayTimePath || path.startsWith(c.path + QLatin1Char('/')))
            return i;
    }
    return -1;
}

QString ValueBridge::encode(const ValueBase& value, bool withItems)
{
    QString type;
    QString data;
    if (auto v = dynamic_cast<const values::Value<bool>*>(&value)) {
        type = QStringLiteral("b");
        data = v->Get() ? QStringLiteral("1") : QStringLiteral("0");
    } else if (auto v = dynamic_cast<const values::Value<int>*>(&value)) {
        type = QStringLiteral("i");
        data = QString::number(v->Get());
    } else if (auto v = dynamic_cast<const values::Value<unsigned int>*>(&value)) {
        type = QStringLiteral("u");
        data = QString::number(v->Get());
    } else if (auto v = dynamic_cast<const values::Value<QString>*>(&value)) {
        type = QStringLiteral("s");
        data = v->Get();
    } else if (auto v = dynamic_cast<const values::ValueNumeric<values::int64>*>(&value)) {
        type = QStringLiteral("l");
        data = QString::number(v->Get());
    } else if (auto v = dynamic_cast<const values::ValueNumeric<double>*>(&value)) {
        type = QStringLiteral("d");
        data = QString::number(v->Get(), 'g', 17);
    } else if (auto v = dynamic_cast<const values::ValueSelection*>(&value)) {
        type = QStringLiteral("e");
        data = QString::number(v->GetCurrentKey());
        if (withItems)
            for (const values::SelItemDesc& item : v->GetItems())
                data += QStringLiteral("|%1=%2").arg(item.m_key).arg(item.m_text);
    } else {
        type = QStringLiteral("s");
        data = value.ToString();
    }
    return QStringLiteral("%1\t%2\t%3").arg(type).arg(value.GetState()).arg(data);
}

ValueBridge::WriteResult ValueBridge::write(const QString& path, const QString& type, const QString& data,
                                            IObserver* writer)
{
    std::lock_guard<std::recursive_mutex> lock(treeLock());
    if (channelOfPath(path) < 0)
        return NoSuchValue;
    auto value = Tree::Instance()->FindValue(path);
    if (!value)
        return NoSuchValue;
    if (encode(*value, false).section(QLatin1Char('\t'), 0, 0) != type)
        return WrongType;
    bool ok = true;
    if (auto v = std::dynamic_pointer_cast<values::Value<bool>>(value)) {
        ok = data == QLatin1String("0") || data == QLatin1String("1");
        if (ok)
            v->Set(data == QLatin1String("1"), writer);
    } else if (auto v = std::dynamic_pointer_cast<values::Value<int>>(value)) {
        const int n = data.toInt(&ok);
        if (ok)
            v->Set(n, writer);
    } else if (auto v = std::dynamic_pointer_cast<values::Value<unsigned int>>(value)) {
        const uint n = data.toUInt(&ok);
        if (ok)
            v->Set(n, writer);
    } else if (auto v = std::dynamic_pointer_cast<values::Value<QString>>(value)) {
        v->Set(data, writer);
    } else if (auto v = std::dynamic_pointer_cast<values::ValueNumeric<values::int64>>(value)) {
        const qint64 n = data.toLongLong(&ok);
        if (ok)
            v->Set(n, writer);
    } else if (auto v = std::dynamic_pointer_cast<values::ValueNumeric<double>>(value)) {
        const double n = data.toDouble(&ok);
        if (ok)
            v->Set(n, writer);
    } else if (auto v = std::dynamic_pointer_cast<values::ValueSelection>(value)) {
        const long key = data.section(QLatin1Char('|'), 0, 0).toLong(&ok);
        ok = ok && v->SelectIndex(key, writer);
    } else {
        ok = false;
    }
    return ok ? Written : BadData;
}

void ValueBridge::collect(int channel, std::vector<std::shared_ptr<ValueBase>>& out) const
{
    const Channel& c = m_channels[size_t(channel)];
    std::vector<std::shared_ptr<values::Node>> stack;
    if (c.node)
        stack.push_back(c.node);
    while (!stack.empty()) {
        auto node = stack.back();
        stack.pop_back();
        for (const auto& child : node->GetChildren()) {
            if (auto value = std::dynamic_pointer_cast<ValueBase>(child))
                out.push_back(value);
            else
                stack.push_back(child);
        }
    }
    if (auto replay = Tree::Instance()->FindValue(c.replayTimePath))
        out.push_back(replay);
}

std::vector<ValueEvent> ValueBridge::snapshot(int channel) const
{
    std::lock_guard<std::recursive_mutex> lock(treeLock());
    std::vector<ValueEvent> events;
    if (channel < 0 || channel >= int(m_channels.size()))
        return events;
    std::vector<std::shared_ptr<ValueBase>> current;
    collect(channel, current);
    for (const auto& v : current) {
        const QString path = v->GetPathName();
        events.push_back(ValueEvent{channel, false, path, path + QLatin1Char('\t') + encode(*v, true), QString()});
    }
    return events;
}

void ValueBridge::emitValue(int channel, const ValueBase& value, bool withItems)
{
    if (!m_sink)
        return;
    const QString path = value.GetPathName();
    m_sink(ValueEvent{channel, false, path, path + QLatin1Char('\t') + encode(value, withItems), m_origin});
}

void ValueBridge::emitDeleted(int channel, const QString& path)
{
    if (m_sink)
        m_sink(ValueEvent{channel, true, path, path, m_origin});
}

void ValueBridge::rescan(int channel)
{
    Channel& c = m_channels[size_t(channel)];
    const auto attachNode = [&](std::shared_ptr<values::Node>& held, const QString& path) {
        auto node = Tree::Instance()->FindNode(path);
        if (node && node->IsValue())
            node.reset();
        if (node == held)
            return;
        if (held) {
            held->RemoveObserver(this);
            m_nodes.erase(held.get());
        }
        held = node;
        if (held) {
            held->AddObserver(this);
            m_nodes[held.get()] = channel;
        }
    };
    attachNode(c.node, c.path);
    attachNode(c.replayParent, parentPath(c.replayTimePath));

    std::vector<std::shared_ptr<ValueBase>> current;
    collect(channel, current);
    std::set<Observable*> seen;
    for (const auto& v : current) {
        seen.insert(v.get());
        if (m_values.count(v.get()))
            continue;
        v->AddObserver(this);
        m_values[v.get()] = Watched{channel, v->GetPathName(), v};
        emitValue(channel, *v, true);
    }
    for (auto it = m_values.begin(); it != m_values.end();) {
        if (it->second.channel == channel && !seen.count(it->first)) {
            it->second.value->RemoveObserver(this);
            emitDeleted(channel, it->second.path);
            it = m_values.erase(it);
        } else {
            ++it;
        }
    }
}

void ValueBridge::Update(Observable* observable, TChangeCode code)
{
    auto value = m_values.find(observable);
    if (value != m_values.end()) {
        if (code == VC_DELETING) {
            const Watched gone = value->second;
            m_values.erase(value);
            emitDeleted(gone.channel, gone.path);
        } else {
            emitValue(value->second.channel, *value->second.value, false);
        }
        return;
    }
    auto node = m_nodes.find(observable);
    if (node != m_nodes.end()) {
        const int channel = node->second;
        Channel& c = m_channels[size_t(channel)];
        if (code == VC_DELETING) {
            m_nodes.erase(node);
            if (c.node.get() == observable) {
                emitDeleted(channel, c.path);
                c.node.reset();
            } else if (c.replayParent.get() == observable) {
                c.replayParent.reset();
            }
        } else {
            rescan(channel);
        }
        return;
    }
    // A parent: channel nodes may have come or gone.
    if (code == VC_VALUECHANGED)
        for (int i = 0; i < int(m_channels.size()); ++i) {
            const Channel& c = m_channels[size_t(i)];
            if (Tree::Instance()->FindNode(c.path) != c.node
                || Tree::Instance()->FindNode(parentPath(c.replayTimePath)) != c.replayParent)
                rescan(i);
        }
}

} // namespace VorexSim
