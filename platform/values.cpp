#include "values.h"

#include <algorithm>
#include <limits>

namespace {
void traceObserverException(const char* what)
{
    if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
        _Q_Trace(QStringLiteral("values: exception in observer: %1").arg(QString::fromUtf8(what)),
                 QStringLiteral("platform/values"), __LINE__);
}
} // namespace

Observable::~Observable() = default;

void Observable::AddObserver(IObserver* observer)
{
    if (!observer)
        return;
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    for (Entry& entry : m_observers) {
        if (entry.observer == observer) {
            ++entry.count;
            return;
        }
    }
    m_observers.push_back(Entry{observer, 1});
}

void Observable::RemoveObserver(IObserver* observer)
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    for (auto it = m_observers.begin(); it != m_observers.end(); ++it) {
        if (it->observer == observer) {
            if (--it->count == 0)
                m_observers.erase(it);
            return;
        }
    }
}

bool Observable::HasObserver(IObserver* observer) const
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    return std::any_of(m_observers.begin(), m_observers.end(),
                       [observer](const Entry& entry) { return entry.observer == observer; });
}

int Observable::ObserverCount() const
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    return static_cast<int>(m_observers.size());
}

void Observable::Notify(TChangeCode code, IObserver* writer)
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    if (m_observers.empty())
        return;
    // An observer may release the last reference to this node from inside
    // Update; keep it alive until the round is over.
    std::shared_ptr<values::Node> keepAlive;
    if (auto* node = dynamic_cast<values::Node*>(this))
        keepAlive = node->weak_from_this().lock();

    std::vector<IObserver*> round;
    round.reserve(m_observers.size());
    for (const Entry& entry : m_observers)
        round.push_back(entry.observer);

    for (IObserver* observer : round) {
        if (observer == writer)
            continue;
        // Detached by an earlier observer of this round: must not be called.
        if (!HasObserver(observer))
            continue;
        try {
            observer->Update(this, code);
        } catch (const std::exception& e) {
            traceObserverException(e.what());
        } catch (...) {
            traceObserverException("unknown");
        }
    }
}

void Observable::DropAllObservers()
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    m_observers.clear();
}

namespace values {

std::recursive_mutex& TreeMutex()
{
    // Never destroyed: observing pointers in other singletons may detach
    // during static destruction.
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

// ---------------------------------------------------------------- Node

Node::Node(const QString& name) : m_name(name) {}

Node::~Node() = default;

QString Node::GetName() const
{
    return m_name;
}

QString Node::GetPathName() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    QStringList parts;
    const Node* node = this;
    std::shared_ptr<Node> holder;
    while (node) {
        if (!node->m_name.isEmpty())
            parts.prepend(node->m_name);
        holder = node->m_parent.lock();
        node = holder.get();
    }
    return parts.isEmpty() ? QString() : QStringLiteral("/") + parts.join(QLatin1Char('/'));
}

std::shared_ptr<Node> Node::GetParent() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_parent.lock();
}

std::shared_ptr<Node> Node::GetChild(const QString& name) const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    auto it = m_children.find(name);
    return it == m_children.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Node>> Node::GetChildren() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::vector<std::shared_ptr<Node>> out;
    out.reserve(m_children.size());
    for (const auto& child : m_children)
        out.push_back(child.second);
    return out;
}

bool Node::IsAlive() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_bAlive;
}

// ---------------------------------------------------------------- values

ValueBase::ValueBase(const QString& name) : Node(name) {}

int ValueBase::GetState() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_state;
}

void ValueBase::SetState(int state, IObserver* writer)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    m_state = state;
    Notify(VC_STATECHANGED, writer);
}

template <> QString Value<bool>::TypeName() const { return QStringLiteral("bool"); }
template <> QString Value<int>::TypeName() const { return QStringLiteral("int"); }
template <> QString Value<unsigned int>::TypeName() const { return QStringLiteral("uint"); }
template <> QString Value<QString>::TypeName() const { return QStringLiteral("string"); }
template <> QString Value<bool>::ToString() const { return Get() ? QStringLiteral("true") : QStringLiteral("false"); }
template <> QString Value<int>::ToString() const { return QString::number(Get()); }
template <> QString Value<unsigned int>::ToString() const { return QString::number(Get()); }
template <> QString Value<QString>::ToString() const { return Get(); }

template class Value<bool>;
template class Value<int>;
template class Value<unsigned int>;
template class Value<QString>;

template <> void ValueNumeric<int64>::SetNumeric(double value, IObserver* writer)
{
    // Saturate instead of converting an out-of-range double (undefined).
    const double lo = -9223372036854775808.0;
    const double hi = 9223372036854775807.0;
    int64 converted = 0;
    if (value != value)
        converted = 0;
    else if (value <= lo)
        converted = std::numeric_limits<int64>::min();
    else if (value >= hi)
        converted = std::numeric_limits<int64>::max();
    else
        converted = static_cast<int64>(value);
    Set(converted, writer);
}
template <> void ValueNumeric<double>::SetNumeric(double value, IObserver* writer) { Set(value, writer); }
template <> QString ValueNumeric<int64>::TypeName() const { return QStringLiteral("int64"); }
template <> QString ValueNumeric<double>::TypeName() const { return QStringLiteral("double"); }

template class ValueNumeric<int64>;
template class ValueNumeric<double>;

ValueSelection::ValueSelection(const QString& name, long initialKey)
    : ValueBase(name), m_currentKey(initialKey)
{
}

long ValueSelection::GetCurrentKey() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_currentKey;
}

QString ValueSelection::GetCurrentText() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    for (const SelItemDesc& item : m_items)
        if (item.m_key == m_currentKey)
            return item.m_text;
    return QString();
}

bool ValueSelection::SelectIndex(long key, IObserver* writer)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    if (!m_items.empty() && !HasKey(key))
        return false;
    m_currentKey = key;
    Changed(writer);
    return true;
}

void ValueSelection::AddItem(const SelItemDesc& item)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    m_items.push_back(SelItemDesc(OwnedText(item.m_text), item.m_value, item.m_key));
}

std::vector<SelItemDesc> ValueSelection::GetItems() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_items;
}

bool ValueSelection::HasKey(long key) const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return std::any_of(m_items.begin(), m_items.end(),
                       [key](const SelItemDesc& item) { return item.m_key == key; });
}

// ---------------------------------------------------------------- Tree

Tree::Tree() : m_root(std::make_shared<Node>(QString())) {}

Tree* Tree::Instance()
{
    // Never destroyed, for the same reason as the mutex.
    static Tree* tree = new Tree;
    return tree;
}

QStringList Tree::SplitPath(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

std::shared_ptr<Node> Tree::Root() const
{
    return m_root;
}

std::shared_ptr<Node> Tree::FindNode(const QString& path) const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<Node> node = m_root;
    for (const QString& part : SplitPath(path)) {
        auto it = node->m_children.find(part);
        if (it == node->m_children.end())
            return nullptr;
        node = it->second;
    }
    return node;
}

ValueBase* Tree::Find(const QString& path) const
{
    return FindValue(path).get();
}

std::shared_ptr<ValueBase> Tree::FindValue(const QString& path) const
{
    return std::dynamic_pointer_cast<ValueBase>(FindNode(path));
}

std::shared_ptr<Node> Tree::CreateOrGetNode(const QString& path)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<Node> node = m_root;
    for (const QString& part : SplitPath(path)) {
        if (node->IsValue())
            return nullptr;
        auto it = node->m_children.find(part);
        if (it != node->m_children.end()) {
            node = it->second;
            continue;
        }
        auto child = std::make_shared<Node>(part);
        Insert(node, child);
        node = child;
    }
    return node;
}

bool Tree::PrepareInsert(const QString& path, std::shared_ptr<Node>& parent, QString& name)
{
    QStringList parts = SplitPath(path);
    if (parts.isEmpty())
        return false;
    name = parts.takeLast();
    parent = CreateOrGetNode(parts.join(QLatin1Char('/')));
    return parent && !parent->IsValue();
}

void Tree::Insert(const std::shared_ptr<Node>& parent, const std::shared_ptr<Node>& node)
{
    auto existing = parent->m_children.find(node->m_name);
    if (existing != parent->m_children.end()) {
        std::shared_ptr<Node> old = existing->second;
        ReleaseNode(old);
    }
    node->m_parent = parent;
    parent->m_children[node->m_name] = node;
    parent->Notify(VC_VALUECHANGED, nullptr);
}

std::shared_ptr<ValueBase> Tree::CreateFromDescriptor(const QString& path, const ValueDescriptor& d)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<ValueBase> value;
    switch (d.kind) {
    case ValueDescriptor::Bool:
        value = CreateValue<Value<bool>>(path, d.initial == QLatin1String("true") || d.initial == QLatin1String("1"));
        break;
    case ValueDescriptor::Int:
        value = CreateValue<Value<int>>(path, d.initial.toInt());
        break;
    case ValueDescriptor::UInt:
        value = CreateValue<Value<unsigned int>>(path, d.initial.toUInt());
        break;
    case ValueDescriptor::String:
        value = CreateValue<Value<QString>>(path, d.initial);
        break;
    case ValueDescriptor::Int64:
        value = CreateValue<ValueNumeric<int64>>(path, d.initial.toLongLong());
        break;
    case ValueDescriptor::Double:
        value = CreateValue<ValueNumeric<double>>(path, d.initial.toDouble());
        break;
    case ValueDescriptor::Selection:
        value = CreateValue<ValueSelection>(path, d.initial.toLong());
        break;
    }
    if (value && d.state != eStateNormal)
        value->SetState(d.state, nullptr);
    return value;
}

bool Tree::Release(const QString& pathName)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<Node> node = FindNode(pathName);
    if (!node || node == m_root)
        return false;
    ReleaseNode(node);
    return true;
}

void Tree::ReleaseNode(const std::shared_ptr<Node>& node)
{
    // Collect first: observers may change the tree while they are told.
    std::vector<std::shared_ptr<Node>> doomed;
    std::vector<std::shared_ptr<Node>> stack{node};
    while (!stack.empty()) {
        std::shared_ptr<Node> current = stack.back();
        stack.pop_back();
        doomed.push_back(current);
        for (const auto& child : current->m_children)
            stack.push_back(child.second);
    }
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
        (*it)->Notify(VC_DELETING, nullptr);

    std::shared_ptr<Node> parent = node->m_parent.lock();
    if (parent) {
        auto it = parent->m_children.find(node->m_name);
        if (it != parent->m_children.end() && it->second == node)
            parent->m_children.erase(it);
    }
    for (const auto& dead : doomed) {
        dead->m_bAlive = false;
        dead->m_children.clear();
        dead->m_parent.reset();
        dead->DropAllObservers();
    }
    if (parent)
        parent->Notify(VC_VALUECHANGED, nullptr);
}

// ---------------------------------------------------------------- pointers

namespace detail {

Attachment::Attachment(IObserver* owner) : m_pOwner(owner) {}

Attachment::~Attachment()
{
    Detach();
}

void Attachment::AttachTo(const std::shared_ptr<Node>& node)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    DetachLocked();
    if (!node || !node->IsAlive())
        return;
    m_target = node;
    if (m_pOwner)
        node->AddObserver(m_pOwner);
    node->AddObserver(this);
}

void Attachment::Detach()
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    DetachLocked();
}

void Attachment::DetachLocked()
{
    if (!m_target)
        return;
    std::shared_ptr<Node> target = std::move(m_target);
    m_target.reset();
    target->RemoveObserver(this);
    if (m_pOwner)
        target->RemoveObserver(m_pOwner);
}

std::shared_ptr<Node> Attachment::Target() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_target;
}

Node* Attachment::RawTarget() const
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    return m_target.get();
}

void Attachment::Update(Observable* observable, TChangeCode code)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    if (!m_target || observable != static_cast<Observable*>(m_target.get()))
        return;
    if (code == VC_DELETING) {
        DetachLocked();
        return;
    }
    if (code == VC_STATECHANGED) {
        auto* value = dynamic_cast<ValueBase*>(m_target.get());
        if (value && value->GetState() == eStateInvalid)
            DetachLocked();
    }
}

} // namespace detail

NodePtr::NodePtr() : m_attachment(nullptr) {}
NodePtr::NodePtr(IObserver* owner) : m_attachment(owner) {}
NodePtr::~NodePtr() = default;

bool NodePtr::CreateOrGetNode(const QString& path)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<Node> node = Tree::Instance()->CreateOrGetNode(path);
    m_attachment.AttachTo(node);
    return node != nullptr;
}

bool NodePtr::GetNode(const QString& path)
{
    std::lock_guard<std::recursive_mutex> lock(TreeMutex());
    std::shared_ptr<Node> node = Tree::Instance()->FindNode(path);
    m_attachment.AttachTo(node);
    return node != nullptr;
}

void NodePtr::Reset()
{
    m_attachment.Detach();
}

Node* NodePtr::get() const
{
    return m_attachment.RawTarget();
}

std::shared_ptr<Node> NodePtr::Lock() const
{
    return m_attachment.Target();
}

QString NodePtr::GetName() const
{
    std::shared_ptr<Node> node = Lock();
    return node ? node->GetName() : QString();
}

} // namespace values

void VtClient::AddValue(values::ValueBase* value, int /*flags*/)
{
    if (!value)
        return;
    const QString path = value->GetPathName();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_paths.contains(path))
        m_paths.append(path);
}

QStringList VtClient::RegisteredPaths() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paths;
}
