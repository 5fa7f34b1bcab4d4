#include "vorexclient.h"
#include "vorexclient_remote_p.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSysInfo>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <thread>

// The link to a recorder manager in another process (doc/protocol.md).
// Calls go out as DII requests; the host's callbacks are DSI servants.

namespace VorexCommon {

using namespace VorexRemote;
using Clock = std::chrono::steady_clock;

namespace {

const quint32 kNotConnected = RecorderManagerBackend::eResult_NotConnected;
const QEvent::Type kGuiWorkEvent = static_cast<QEvent::Type>(QEvent::User + 0x5652);

// A reference to the same object that names no interface. The ORB builds
// a received reference with the proxy class of its interface where one is
// registered, and the plug-in module registers its typed proxies: such a
// reference would keep code of the module that the host may unload while
// the link still holds it. Without a type ID the ORB's own class serves it.
CORBA::Object_ptr untyped(CORBA::Object_ptr object)
{
    if (CORBA::is_nil(object))
        return CORBA::Object::_nil();
    CORBA::String_var text = Orb()->object_to_string(object);
    const QByteArray ior(text.in());
    const QByteArray b = QByteArray::fromHex(ior.mid(4));
    // The encapsulation: byte order, the type ID (a string at offset 4),
    // then the profiles, 4-aligned; the profiles are copied as they are.
    if (!ior.startsWith("IOR:") || b.size() < 8)
        return CORBA::Object::_duplicate(object);
    const bool little = b.at(0) == char(1);
    const auto* p = reinterpret_cast<const uchar*>(b.constData()) + 4;
    const quint32 length = little ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                                  : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
    const qint64 rest = (8 + qint64(length) + 3) / 4 * 4;
    if (length > quint32(b.size()) || rest > b.size())
        return CORBA::Object::_duplicate(object);
    QByteArray out = b.left(4);
    const char one[4] = {char(little ? 1 : 0), 0, 0, char(little ? 0 : 1)};
    out.append(one, 4).append("\0\0\0\0", 4).append(b.mid(int(rest)));
    return Orb()->string_to_object(("IOR:" + out.toHex()).constData());
}

// One DII request. System exceptions are thrown (whether the ORB throws
// them or leaves them in the environment); a user exception makes invoke()
// false and leaves its repository ID in userException.
struct Call
{
    CORBA::Request_var req;
    QString userException;

    Call(CORBA::Object_ptr target, const char* op) : req(target->_request(op)) {}
    Call& in(const CORBA::Any& value)
    {
        req->add_in_arg() = value;
        return *this;
    }
    Call& in(const QString& text)
    {
        req->add_in_arg() <<= text.toUtf8().constData();
        return *this;
    }
    Call& inW(const QString& text)
    {
        req->add_in_arg() <<= text.toStdWString().c_str();
        return *this;
    }
    Call& out(CORBA::TypeCode_ptr tc)
    {
        req->add_out_arg() = DefaultAny(tc);
        return *this;
    }
    Call& ret(CORBA::TypeCode_ptr tc)
    {
        req->set_return_type(tc);
        return *this;
    }
    Call& raises(CORBA::TypeCode_ptr tc)
    {
        req->exceptions()->add(tc);
        return *this;
    }
    bool invoke()
    {
        req->invoke();
        CORBA::Exception* ex = req->env()->exception();
        if (!ex)
            return true;
        if (CORBA::SystemException::_downcast(ex))
            ex->_raise();
        if (auto* user = CORBA::UnknownUserException::_downcast(ex)) {
            CORBA::TypeCode_var tc = user->exception().type();
            userException = QString::fromLatin1(tc->id());
        } else {
            userException = QString::fromLatin1(ex->_rep_id());
        }
        return false;
    }
    const CORBA::Any& outArg(CORBA::ULong index) { return *req->arguments()->item(index)->value(); }
    CORBA::Object_ptr returnObject()
    {
        CORBA::Object_ptr obj = CORBA::Object::_nil();
        req->return_value() >>= CORBA::Any::to_object(obj);
        return untyped(obj);
    }
    CORBA::ULong returnULong()
    {
        CORBA::ULong v = 0;
        req->return_value() >>= v;
        return v;
    }
};

QString anyString(const CORBA::Any& any)
{
    const char* s = nullptr;
    return (any >>= s) && s ? QString::fromUtf8(s) : QString();
}

QStringList anyStrings(const CORBA::Any& any)
{
    QStringList out;
    DynamicAny::DynAnyFactory_var factory;
    CORBA::Object_var obj = Orb()->resolve_initial_references("DynAnyFactory");
    factory = DynamicAny::DynAnyFactory::_narrow(obj);
    DynamicAny::DynAny_var dyn = factory->create_dyn_any(any);
    DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(dyn);
    const CORBA::ULong n = seq->get_length();
    for (CORBA::ULong i = 0; i < n; ++i) {
        seq->seek(static_cast<CORBA::Long>(i));
        DynamicAny::DynAny_var c = seq->current_component();
        CORBA::String_var s = c->get_string();
        out << QString::fromUtf8(s.in());
    }
    dyn->destroy();
    return out;
}

CORBA::Any stringSeqAny(const QStringList& list)
{
    CORBA::Object_var obj = Orb()->resolve_initial_references("DynAnyFactory");
    DynamicAny::DynAnyFactory_var factory = DynamicAny::DynAnyFactory::_narrow(obj);
    DynamicAny::DynAny_var dyn = factory->create_dyn_any_from_type_code(TypeCodes::Get().ccoStringSeq);
    DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(dyn);
    seq->set_length(static_cast<CORBA::ULong>(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        seq->seek(i);
        seq->insert_string(list[i].toUtf8().constData());
    }
    CORBA::Any_var any = seq->to_any();
    seq->destroy();
    return any.in();
}

CORBA::Any filtersAny(const QStringList& sources)
{
    CORBA::Object_var obj = Orb()->resolve_initial_references("DynAnyFactory");
    DynamicAny::DynAnyFactory_var factory = DynamicAny::DynAnyFactory::_narrow(obj);
    DynamicAny::DynAny_var dyn = factory->create_dyn_any_from_type_code(TypeCodes::Get().notificationFilterSeq);
    DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(dyn);
    seq->set_length(static_cast<CORBA::ULong>(sources.size()));
    for (int i = 0; i < sources.size(); ++i) {
        seq->seek(i);
        DynamicAny::DynAny_var filter = seq->current_component();
        filter->seek(0);
        DynamicAny::DynAny_var kind = filter->current_component();
        DynamicAny::DynEnum_var e = DynamicAny::DynEnum::_narrow(kind);
        e->set_as_ulong(1);
        filter->seek(1);
        filter->insert_string(sources[i].toUtf8().constData());
    }
    CORBA::Any_var any = seq->to_any();
    seq->destroy();
    return any.in();
}

// The protocol's letter for a value's type; 0 for a type it does not carry.
char typeLetter(const values::ValueBase* v)
{
    if (dynamic_cast<const values::Value<bool>*>(v))
        return 'b';
    if (dynamic_cast<const values::Value<int>*>(v))
        return 'i';
    if (dynamic_cast<const values::Value<unsigned int>*>(v))
        return 'u';
    if (dynamic_cast<const values::Value<QString>*>(v))
        return 's';
    if (dynamic_cast<const values::ValueNumeric<values::int64>*>(v))
        return 'l';
    if (dynamic_cast<const values::ValueNumeric<double>*>(v))
        return 'd';
    if (dynamic_cast<const values::ValueSelection*>(v))
        return 'e';
    return 0;
}

QString valueData(const values::ValueBase* v)
{
    if (auto* b = dynamic_cast<const values::Value<bool>*>(v))
        return b->Get() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto* dbl = dynamic_cast<const values::ValueNumeric<double>*>(v))
        return QString::number(dbl->Get(), 'g', 17);
    return v->ToString();
}

QString lastPart(const QString& path)
{
    return path.section(QLatin1Char('/'), -1);
}

// The exception with its minor code, as omniORB names it: the minor code
// tells a time-out from a refused connection or a reply it could not read.
QString describe(const CORBA::SystemException& e)
{
    const char* minor = e.NP_minorString();
    return minor ? QStringLiteral("%1 (%2)").arg(QString::fromLatin1(e._name()), QString::fromLatin1(minor))
                 : QStringLiteral("%1 (minor 0x%2)").arg(QString::fromLatin1(e._name())).arg(e.minor(), 0, 16);
}

const char* const kRootRepoId = "IDL:KD_VRX/IF_VRX_c_VRX:1.0";

} // namespace

// ---------------------------------------------------------------------------

struct RemoteRecorderManagerLink::Private : public IObserver, public std::enable_shared_from_this<Private>
{
    enum State { Down, Awaiting, Up };
    struct Channel
    {
        QString name, path, replayPath;
        CORBA::Object_var chan, replay;
        bool snapshot = false;
        bool startPending = false;
    };

    QString address, client;
    RemoteRecorderManagerLink* owner = nullptr;
    QPointer<QObject> gui;
    std::mutex guiMutex;
    std::deque<std::function<void(Private&)>> guiWork; // under guiMutex
    std::function<void(const QString&)> reportSink;

    mutable std::mutex m;
    std::condition_variable cv;
    std::vector<Channel> channels;
    State state = Down;
    bool enabled = true, stopping = false, started = false;
    int generation = 0;
    quint64 expectedSeq = 1;
    std::map<quint64, std::pair<CORBA::ULong, QString>> early; // overtaking notifications, by <seq>
    int backoff = 0;
    Clock::time_point nextAttempt = Clock::now(), awaitDeadline, nextPing;
    CORBA::Object_var cco, root, admin, registration;
    std::vector<PortableServer::ObjectId_var> staticServants;
    PortableServer::ObjectId_var callbackId;
    CORBA::Object_var recordCallback, statusCallback;
    std::vector<CORBA::Object_var> chanMans;
    std::map<QString, DeviceInfo> devices;
    std::map<QString, std::map<QString, VOREX_XML::VOREX_RecordData>> records;
    std::deque<std::function<void()>> tasks;
    std::thread worker;
    std::set<values::ValueBase*> attached; // under the tree's lock
    QString lastFailure;                    // under m
    // Values as the manager last had them (its notifications and the writes
    // it took from here), and the host's writes made while the manager was
    // out of reach, with the manager's value they overwrote. Under m.
    struct Pending
    {
        QString type, data, baseline;
    };
    std::map<QString, QString> mirrored;
    std::map<QString, Pending> pending;

    ~Private() override
    {
        std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
        for (values::ValueBase* v : attached)
            v->RemoveObserver(this);
    }

    bool installed() const
    {
        auto link = RecorderManagerLink::Installed();
        std::lock_guard<std::mutex> lock(m);
        return link && link.get() == owner;
    }

    void post(std::function<void()> task)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            tasks.push_back(std::move(task));
        }
        cv.notify_all();
    }

    // Work for the GUI thread, in the order given. The work itself is handed
    // over under our own lock, not inside a Qt event: Qt's locking is not
    // built for ThreadSanitizer, which would otherwise see the hand-over as a
    // race. The event only wakes the GUI thread.
    void toGui(std::function<void(Private&)> fn)
    {
        bool wake;
        {
            std::lock_guard<std::mutex> lock(guiMutex);
            wake = guiWork.empty();
            guiWork.push_back(std::move(fn));
        }
        if (wake && gui)
            QCoreApplication::postEvent(gui, new QEvent(kGuiWorkEvent));
    }

    void runGuiWork()
    {
        std::deque<std::function<void(Private&)>> work;
        {
            std::lock_guard<std::mutex> lock(guiMutex);
            work.swap(guiWork);
        }
        for (auto& fn : work)
            fn(*this);
    }

    void setState(State s)
    {
        bool changed = false, up = false;
        {
            std::lock_guard<std::mutex> lock(m);
            changed = (state == Up) != (s == Up);
            up = s == Up;
            state = s;
            if (s == Down) {
                ++generation;
                nextAttempt = Clock::now() + std::chrono::milliseconds(backoff == 0 ? 500 : 500 << std::min(backoff, 3));
                backoff = std::min(backoff + 1, 3);
            } else if (s == Up) {
                backoff = 0;
                lastFailure.clear();
                nextPing = Clock::now() + std::chrono::seconds(1);
            }
        }
        cv.notify_all();
        if (changed && installed())
            emit RecorderManagerEvents::Instance()->si_connectionChanged(up);
    }

    void markDown() { setState(Down); }

    // Why the manager could not be reached or a call failed, traced once per
    // distinct reason: a manager that stays away would otherwise fill the
    // trace every few seconds.
    void traceFailure(const QString& what)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            if (what == lastFailure)
                return;
            lastFailure = what;
        }
        if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
            _Q_Trace(QStringLiteral("remote link %1: %2").arg(address, what), QStringLiteral("platform/vorexclient_remote"),
                     __LINE__);
    }

    void fail(const QString& call, const CORBA::SystemException& e)
    {
        traceFailure(call + QStringLiteral(": ") + describe(e));
        markDown();
    }

    // --- the value tree ------------------------------------------------------

    void attach(const std::shared_ptr<values::ValueBase>& v)
    {
        if (attached.insert(v.get()).second)
            v->AddObserver(this);
    }

    // `snapshot`: the value is part of a channel's snapshot, which describes
    // the manager's state. A write notifies even when it changes nothing, and
    // the toolbar takes a repeated mode as a new request: the snapshot after
    // a new subscription would make it ask for a record it already has.
    void applyValue(const QString& path, const QString& type, int valueState, const QString& data, bool snapshot)
    {
        std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
        values::Tree* tree = values::Tree::Instance();
        std::shared_ptr<values::ValueBase> v = tree->FindValue(path);
        const char letter = type.isEmpty() ? 0 : type.at(0).toLatin1();
        if (v && typeLetter(v.get()) != letter)
            v.reset();
        const QString plain = letter == 'e' ? data.section(QLatin1Char('|'), 0, 0) : data;
        bool keepHostValue = false;
        QString gaveWay;
        {
            std::lock_guard<std::mutex> lk(m);
            mirrored[path] = plain;
            auto p = pending.find(path);
            if (p != pending.end()) {
                // The host wrote the value while the manager was away. Where
                // the manager still has what the host overwrote, the host's
                // write stands and goes to the manager once its channel's
                // snapshot is complete; a change of the manager's wins.
                if (snapshot && plain == p->second.baseline) {
                    keepHostValue = true;
                } else {
                    gaveWay = QStringLiteral("%1: the write of \"%2\" while the manager was out of reach gave way "
                                             "to the manager's \"%3\"").arg(path, p->second.data, plain);
                    pending.erase(p);
                }
            }
        }
        if (!gaveWay.isEmpty())
            traceFailure(gaveWay);
        const bool unchanged = keepHostValue
            || (snapshot && v
                && (letter == 'e' ? static_cast<values::ValueSelection*>(v.get())->GetCurrentKey() == plain.toLong()
                                  : valueData(v.get()) == data));
        if (!v) {
            switch (letter) {
            case 'b': v = tree->CreateValue<values::Value<bool>>(path, data == QLatin1String("1")); break;
            case 'i': v = tree->CreateValue<values::Value<int>>(path, data.toInt()); break;
            case 'u': v = tree->CreateValue<values::Value<unsigned int>>(path, data.toUInt()); break;
            case 's': v = tree->CreateValue<values::Value<QString>>(path, data); break;
            case 'l': v = tree->CreateValue<values::ValueNumeric<values::int64>>(path, data.toLongLong()); break;
            case 'd': v = tree->CreateValue<values::ValueNumeric<double>>(path, data.toDouble()); break;
            case 'e': {
                const QStringList parts = data.split(QLatin1Char('|'));
                auto sel = tree->CreateValue<values::ValueSelection>(path, parts.value(0).toLong());
                if (sel)
                    for (int i = 1; i < parts.size(); ++i) {
                        const int eq = parts[i].indexOf(QLatin1Char('='));
                        const long key = parts[i].left(eq).toLong();
                        sel->AddItem(values::SelItemDesc(parts[i].mid(eq + 1), double(key), key));
                    }
                v = sel;
                break;
            }
            default: return;
            }
            if (!v)
                return;
        } else if (!unchanged) {
            switch (letter) {
            case 'b': static_cast<values::Value<bool>*>(v.get())->Set(data == QLatin1String("1"), this); break;
            case 'i': static_cast<values::Value<int>*>(v.get())->Set(data.toInt(), this); break;
            case 'u': static_cast<values::Value<unsigned int>*>(v.get())->Set(data.toUInt(), this); break;
            case 's': static_cast<values::Value<QString>*>(v.get())->Set(data, this); break;
            case 'l': static_cast<values::ValueNumeric<values::int64>*>(v.get())->Set(data.toLongLong(), this); break;
            case 'd': static_cast<values::ValueNumeric<double>*>(v.get())->Set(data.toDouble(), this); break;
            case 'e':
                static_cast<values::ValueSelection*>(v.get())->SelectIndex(data.section(QLatin1Char('|'), 0, 0).toLong(), this);
                break;
            default: return;
            }
        }
        if (v->GetState() != valueState)
            v->SetState(valueState, this);
        attach(v);
        if (lastPart(path) == QLatin1String("AllRecordReplayModes") && letter == 'e') {
            const long key = data.section(QLatin1Char('|'), 0, 0).toLong();
            if (key != VOREX_XML::Admin::eRecordReplayAllModes_Startrecord) {
                std::lock_guard<std::mutex> lk(m);
                for (Channel& c : channels)
                    if (path.startsWith(c.path + QLatin1Char('/')))
                        c.startPending = false;
            }
        }
    }

    // A notification of the subscription made in `gen`, on the GUI thread,
    // applied in the order of its <seq>. The manager's ORB may carry one
    // subscription's notifications over more than one connection (a second
    // one opens while another call of the manager holds the first), each
    // served by its own thread here: a later one can overtake. It waits for
    // the missing ones a while before they count as lost.
    void applyNotification(int gen, CORBA::ULong kind, const QString& message)
    {
        std::vector<std::pair<CORBA::ULong, QString>> ready;
        {
            std::lock_guard<std::mutex> lock(m);
            if (gen != generation || state == Down)
                return;
            const quint64 seq = message.section(QLatin1Char('\t'), 0, 0).toULongLong();
            if (seq < expectedSeq)
                return;
            if (seq > expectedSeq) {
                const bool first = early.empty();
                early.emplace(seq, std::make_pair(kind, message));
                if (first)
                    awaitMissing(gen, expectedSeq);
                return;
            }
            ready.emplace_back(kind, message);
            ++expectedSeq;
            for (auto it = early.begin(); it != early.end() && it->first == expectedSeq; it = early.erase(it)) {
                ready.push_back(it->second);
                ++expectedSeq;
            }
        }
        for (const auto& r : ready)
            applyInOrder(r.first, r.second);
    }

    // Gives notification `missing` of subscription `gen` a second to arrive
    // (m held); after that the tree may be wrong: a new subscription.
    void awaitMissing(int gen, quint64 missing)
    {
        std::weak_ptr<Private> weak = shared_from_this();
        QTimer::singleShot(1000, gui.data(), [weak, gen, missing] {
            auto p = weak.lock();
            if (!p)
                return;
            std::lock_guard<std::mutex> lock(p->m);
            if (gen != p->generation || p->early.empty())
                return;
            if (p->expectedSeq != missing) {
                p->awaitMissing(gen, p->expectedSeq);
                return;
            }
            ++p->generation;
            p->expectedSeq = 1;
            p->early.clear();
            p->tasks.push_back([raw = p.get()] { raw->subscribe(); });
            p->cv.notify_all();
        });
    }

    void applyInOrder(CORBA::ULong kind, const QString& message)
    {
        const QStringList f = message.split(QLatin1Char('\t'));
        bool allSnapshots = false;
        switch (kind) {
        case 0:
            if (reportSink)
                reportSink(f.mid(1).join(QLatin1Char('\t')));
            break;
        case 1: {
            const QString path = f.value(1);
            bool snapshot = false;
            {
                std::lock_guard<std::mutex> lock(m);
                for (const Channel& c : channels)
                    if (path.startsWith(c.path + QLatin1Char('/')) || path == c.replayPath)
                        snapshot = !c.snapshot;
            }
            applyValue(path, f.value(2), f.value(3).toInt(), f.mid(4).join(QLatin1Char('\t')), snapshot);
            break;
        }
        case 2: {
            std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
            values::Tree::Instance()->Release(f.value(1));
            break;
        }
        case 3: {
            std::lock_guard<std::mutex> lock(m);
            allSnapshots = true;
            for (Channel& c : channels) {
                if (c.name == f.value(1)) {
                    c.snapshot = true;
                    forwardPending(c);
                }
                allSnapshots = allSnapshots && c.snapshot;
            }
            allSnapshots = allSnapshots && state == Awaiting;
            break;
        }
        default:
            break;
        }
        if (allSnapshots)
            setState(Up);
    }

    // The host's writes kept for the channel while the manager was out of
    // reach, to the manager now (m held).
    void forwardPending(const Channel& c)
    {
        for (auto p = pending.begin(); p != pending.end();) {
            if (!p->first.startsWith(c.path + QLatin1Char('/')) && p->first != c.replayPath) {
                ++p;
                continue;
            }
            const QString path = p->first, type = p->second.type, data = p->second.data;
            mirrored[path] = data;
            tasks.push_back([this, path, type, data] { registerValue(path, type, data); });
            p = pending.erase(p);
        }
        cv.notify_all();
    }

    // A host value written by someone else (any thread, tree lock held).
    void Update(Observable* observable, TChangeCode code) override
    {
        auto* v = dynamic_cast<values::ValueBase*>(observable);
        if (!v)
            return;
        if (code == VC_DELETING) {
            attached.erase(v);
            return;
        }
        if (code != VC_VALUECHANGED)
            return;
        const QString path = v->GetPathName();
        const char letter = typeLetter(v);
        std::lock_guard<std::mutex> lock(m);
        if (!letter)
            return;
        for (Channel& c : channels) {
            if (!path.startsWith(c.path + QLatin1Char('/')) && path != c.replayPath)
                continue;
            const QString data = valueData(v);
            const QString name = c.name;
            if (state == Down || !c.snapshot) {
                // Kept for the manager's return, where the manager has told
                // this host the value before (there is something to compare
                // with then); a record request is not: the toolbar does not
                // ask for one without a connection.
                auto known = mirrored.find(path);
                if (!stopping && known != mirrored.end() && lastPart(path) != QLatin1String("AllRecordReplayModes")) {
                    auto p = pending.emplace(path, Pending{QString(), QString(), known->second}).first;
                    p->second.type = QString(QLatin1Char(letter));
                    p->second.data = data;
                }
                return;
            }
            if (lastPart(path) == QLatin1String("AllRecordReplayModes") && letter == 'e') {
                const long key = static_cast<values::ValueSelection*>(v)->GetCurrentKey();
                if (key == VOREX_XML::Admin::eRecordReplayAllModes_Startrecord) {
                    c.startPending = true;
                    startRecording(c);
                    return;
                }
                if (key == VOREX_XML::Admin::eRecordReplayAllModes_Recordreplaystopped) {
                    tasks.push_back([this, name] { stopRecording(name, QStringLiteral("operator")); });
                    cv.notify_all();
                    return;
                }
                if (key == VOREX_XML::Admin::eRecordReplayAllModes_Stopped && c.startPending) {
                    c.startPending = false;
                    tasks.push_back([this, name] { stopRecording(name, QStringLiteral("withdrawn")); });
                    cv.notify_all();
                    return;
                }
            }
            mirrored[path] = data;
            const QString type = QString(QLatin1Char(letter));
            tasks.push_back([this, path, type, data] { registerValue(path, type, data); });
            cv.notify_all();
            return;
        }
    }

    // Queues the record request with the values it travels with (m held).
    void startRecording(const Channel& c)
    {
        values::Tree* tree = values::Tree::Instance();
        const auto find = [&](const char* key) { return tree->FindValue(c.path + QLatin1Char('/') + QLatin1String(key)); };
        QString recordName;
        int sizeKb = 0, timeout = 0;
        std::vector<std::pair<QString, std::pair<QString, QString>>> sent;
        for (const char* key : {"RecordName", "FileSizeInKB", "RecordTimeout"}) {
            auto v = find(key);
            if (!v || !typeLetter(v.get()))
                continue;
            sent.push_back({v->GetPathName(), {QString(QLatin1Char(typeLetter(v.get()))), valueData(v.get())}});
            if (qstrcmp(key, "RecordName") == 0)
                recordName = v->ToString();
            else if (qstrcmp(key, "FileSizeInKB") == 0)
                sizeKb = v->ToString().toInt();
            else
                timeout = v->ToString().toInt();
        }
        const CORBA::ULong mode = (sizeKb > 0 ? 1u : 0u) | (static_cast<CORBA::ULong>(std::max(timeout, 0)) << 8);
        const QString name = c.name;
        tasks.push_back([this, sent, name, recordName, mode, sizeKb] {
            for (const auto& s : sent)
                if (!registerValue(s.first, s.second.first, s.second.second))
                    return;
            CORBA::Object_var chan = channelObject(name);
            if (CORBA::is_nil(chan))
                return;
            try {
                Call call(chan, "startRecording");
                call.in([&] { CORBA::Any a; a <<= mode; return a; }())
                    .inW(recordName)
                    .in([&] { CORBA::Any a; a <<= CORBA::ULong(std::max(sizeKb, 0)); return a; }())
                    .raises(TypeCodes::Get().exChan);
                if (!call.invoke())
                    refuseRecord(name);
            } catch (const CORBA::SystemException& e) {
                fail(QStringLiteral("startRecording"), e);
            }
        });
        cv.notify_all();
    }

    // The manager could not record: the request ends here, as the embedded
    // manager ends a refused one. The mode goes back to what the manager
    // last said, not to "stopped": a manager that refused because it
    // already records (its own record, begun as the operator pressed) still
    // records.
    void refuseRecord(const QString& name)
    {
        toGui([name](Private& p) {
            QString path;
            long mode = VOREX_XML::Admin::eRecordReplayAllModes_Stopped;
            {
                std::lock_guard<std::mutex> lock(p.m);
                for (Channel& c : p.channels)
                    if (c.name == name) {
                        c.startPending = false;
                        path = c.path + QStringLiteral("/AllRecordReplayModes");
                        auto known = p.mirrored.find(path);
                        bool ok = false;
                        const long key = known == p.mirrored.end() ? 0 : known->second.toLong(&ok);
                        if (ok && key != VOREX_XML::Admin::eRecordReplayAllModes_Startrecord)
                            mode = key;
                    }
            }
            if (auto sel = values::Tree::Instance()->FindValueAs<values::ValueSelection>(path))
                sel->SelectIndex(mode, &p);
        });
    }

    CORBA::Object_ptr channelObject(const QString& name)
    {
        std::lock_guard<std::mutex> lock(m);
        for (Channel& c : channels)
            if (c.name == name)
                return CORBA::Object::_duplicate(c.chan);
        return CORBA::Object::_nil();
    }

    void stopRecording(const QString& name, const QString& reason)
    {
        CORBA::Object_var chan = channelObject(name);
        if (CORBA::is_nil(chan))
            return;
        try {
            Call call(chan, "stopRecording");
            call.inW(reason).raises(TypeCodes::Get().exChan).invoke();
        } catch (const CORBA::SystemException& e) {
            fail(QStringLiteral("stopRecording"), e);
        }
    }

    bool registerValue(const QString& path, const QString& type, const QString& data)
    {
        CORBA::Object_var target;
        {
            std::lock_guard<std::mutex> lock(m);
            target = CORBA::Object::_duplicate(cco);
        }
        if (CORBA::is_nil(target))
            return false;
        try {
            Call call(target, "RegisterValues");
            call.in(path)
                .in(stringSeqAny({client, type, data}))
                .in(EnumAny(TypeCodes::Get().redundancyType, 0))
                .raises(TypeCodes::Get().invalidName)
                .raises(TypeCodes::Get().alreadyBound)
                .invoke();
            return true;
        } catch (const CORBA::SystemException& e) {
            fail(QStringLiteral("RegisterValues"), e);
            return false;
        }
    }

    // --- connecting (worker thread) ------------------------------------------

    CORBA::Object_ptr activate(PortableServer::ServantBase* servant, bool keep)
    {
        PortableServer::ObjectId_var id = RootPoa()->activate_object(servant);
        servant->_remove_ref();
        CORBA::Object_ptr ref = RootPoa()->id_to_reference(id);
        std::lock_guard<std::mutex> lock(m);
        if (keep)
            staticServants.push_back(id._retn());
        else
            callbackId = id._retn();
        return ref;
    }

    void activateStaticServants();

    void registerName(CORBA::Object_ptr target, const QString& name, CORBA::Object_ptr obj)
    {
        try {
            Call drop(target, "Unregister");
            drop.in(name).in(EnumAny(TypeCodes::Get().redundancyType, 0)).ret(CORBA::_tc_Object).invoke();
        } catch (const CORBA::Exception&) {
            // Nothing bound under the name: the usual case.
        }
        Call call(target, "Register");
        CORBA::Any objAny;
        objAny <<= obj;
        call.in(name).in(objAny).in(EnumAny(TypeCodes::Get().redundancyType, 0))
            .raises(TypeCodes::Get().alreadyBound).raises(TypeCodes::Get().invalidName);
        if (!call.invoke())
            throw CORBA::TRANSIENT();
    }

    void readDevice(CORBA::Object_ptr rootObj, const QString& dev, DeviceInfo& info,
                    std::vector<VOREX_XML::VOREX_RecordData>& recs)
    {
        Call infoCall(rootObj, "getDeviceInformation");
        infoCall.in(dev).out(CORBA::_tc_string).out(CORBA::_tc_ulong).raises(TypeCodes::Get().exVRX);
        info = DeviceInfo();
        info.deviceId = dev;
        info.subSystem = QStringLiteral("VOREX");
        if (infoCall.invoke()) {
            const QString description = anyString(infoCall.outArg(1));
            ParseSpace(description, info.freeSpace, info.totalSpace);
            info.virtualDevice = description.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QLatin1String("virtual"));
        }
        Call recCall(rootObj, "getAllRecords");
        recCall.in(dev).ret(TypeCodes::Get().recordInfoSeq).raises(TypeCodes::Get().exVRX);
        recs.clear();
        if (recCall.invoke())
            recs = RecordsFromAny(recCall.req->return_value());
        for (auto& r : recs)
            r.SetDeviceID(dev);
    }

    void storeDevice(const DeviceInfo& info, const std::vector<VOREX_XML::VOREX_RecordData>& recs)
    {
        bool added;
        {
            std::lock_guard<std::mutex> lock(m);
            added = devices.find(info.deviceId) == devices.end();
            devices[info.deviceId] = info;
            auto& list = records[info.deviceId];
            list.clear();
            for (const auto& r : recs)
                if (r.GetRecordStatus() == VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
                    list[r.GetRecordID()] = r;
        }
        if (!installed())
            return;
        if (added)
            emit RecorderManagerEvents::Instance()->si_deviceAdded(info.deviceId);
        else
            emit RecorderManagerEvents::Instance()->si_deviceChanged(info.deviceId);
        emit RecorderManagerEvents::Instance()->si_allRecordsChanged(info.deviceId);
    }

    void removeDevice(const QString& dev)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            if (devices.erase(dev) == 0)
                return;
            records.erase(dev);
        }
        if (installed()) {
            emit RecorderManagerEvents::Instance()->si_deviceRemoved(dev);
            emit RecorderManagerEvents::Instance()->si_allRecordsChanged(dev);
        }
    }

    bool connectOnce()
    {
        try {
            activateStaticServants();
            CORBA::Object_var ccoObj = Orb()->string_to_object(address.toUtf8().constData());
            Call resolve(ccoObj, "Resolve");
            resolve.in(QStringLiteral("VorexManager")).in(EnumAny(TypeCodes::Get().resolveType, 0)).ret(CORBA::_tc_Object);
            if (!resolve.invoke()) {
                traceFailure(QStringLiteral("Resolve(VorexManager): ") + resolve.userException);
                return false;
            }
            CORBA::Object_var rootObj = resolve.returnObject();
            if (CORBA::is_nil(rootObj)) {
                traceFailure(QStringLiteral("VorexManager is not registered"));
                return false;
            }
            // DII checks no types: a name bound to some other object would
            // take every later call to an object that cannot serve it.
            if (!rootObj->_is_a(kRootRepoId)) {
                traceFailure(QStringLiteral("VorexManager is bound to an object that is no %1").arg(QLatin1String(kRootRepoId)));
                return false;
            }
            Call adminCall(rootObj, "getVorexAdminInterface");
            adminCall.ret(CORBA::_tc_Object).invoke();
            CORBA::Object_var adminObj = adminCall.returnObject();
            CORBA::Object_var rcb, scb;
            std::vector<std::pair<QString, CORBA::Object_var>> wanted;
            {
                std::lock_guard<std::mutex> lock(m);
                rcb = CORBA::Object::_duplicate(recordCallback);
                scb = CORBA::Object::_duplicate(statusCallback);
                for (size_t i = 0; i < channels.size(); ++i)
                    wanted.push_back({channels[i].name, CORBA::Object::_duplicate(chanMans[i])});
            }
            registerName(ccoObj, client + QStringLiteral("/RecordStateChangeCallback"), rcb);
            registerName(ccoObj, client + QStringLiteral("/VorexStatusCallback"), scb);
            std::vector<CORBA::Object_var> chans;
            for (auto& w : wanted) {
                Call reg(rootObj, "registerReceiverChannel");
                CORBA::Any manAny;
                manAny <<= w.second.in();
                reg.in(manAny)
                    .in(EnumAny(TypeCodes::Get().dataRateClass, 3))
                    .in(EnumAny(TypeCodes::Get().dataFormat, 1))
                    .in([] { CORBA::Any a; a <<= CORBA::Any::from_boolean(true); return a; }())
                    .in([] { CORBA::Any a; a <<= CORBA::Any::from_boolean(true); return a; }())
                    .in(w.first)
                    .in(client)
                    .out(CORBA::_tc_string)
                    .in(EnumAny(TypeCodes::Get().receiverKind, 0))
                    .in(QString())
                    .ret(CORBA::_tc_Object)
                    .raises(TypeCodes::Get().exGen);
                if (!reg.invoke()) {
                    traceFailure(QStringLiteral("registerReceiverChannel(%1): %2").arg(w.first, reg.userException));
                    return false;
                }
                chans.push_back(reg.returnObject());
            }
            Call devCall(rootObj, "getAllDevices");
            devCall.ret(TypeCodes::Get().stringSeq).invoke();
            const QStringList devIds = anyStrings(devCall.req->return_value());
            std::vector<std::pair<DeviceInfo, std::vector<VOREX_XML::VOREX_RecordData>>> read(devIds.size());
            for (int i = 0; i < devIds.size(); ++i)
                readDevice(rootObj, devIds[i], read[i].first, read[i].second);
            {
                std::lock_guard<std::mutex> lock(m);
                cco = ccoObj._retn();
                root = rootObj._retn();
                admin = adminObj._retn();
                for (size_t i = 0; i < channels.size(); ++i) {
                    channels[i].chan = chans[i]._retn();
                    channels[i].replay = CORBA::Object::_nil();
                }
            }
            for (const QString& known : [&] {
                     std::lock_guard<std::mutex> lock(m);
                     QStringList ids;
                     for (const auto& dv : devices)
                         ids << dv.first;
                     return ids;
                 }())
                if (!devIds.contains(known))
                    removeDevice(known);
            for (const auto& r : read)
                storeDevice(r.first, r.second);
            {
                std::lock_guard<std::mutex> lock(m);
                state = Awaiting;
                awaitDeadline = Clock::now() + std::chrono::seconds(10);
            }
            return subscribe();
        } catch (const CORBA::SystemException& e) {
            traceFailure(QStringLiteral("connecting: ") + describe(e));
            // A connection the ORB kept to a manager that died answers the
            // first request with this; the ORB has dropped it by now.
            staleConnection = dynamic_cast<const CORBA::COMM_FAILURE*>(&e) && e.minor() == omni::COMM_FAILURE_WaitingForReply;
            return false;
        } catch (const CORBA::Exception& e) {
            traceFailure(QStringLiteral("connecting: ") + QString::fromLatin1(e._name()));
            return false;
        }
    }
    bool staleConnection = false; // worker thread only

    // A new subscription: a fresh callback, new snapshots of every channel.
    bool subscribe();

    void unsubscribe()
    {
        CORBA::Object_var reg;
        PortableServer::ObjectId_var id;
        {
            std::lock_guard<std::mutex> lock(m);
            reg = registration._retn();
            id = callbackId._retn();
        }
        if (!CORBA::is_nil(reg)) {
            try {
                Call(reg, "unregister").invoke();
            } catch (const CORBA::Exception&) {
            }
        }
        if (id.operator->()) {
            try {
                RootPoa()->deactivate_object(id.in());
            } catch (const CORBA::Exception&) {
            }
        }
    }

    bool ping()
    {
        CORBA::Object_var r;
        {
            std::lock_guard<std::mutex> lock(m);
            r = CORBA::Object::_duplicate(root);
        }
        try {
            Call call(r, "getWorkstationName");
            call.ret(CORBA::_tc_string).invoke();
            return true;
        } catch (const CORBA::SystemException& e) {
            traceFailure(QStringLiteral("getWorkstationName: ") + describe(e));
            return false;
        }
    }

    void refreshRecord(const QString& dev, const QString& rec)
    {
        CORBA::Object_var a;
        {
            std::lock_guard<std::mutex> lock(m);
            a = CORBA::Object::_duplicate(admin);
        }
        if (CORBA::is_nil(a))
            return;
        try {
            Call call(a, "getRecord");
            call.in(dev).in(rec).out(TypeCodes::Get().recordInfo).ret(CORBA::_tc_ulong).raises(TypeCodes::Get().exAdmin);
            if (!call.invoke() || call.returnULong() != 0)
                return;
            VOREX_XML::VOREX_RecordData r = RecordFromAny(call.outArg(2));
            r.SetDeviceID(dev);
            if (r.GetRecordStatus() != VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
                return;
            bool isNew;
            {
                std::lock_guard<std::mutex> lock(m);
                auto& list = records[dev];
                isNew = list.find(rec) == list.end();
                list[rec] = r;
            }
            if (installed())
                emit RecorderManagerEvents::Instance()->si_recordChanged(dev, rec, isNew);
        } catch (const CORBA::SystemException& e) {
            fail(QStringLiteral("getRecord"), e);
        }
    }

    void forgetRecord(const QString& dev, const QString& rec)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            auto it = records.find(dev);
            if (it == records.end() || it->second.erase(rec) == 0)
                return;
        }
        if (installed())
            emit RecorderManagerEvents::Instance()->si_recordDeleted(dev, rec);
    }

    void deviceStatus(const QString& dev, const QString& status)
    {
        if (status == QLatin1String("removed")) {
            removeDevice(dev);
            return;
        }
        quint64 freeBytes = 0, totalBytes = 0;
        if (ParseSpace(status, freeBytes, totalBytes)) {
            {
                std::lock_guard<std::mutex> lock(m);
                auto it = devices.find(dev);
                if (it == devices.end())
                    return;
                it->second.freeSpace = freeBytes;
                it->second.totalSpace = totalBytes;
            }
            if (installed())
                emit RecorderManagerEvents::Instance()->si_deviceChanged(dev);
            return;
        }
        CORBA::Object_var r;
        {
            std::lock_guard<std::mutex> lock(m);
            r = CORBA::Object::_duplicate(root);
        }
        try {
            DeviceInfo info;
            std::vector<VOREX_XML::VOREX_RecordData> recs;
            readDevice(r, dev, info, recs);
            storeDevice(info, recs);
        } catch (const CORBA::SystemException& e) {
            fail(QStringLiteral("getDeviceInformation"), e);
        }
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m);
        while (!stopping) {
            if (!tasks.empty()) {
                auto task = std::move(tasks.front());
                tasks.pop_front();
                const bool up = state != Down;
                lock.unlock();
                if (up)
                    task();
                lock.lock();
                continue;
            }
            const auto now = Clock::now();
            if (!enabled) {
                cv.wait(lock);
                continue;
            }
            if (state == Down && now >= nextAttempt) {
                lock.unlock();
                unsubscribe();
                staleConnection = false;
                bool ok = connectOnce();
                if (!ok && staleConnection) // at once on a fresh connection, not after the back-off
                    ok = connectOnce();
                if (!ok)
                    setState(Down);
                lock.lock();
                continue;
            }
            if (state == Awaiting && now >= awaitDeadline) {
                lock.unlock();
                setState(Down);
                lock.lock();
                continue;
            }
            if (state == Up && now >= nextPing) {
                lock.unlock();
                const bool ok = ping();
                lock.lock();
                nextPing = Clock::now() + std::chrono::seconds(1);
                if (!ok && state == Up) {
                    lock.unlock();
                    setState(Down);
                    lock.lock();
                }
                continue;
            }
            const auto until = state == Down ? nextAttempt : state == Awaiting ? awaitDeadline : nextPing;
            cv.wait_until(lock, until);
        }
    }
};

// ---------------------------------------------------------------------------
// The host's servants

namespace {

using Weak = std::weak_ptr<RemoteRecorderManagerLink::Private>;

class Servant : public PortableServer::DynamicImplementation
{
public:
    Servant(const char* repoId, Weak link) : m_repoId(repoId), m_link(std::move(link)) {}
    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup(m_repoId);
    }
    // omniORB's own answer leaks the repository ID it takes from
    // _primary_interface(), and the manager narrows every callback it is
    // given: answered here, from the ID itself.
    CORBA::Boolean _is_a(const char* id) override
    {
        return id && (std::strcmp(id, m_repoId) == 0 || std::strcmp(id, "IDL:omg.org/CORBA/Object:1.0") == 0);
    }

protected:
    // Reads the request's in arguments of the given types.
    static CORBA::NVList_ptr Arguments(CORBA::ServerRequest_ptr request, std::initializer_list<CORBA::TypeCode_ptr> in,
                                       std::initializer_list<CORBA::TypeCode_ptr> out = {})
    {
        CORBA::NVList_ptr args;
        Orb()->create_list(0, args);
        for (CORBA::TypeCode_ptr tc : in)
            args->add_value("", DefaultAny(tc), CORBA::ARG_IN);
        for (CORBA::TypeCode_ptr tc : out)
            args->add_value("", DefaultAny(tc), CORBA::ARG_OUT);
        request->arguments(args);
        return args;
    }
    static QString Str(CORBA::NVList_ptr args, CORBA::ULong i) { return anyString(*args->item(i)->value()); }

    const char* m_repoId;
    Weak m_link;
};

class CallbackServant : public Servant
{
public:
    CallbackServant(Weak link, int generation) : Servant("IDL:CCO/Callback:1.0", std::move(link)), m_generation(generation) {}
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        if (qstrcmp(request->operation(), "notify") != 0)
            throw CORBA::BAD_OPERATION();
        CORBA::NVList_ptr args = Arguments(request, {TypeCodes::Get().notificationType, CORBA::_tc_string});
        const CORBA::ULong kind = EnumFromAny(*args->item(0)->value());
        const QString message = Str(args, 1);
        if (auto link = m_link.lock()) {
            const int gen = m_generation;
            link->toGui([gen, kind, message](RemoteRecorderManagerLink::Private& p) { p.applyNotification(gen, kind, message); });
        }
    }

private:
    int m_generation;
};

class RecordStateServant : public Servant
{
public:
    explicit RecordStateServant(Weak link) : Servant("IDL:KD_VRX/IF_RecordStateChangeCallback:1.0", std::move(link)) {}
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        if (qstrcmp(request->operation(), "NotifyStateChange") != 0)
            throw CORBA::BAD_OPERATION();
        CORBA::NVList_ptr args =
            Arguments(request, {CORBA::_tc_string, CORBA::_tc_string, CORBA::_tc_string, TypeCodes::Get().recordState});
        const QString dev = Str(args, 0), rec = Str(args, 1);
        const CORBA::ULong state = EnumFromAny(*args->item(3)->value());
        if (auto link = m_link.lock()) {
            // Read back on the worker: the manager may hold its own locks
            // while it tells us.
            auto* p = link.get();
            if (state == VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
                link->post([p, dev, rec] { p->refreshRecord(dev, rec); });
            else if (state == 0)
                link->post([p, dev, rec] { p->forgetRecord(dev, rec); });
        }
    }
};

class StatusServant : public Servant
{
public:
    explicit StatusServant(Weak link) : Servant("IDL:KD_VRX/IF_VorexStatusCallback:1.0", std::move(link)) {}
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        if (qstrcmp(request->operation(), "NotifyCStorageStatus") != 0)
            throw CORBA::BAD_OPERATION();
        CORBA::NVList_ptr args = Arguments(request, {CORBA::_tc_string, CORBA::_tc_string});
        const QString dev = Str(args, 0), status = Str(args, 1);
        if (auto link = m_link.lock()) {
            auto* p = link.get();
            link->post([p, dev, status] { p->deviceStatus(dev, status); });
        }
    }
};

// The host plays no part in the data flow of the demo: every operation is
// accepted and answers its defaults.
class ChanManServant : public Servant
{
public:
    explicit ChanManServant(Weak link) : Servant("IDL:KD_VRX/IF_VRX_c_ChanMan:1.0", std::move(link)) {}
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        const TypeCodes& t = TypeCodes::Get();
        const std::string op = request->operation();
        CORBA::TypeCode_ptr s = CORBA::_tc_string;
        bool returnsBool = true;
        if (op == "isAvailableForRecord" || op == "isAvailableForReplay")
            Arguments(request, {s, t.stringSeq});
        else if (op == "connectForRecord")
            Arguments(request, {s}, {t.receiverSettingSeq, t.ulongSeq});
        else if (op == "connectForRecordNG")
            Arguments(request, {s}, {t.receiverSettingNGSeq, t.ulongSeq});
        else if (op == "connectForReplay")
            Arguments(request, {s, t.receiverSettingSeq, t.ulongSeq});
        else if (op == "startXgReplayLegacy")
            Arguments(request, {t.receiverSettingNGSeq, t.ulongSeq});
        else if (op == "startXgReplay")
            Arguments(request, {s, CORBA::_tc_ulonglong, CORBA::_tc_ulonglong, CORBA::_tc_ulong});
        else if (op == "stopXgReplay")
            Arguments(request, {});
        else {
            returnsBool = false;
            if (op == "startDataFlowNG")
                Arguments(request, {s, s, CORBA::_tc_ulong});
            else if (op == "goingDown")
                Arguments(request, {});
            else if (op == "RecordingFinished")
                Arguments(request, {s, s, s});
            else if (op == "VorexRecordReplaySessionFault")
                Arguments(request, {s, CORBA::_tc_ulong, s});
            else if (op == "startDataFlow" || op == "stopDataFlow" || op == "disconnect" || op == "DataTransferStarted"
                     || op == "stoppingDataTransfer" || op == "ChannelRemoved")
                Arguments(request, {s});
            else
                throw CORBA::BAD_OPERATION();
        }
        if (returnsBool) {
            CORBA::Any result;
            result <<= CORBA::Any::from_boolean(false);
            request->set_result(result);
        }
    }
};

} // namespace

void RemoteRecorderManagerLink::Private::activateStaticServants()
{
    {
        std::lock_guard<std::mutex> lock(m);
        if (!staticServants.empty())
            return;
    }
    Weak weak = shared_from_this();
    CORBA::Object_var rcb = activate(new RecordStateServant(weak), true);
    CORBA::Object_var scb = activate(new StatusServant(weak), true);
    std::vector<CORBA::Object_var> mans;
    for (size_t i = 0; i < channels.size(); ++i)
        mans.push_back(activate(new ChanManServant(weak), true));
    std::lock_guard<std::mutex> lock(m);
    recordCallback = rcb._retn();
    statusCallback = scb._retn();
    chanMans = std::move(mans);
}

bool RemoteRecorderManagerLink::Private::subscribe()
{
    unsubscribe();
    int gen;
    CORBA::Object_var target;
    QStringList sources;
    {
        std::lock_guard<std::mutex> lock(m);
        gen = ++generation;
        expectedSeq = 1;
        early.clear();
        target = CORBA::Object::_duplicate(cco);
        for (Channel& c : channels) {
            c.snapshot = false;
            sources << client + QLatin1Char('/') + c.name;
        }
    }
    try {
        CORBA::Object_var cb = activate(new CallbackServant(shared_from_this(), gen), false);
        Call call(target, "register_callback");
        CORBA::Any cbAny;
        cbAny <<= cb.in();
        call.in(cbAny).in(filtersAny(sources)).ret(CORBA::_tc_Object);
        if (!call.invoke())
            return false;
        CORBA::Object_var reg = call.returnObject();
        std::lock_guard<std::mutex> lock(m);
        registration = reg._retn();
        return true;
    } catch (const CORBA::SystemException& e) {
        fail(QStringLiteral("register_callback"), e);
        return false;
    }
}

// ---------------------------------------------------------------------------

namespace {
// The link's object on the GUI thread: runs the work the link's other
// threads hand it.
class GuiPump : public QObject
{
public:
    explicit GuiPump(const std::shared_ptr<RemoteRecorderManagerLink::Private>& link) : m_link(link) {}
    bool event(QEvent* e) override
    {
        if (e->type() != kGuiWorkEvent)
            return QObject::event(e);
        if (auto link = m_link.lock())
            link->runGuiWork();
        return true;
    }

private:
    std::weak_ptr<RemoteRecorderManagerLink::Private> m_link;
};
} // namespace

RemoteRecorderManagerLink::RemoteRecorderManagerLink(const QString& managerAddress, const std::vector<ChannelPaths>& channels,
                                                     const QString& clientName)
    : d(std::make_shared<Private>())
{
    d->address = managerAddress;
    d->client = clientName.isEmpty()
        ? QStringLiteral("%1-%2").arg(QSysInfo::machineHostName()).arg(QCoreApplication::applicationPid())
        : clientName;
    d->owner = this;
    for (const ChannelPaths& c : channels) {
        Private::Channel ch;
        ch.name = lastPart(c.channelPath);
        ch.path = c.channelPath;
        ch.replayPath = c.replayTimePath;
        d->channels.push_back(std::move(ch));
    }
    auto* context = new GuiPump(d);
    if (QCoreApplication::instance())
        context->moveToThread(QCoreApplication::instance()->thread());
    d->gui = context;
    Orb();
}

RemoteRecorderManagerLink::~RemoteRecorderManagerLink()
{
    Stop();
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->owner = nullptr;
    }
    if (QObject* context = d->gui.data()) {
        if (context->thread() == QThread::currentThread())
            delete context;
        else
            context->deleteLater();
    }
    for (auto& id : d->staticServants) {
        try {
            RootPoa()->deactivate_object(id.in());
        } catch (const CORBA::Exception&) {
        }
    }
    d->staticServants.clear();
}

void RemoteRecorderManagerLink::Start()
{
    std::lock_guard<std::mutex> lock(d->m);
    if (d->started)
        return;
    d->started = true;
    d->stopping = false;
    d->nextAttempt = Clock::now();
    d->worker = std::thread([p = d.get()] { p->run(); });
}

void RemoteRecorderManagerLink::Stop()
{
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (!d->started)
            return;
        d->started = false;
        d->stopping = true;
    }
    d->cv.notify_all();
    d->worker.join();
    d->unsubscribe();
    d->setState(Private::Down);
}

void RemoteRecorderManagerLink::SetEnabled(bool enabled)
{
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (d->enabled == enabled)
            return;
        d->enabled = enabled;
        d->backoff = 0;
        d->nextAttempt = Clock::now();
        d->tasks.clear();
    }
    if (!enabled) {
        d->setState(Private::Down);
        d->post([p = d.get()] { p->unsubscribe(); });
    }
    std::lock_guard<std::mutex> lock(d->m);
    d->nextAttempt = Clock::now();
    d->cv.notify_all();
}

bool RemoteRecorderManagerLink::IsEnabled() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->enabled;
}

QString RemoteRecorderManagerLink::ClientName() const
{
    return d->client;
}

void RemoteRecorderManagerLink::SetReportSink(std::function<void(const QString&)> sink)
{
    d->reportSink = std::move(sink);
}

void RemoteRecorderManagerLink::ShutdownOrb()
{
    ShutdownOrbNow();
}

bool RemoteRecorderManagerLink::IsConnected() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->state == Private::Up;
}

bool RemoteRecorderManagerLink::IsValueTreeReachable() const { return true; }
QString RemoteRecorderManagerLink::GetSubSystem() const { return QStringLiteral("VOREX"); }
QString RemoteRecorderManagerLink::GetVorexRootPath() const { return QStringLiteral("/Vorex"); }

bool RemoteRecorderManagerLink::HasDevice(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->devices.count(deviceId) != 0;
}

DeviceInfo RemoteRecorderManagerLink::GetDevice(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->devices.find(deviceId);
    return it == d->devices.end() ? DeviceInfo() : it->second;
}

std::vector<DeviceInfo> RemoteRecorderManagerLink::GetDevices() const
{
    std::lock_guard<std::mutex> lock(d->m);
    std::vector<DeviceInfo> out;
    for (const auto& dv : d->devices)
        out.push_back(dv.second);
    return out;
}

std::shared_ptr<VOREX_XML::VOREX_RecordData> RemoteRecorderManagerLink::GetRecord(const QString& deviceId,
                                                                                  const QString& recordId) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->records.find(deviceId);
    if (it == d->records.end())
        return nullptr;
    auto rit = it->second.find(recordId);
    return rit == it->second.end() ? nullptr : std::make_shared<VOREX_XML::VOREX_RecordData>(rit->second);
}

std::vector<VOREX_XML::VOREX_RecordData> RemoteRecorderManagerLink::GetRecords(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->m);
    std::vector<VOREX_XML::VOREX_RecordData> out;
    auto it = d->records.find(deviceId);
    if (it != d->records.end())
        for (const auto& r : it->second)
            out.push_back(r.second);
    return out;
}

quint32 RemoteRecorderManagerLink::ExecuteReplayCommand(const RecordedCommand& command)
{
    const QString name = lastPart(command.channelId);
    CORBA::Object_var rootObj, replay;
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (d->state != Private::Up)
            return kNotConnected;
        rootObj = CORBA::Object::_duplicate(d->root);
        for (auto& c : d->channels)
            if (c.name == name)
                replay = CORBA::Object::_duplicate(c.replay);
    }
    const QString dev = command.args.value(0).toString(), rec = command.args.value(1).toString();
    try {
        if (CORBA::is_nil(replay)) {
            Call get(rootObj, "getVorexReplayInterface");
            get.in(name).ret(CORBA::_tc_Object).invoke();
            replay = get.returnObject();
            std::lock_guard<std::mutex> lock(d->m);
            for (auto& c : d->channels)
                if (c.name == name)
                    c.replay = CORBA::Object::_duplicate(replay);
        }
        if (CORBA::is_nil(replay))
            return kNotConnected;
        Call call(replay, command.command.toLatin1().constData());
        call.in(dev).in(rec).ret(CORBA::_tc_ulong);
        if (command.command == QLatin1String("StartReplay")) {
            CORBA::Any start, stop, count;
            start <<= CORBA::ULongLong(command.args.value(3).toULongLong());
            stop <<= CORBA::ULongLong(command.args.value(4).toULongLong());
            count <<= CORBA::ULong(command.args.value(5).toUInt());
            call.in(EnumAny(TypeCodes::Get().dataRateClass, command.args.value(2).toUInt() & 15)).in(start).in(stop).in(count);
        }
        if (!call.invoke())
            return kNotConnected;
        return call.returnULong();
    } catch (const CORBA::SystemException& e) {
        d->fail(command.command, e);
        return kNotConnected;
    }
}

namespace {
// The admin interface for a command, or nil while down.
CORBA::Object_ptr adminOf(RemoteRecorderManagerLink::Private& p)
{
    std::lock_guard<std::mutex> lock(p.m);
    if (p.state != RemoteRecorderManagerLink::Private::Up)
        return CORBA::Object::_nil();
    return CORBA::Object::_duplicate(p.admin);
}
} // namespace

quint32 RemoteRecorderManagerLink::GetDeviceTime(const QString&, const QString& deviceId, quint64& time)
{
    time = 0;
    CORBA::Object_var a = adminOf(*d);
    if (CORBA::is_nil(a))
        return kNotConnected;
    try {
        Call call(a, "getDeviceTime");
        call.in(deviceId).out(CORBA::_tc_ulonglong).out(CORBA::_tc_boolean).ret(CORBA::_tc_ulong).invoke();
        const quint32 code = call.returnULong();
        CORBA::ULongLong t = 0;
        call.outArg(1) >>= t;
        if (code == 0)
            time = t;
        return code;
    } catch (const CORBA::SystemException& e) {
        d->fail(QStringLiteral("getDeviceTime"), e);
        return kNotConnected;
    }
}

quint32 RemoteRecorderManagerLink::SetBookmarkEntries(const vorex::RecordIdentifier& id,
                                                       const QVector<VOREX_XML::BookmarkEntry>& entries)
{
    CORBA::Object_var a = adminOf(*d);
    if (CORBA::is_nil(a))
        return kNotConnected;
    QVector<VOREX_XML::BookmarkEntry> current;
    if (auto r = GetRecord(id.deviceID(), id.recordID()))
        current = r->GetBookmarkEntry();
    else
        return RecorderManagerBackend::eResult_UnknownRecord;
    QVector<VOREX_XML::BookmarkEntry> removed, added;
    for (const auto& b : current)
        if (!entries.contains(b))
            removed << b;
    for (const auto& b : entries)
        if (!current.contains(b))
            added << b;
    // Two calls, no transaction: the new bookmarks go first, so that a
    // manager lost between the calls keeps a moved or renamed bookmark twice
    // rather than not at all (the operator is told the save failed).
    try {
        for (const auto& step : {std::make_pair("addBookmarks", added), std::make_pair("deleteBookmarks", removed)}) {
            if (step.second.isEmpty())
                continue;
            Call call(a, step.first);
            call.in(id.deviceID()).in(id.recordID()).in(BookmarksToAny(step.second)).ret(CORBA::_tc_ulong).invoke();
            if (const quint32 code = call.returnULong())
                return code;
        }
    } catch (const CORBA::SystemException& e) {
        d->fail(QStringLiteral("bookmarks"), e);
        return kNotConnected;
    }
    d->refreshRecord(id.deviceID(), id.recordID());
    return 0;
}

namespace {
quint32 adminCommand(RemoteRecorderManagerLink::Private& p, const char* op, const vorex::RecordIdentifier& id,
                     const QString* text)
{
    CORBA::Object_var a = adminOf(p);
    if (CORBA::is_nil(a))
        return kNotConnected;
    try {
        Call call(a, op);
        call.in(id.deviceID()).in(id.recordID());
        if (text)
            call.inW(*text);
        call.ret(CORBA::_tc_ulong).invoke();
        const quint32 code = call.returnULong();
        if (code == 0)
            p.refreshRecord(id.deviceID(), id.recordID());
        return code;
    } catch (const CORBA::SystemException& e) {
        p.fail(QString::fromLatin1(op), e);
        return kNotConnected;
    }
}
} // namespace

quint32 RemoteRecorderManagerLink::ResyncRecord(const vorex::RecordIdentifier& id)
{
    return adminCommand(*d, "requestRecordDataDetail", id, nullptr);
}

quint32 RemoteRecorderManagerLink::AddHistoryComment(const vorex::RecordIdentifier& id, const QString& comment)
{
    return adminCommand(*d, "addHistory", id, &comment);
}

quint32 RemoteRecorderManagerLink::RenameRecord(const vorex::RecordIdentifier& id, const QString& name)
{
    return adminCommand(*d, "setRecordComment", id, &name);
}

void RemoteRecorderManagerLink::RecordCommand(const RecordedCommand&) {}

} // namespace VorexCommon
