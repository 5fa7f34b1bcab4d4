// The recorder manager and naming protocols on the wire. Servants and
// clients live in this process, but every call travels through a loopback
// TCP proxy: the client holds the servants' references with the proxy's
// port in place of the server's, an address the ORB does not recognise as
// its own, so each call is marshalled, sent as GIOP and unmarshalled. The proxy records the
// messages for byte-level checks and can corrupt one on its way to show
// that the receiving side rejects it.
//
// This process links the generated code itself and must never load the
// plug-in module, which carries a second copy of the same stubs.

#include "giopwire.h"

#include "cco.hh"
#include "vorexmanager.hh"

#include <QElapsedTimer>
#include <QtTest>

#include <omniORB4/minorCode.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

using giop::CdrReader;
using giop::CdrWriter;
using giop::Direction;

namespace {

// ------------------------------------------------------------ helpers

QString num(quint64 v)
{
    return QString::number(v);
}

QString wtext(const CORBA::WChar* w)
{
    return w ? QString::fromWCharArray(w) : QStringLiteral("<null>");
}

// Runs a call and says how it ended, so a failing check shows what came
// back instead of only that it was not the expected exception.
QString outcome(const std::function<void()>& call)
{
    try {
        call();
        return QStringLiteral("ok");
    } catch (const CORBA::SystemException& e) {
        return QStringLiteral("%1 0x%2").arg(QString::fromLatin1(e._name())).arg(e.minor(), 0, 16);
    } catch (const CORBA::UserException& e) {
        return QStringLiteral("user %1").arg(QString::fromLatin1(e._rep_id()));
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

// The members of a user exception that has a code and a text.
template <typename E>
auto members(const E& e, int) -> decltype(e.code, e.text, QString())
{
    return QStringLiteral(" %1 %2").arg(CORBA::ULong(e.code)).arg(QString::fromLatin1(static_cast<const char*>(e.text)));
}
template <typename E>
QString members(const E&, long)
{
    return QString();
}

// Runs a call that must raise E: its repository id and members, as caught.
template <typename E, typename Call>
QString raised(Call call)
{
    try {
        call();
    } catch (const E& e) {
        return QString::fromLatin1(e._rep_id()) + members(e, 0);
    }
    return QStringLiteral("no exception");
}

// Events the servants report; waited on for oneway calls.
class Journal
{
public:
    void add(const QString& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events << event;
        m_changed.notify_all();
    }
    QStringList take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QStringList out;
        out.swap(m_events);
        return out;
    }
    bool waitFor(const QString& event, int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_events.contains(event); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_events;
};

KD_VRX::RecordInfo sampleRecord(const char* recordId)
{
    KD_VRX::RecordInfo r;
    r.recordId = recordId;
    // Latin-1, beyond Latin-1, CJK and the last BMP character.
    r.recordName = L"Aufnahme S\u00fcd \u2013 \u6771\u4eac \u20ac \uffff";
    r.startTime = 0x0123456789abcdefULL;
    r.stopTime = 0xffffffffffffffffULL;
    r.sizeInBytes = 0x8000000000000000ULL;
    r.state = KD_VRX::RecordState_8;
    r.format = KD_VRX::DataFormat_23;
    r.sampleRate = 96000;
    r.centerFrequency = 14230000000ULL;
    r.bandwidth = 1;
    r.rate = KD_VRX::DataRateClass_15;
    r.deletable = true;
    r.segments.length(2);
    r.segments[0] = {1, 2, 3, 4, 5};
    r.segments[1] = {0xfffffffffffffff0ULL, 0xfffffffffffffff1ULL, 7, 0xffffffffu, 0};
    r.bookmarks.length(2);
    r.bookmarks[0].time = 10;
    r.bookmarks[0].label = L"Marke \u00e4\u00f6\u00fc";
    r.bookmarks[1].time = 20;
    r.bookmarks[1].label = L"";
    r.history.length(1);
    r.history[0].time = 30;
    r.history[0].entry = L"Kommentar ge\u00e4ndert \u2192 \u00bbneu\u00ab";
    return r;
}

QString describe(const KD_VRX::RecordInfo& r)
{
    QStringList p;
    p << QString::fromLatin1(r.recordId.in()) << wtext(r.recordName.in()) << num(r.startTime) << num(r.stopTime)
      << num(r.sizeInBytes) << num(r.state) << num(r.format) << num(r.sampleRate) << num(r.centerFrequency)
      << num(r.bandwidth) << num(r.rate) << num(r.deletable);
    for (CORBA::ULong i = 0; i < r.segments.length(); ++i) {
        const KD_VRX::RecordSegment& s = r.segments[i];
        p << QStringLiteral("segment(%1,%2,%3,%4,%5)")
                 .arg(num(s.startTime), num(s.stopTime), num(s.sizeInBytes), num(s.fileNumber), num(s.segmentFlags));
    }
    for (CORBA::ULong i = 0; i < r.bookmarks.length(); ++i)
        p << QStringLiteral("bookmark(%1,%2)").arg(num(r.bookmarks[i].time), wtext(r.bookmarks[i].label.in()));
    for (CORBA::ULong i = 0; i < r.history.length(); ++i)
        p << QStringLiteral("history(%1,%2)").arg(num(r.history[i].time), wtext(r.history[i].entry.in()));
    return p.join(QLatin1Char('|'));
}

// ------------------------------------------------------------ servants
//
// Outputs are derived from inputs, so the servants hold no test state.

class ReplayServant : public POA_KD_VRX::IF_VOREX_Replay
{
public:
    explicit ReplayServant(Journal& j) : m_journal(j) {}
    CORBA::ULong StartReplay(const char* device, const char* record, KD_VRX::DataRateClass rate,
                             CORBA::ULongLong start, CORBA::ULongLong stop, CORBA::ULong count) override
    {
        m_journal.add(QStringLiteral("Replay.StartReplay %1 %2 %3 %4 %5 %6")
                          .arg(device, record, num(rate), num(start), num(stop), num(count)));
        return 0xa0000000u + count;
    }
    CORBA::ULong StartReplayReceivers(const char*, const char*, KD_VRX::DataRateClass, CORBA::ULongLong,
                                      CORBA::ULongLong, CORBA::ULong, KD_VRX::ReceiverKind) override
    {
        return 0;
    }
    CORBA::ULong PauseReplay(const char* device, const char* record) override
    {
        m_journal.add(QStringLiteral("Replay.PauseReplay %1 %2").arg(device, record));
        return 0;
    }
    CORBA::ULong ContinueReplay(const char*, const char*) override { return 0; }
    CORBA::ULong StopReplay(const char*, const char*) override { return 0; }

private:
    Journal& m_journal;
};

class AdminServant : public POA_KD_VRX::IF_VOREX_Admin
{
public:
    explicit AdminServant(Journal& j) : m_journal(j) {}
    CORBA::ULong getDeviceTime(const char* device, CORBA::ULongLong& time, CORBA::Boolean& synchronised) override
    {
        time = 0x8877665544332211ULL;
        synchronised = qstrcmp(device, "synchronised") == 0;
        return 0x11223344u;
    }
    CORBA::ULong setRecordDeletableFlag(const char* device, const char* record, CORBA::Boolean deletable) override
    {
        m_journal.add(QStringLiteral("Admin.setRecordDeletableFlag %1 %2 %3").arg(device, record, num(deletable)));
        return 0;
    }
    CORBA::ULong getRecord(const char* device, const char* record, KD_VRX::RecordInfo_out info) override
    {
        if (qstrcmp(record, "missing") == 0)
            throw KD_VRX::IF_VOREX_Admin::exAdmin(KD_VRX::IF_VOREX_Admin::exAdminCode_0,
                                                  qPrintable(QStringLiteral("no record %1 on %2").arg(record, device)));
        info = new KD_VRX::RecordInfo(sampleRecord(record));
        return 0;
    }
    CORBA::ULong removeHistoryEntry(const char*, const char*, CORBA::ULongLong) override { return 0; }
    CORBA::ULong addHistory(const char* device, const char* record, const CORBA::WChar* entry) override
    {
        m_journal.add(QStringLiteral("Admin.addHistory %1 %2 %3").arg(device, record, wtext(entry)));
        return 0;
    }
    CORBA::ULong copyRecord(const char*, const char*, CORBA::String_out id, const KD_VRX::CopyRangeSeq&,
                            const CORBA::WChar*) override
    {
        id = CORBA::string_dup("");
        return 0;
    }
    CORBA::ULong setRecordComment(const char*, const char*, const CORBA::WChar*) override { return 0; }
    CORBA::ULong addBookmarks(const char*, const char*, const KD_VRX::BookmarkItemSeq&) override { return 0; }
    CORBA::ULong deleteBookmarks(const char*, const char*, const KD_VRX::BookmarkItemSeq&) override { return 0; }
    CORBA::ULong setDeviceTime(const char*, CORBA::ULongLong) override { return 0; }
    CORBA::ULong getOverviewSpectrumStreamed(const char*, const char*, CORBA::ULongLong, CORBA::ULongLong,
                                             CORBA::ULongLong, CORBA::ULong, KD_VRX::SpectrumKind, const char*,
                                             CORBA::UShort) override
    {
        return 0;
    }
    CORBA::ULong requestRecordDataDetail(const char*, const char*) override { return 0; }
    CORBA::Boolean deleteRecord(const char*, const char*) override { return false; }

private:
    Journal& m_journal;
};

class ChanManServant : public POA_KD_VRX::IF_VRX_c_ChanMan
{
public:
    explicit ChanManServant(Journal& j) : m_journal(j) {}
    CORBA::Boolean isAvailableForRecord(const char* channel, const KD_VRX::StringSeq& devices) override
    {
        m_journal.add(QStringLiteral("ChanMan.isAvailableForRecord %1 %2").arg(channel, num(devices.length())));
        return devices.length() > 0;
    }
    void startDataFlow(const char* channel) override
    {
        throw KD_VRX::IF_VRX_c_ChanMan::exChanMan(KD_VRX::IF_VRX_c_ChanMan::exChanManCode_8,
                                                  qPrintable(QStringLiteral("no data flow on %1").arg(channel)));
    }
    void DataTransferStarted(const char* channel) override
    {
        m_journal.add(QStringLiteral("ChanMan.DataTransferStarted %1").arg(channel));
    }
    void stoppingDataTransfer(const char* channel) override
    {
        m_journal.add(QStringLiteral("ChanMan.stoppingDataTransfer %1").arg(channel));
    }
    CORBA::Boolean connectForRecord(const char*, KD_VRX::ReceiverSettingSeq_out r, KD_VRX::ULongSeq_out i) override
    {
        r = new KD_VRX::ReceiverSettingSeq;
        i = new KD_VRX::ULongSeq;
        return false;
    }
    CORBA::Boolean connectForRecordNG(const char*, KD_VRX::ReceiverSettingNGSeq_out r,
                                      KD_VRX::ULongSeq_out i) override
    {
        r = new KD_VRX::ReceiverSettingNGSeq;
        i = new KD_VRX::ULongSeq;
        return false;
    }
    void startDataFlowNG(const char*, const char*, CORBA::ULong) override {}
    void stopDataFlow(const char*) override {}
    void disconnect(const char*) override {}
    CORBA::Boolean isAvailableForReplay(const char*, const KD_VRX::StringSeq&) override { return false; }
    CORBA::Boolean connectForReplay(const char*, const KD_VRX::ReceiverSettingSeq&, const KD_VRX::ULongSeq&) override
    {
        return false;
    }
    void goingDown() override {}
    void ChannelRemoved(const char*) override {}
    void RecordingFinished(const char*, const char*, const char*) override {}
    CORBA::Boolean startXgReplayLegacy(const KD_VRX::ReceiverSettingNGSeq&, const KD_VRX::ULongSeq&) override
    {
        return false;
    }
    CORBA::Boolean startXgReplay(const char*, CORBA::ULongLong, CORBA::ULongLong, CORBA::ULong) override
    {
        return false;
    }
    CORBA::Boolean stopXgReplay() override { return false; }
    void VorexRecordReplaySessionFault(const char*, CORBA::ULong, const char*) override {}

private:
    Journal& m_journal;
};

class ChanServant : public POA_KD_VRX::IF_VRX_c_Chan
{
public:
    explicit ChanServant(Journal& j) : m_journal(j) {}
    void DataTransferStarted() override { m_journal.add(QStringLiteral("Chan.DataTransferStarted")); }
    void removeChannel() override
    {
        throw KD_VRX::IF_VRX_c_Chan::exChan(KD_VRX::IF_VRX_c_Chan::exChanCode_5, "channel is recording");
    }
    void setDataRateClass(KD_VRX::DataRateClass rate) override
    {
        throw KD_VRX::exGen(KD_VRX::exGenCode_4, qPrintable(QStringLiteral("rate %1 not supported").arg(rate)));
    }
    char* getChannelID() override { return CORBA::string_dup("CH-7"); }
    void errorOccured(KD_VRX::IF_VRX_c_Chan::ChannelErrorKind) override {}
    void removeChannelForced() override {}
    void setCallBackInterface(KD_VRX::IF_VRX_c_ChanMan_ptr) override {}
    void setRequestedSampleRate(CORBA::ULongLong, CORBA::UShort) override {}
    void setMURAVRegistration(CORBA::Boolean, CORBA::Boolean) override {}
    void setDataFormat(KD_VRX::DataFormat) override {}
    void setRecordFlag(CORBA::Boolean) override {}
    void setReplayFlag(CORBA::Boolean) override {}
    void setName(const char*) override {}
    void startRecording(CORBA::ULong, const CORBA::WChar*, CORBA::ULong) override {}
    void stopRecording(const CORBA::WChar*) override {}
    void DataTransferStopped() override {}
    void DataTransferStopping() override {}
    void startReplaying(const char*, const char*, KD_VRX::DataRateClass, CORBA::ULongLong, CORBA::ULongLong,
                        CORBA::ULong) override
    {
    }
    void channelError(const char*) override {}
    void setVorexDevices(const KD_VRX::StringSeqSeq&) override {}
    void setAdditionalDataRateClass(KD_VRX::DataRateClass) override {}

private:
    Journal& m_journal;
};

class VrxServant : public POA_KD_VRX::IF_VRX_c_VRX
{
public:
    VrxServant(Journal& j, KD_VRX::IF_VRX_c_Chan_ptr channel)
        : m_journal(j), m_channel(KD_VRX::IF_VRX_c_Chan::_duplicate(channel))
    {
    }
    KD_VRX::IF_VRX_c_Chan_ptr registerReceiverChannel(KD_VRX::IF_VRX_c_ChanMan_ptr manager, KD_VRX::DataRateClass rate,
                                                      KD_VRX::DataFormat format, CORBA::Boolean recordCapable,
                                                      CORBA::Boolean replayCapable, const char* name,
                                                      const char* workstation, CORBA::String_out channelId,
                                                      KD_VRX::ReceiverKind receiver,
                                                      const char* receiverName) override
    {
        m_journal.add(QStringLiteral("Vrx.registerReceiverChannel %1 %2 %3 %4 %5 %6 %7 %8 %9")
                          .arg(CORBA::is_nil(manager) ? QStringLiteral("nil") : QStringLiteral("manager"), num(rate),
                               num(format), num(recordCapable), num(replayCapable), QString::fromLatin1(name),
                               QString::fromLatin1(workstation), num(receiver), QString::fromLatin1(receiverName)));
        // The reference arrived as an IOR and was narrowed by its
        // repository id: it must be callable.
        if (!CORBA::is_nil(manager))
            manager->stoppingDataTransfer(name);
        channelId = CORBA::string_dup(qPrintable(QStringLiteral("RCH-%1").arg(name)));
        return KD_VRX::IF_VRX_c_Chan::_duplicate(m_channel);
    }
    KD_VRX::RecordInfoSeq* getAllRecords(const char* device) override
    {
        KD_VRX::RecordInfoSeq_var records = new KD_VRX::RecordInfoSeq;
        if (qstrcmp(device, "empty") != 0) {
            records->length(2);
            records[0] = sampleRecord("R1");
            records[1] = sampleRecord("R2");
        }
        return records._retn();
    }
    char* mapDeviceIdToAddress(const char* device) override
    {
        throw KD_VRX::IF_VRX_c_VRX::exVRX(KD_VRX::IF_VRX_c_VRX::exVRXCode_3,
                                          qPrintable(QStringLiteral("unknown device %1").arg(device)));
    }
    KD_VRX::IF_VRX_c_Chan_ptr registerChannel(KD_VRX::IF_VRX_c_ChanMan_ptr, KD_VRX::DataRateClass, KD_VRX::DataFormat,
                                              CORBA::Boolean, CORBA::Boolean, const char*,
                                              CORBA::String_out id) override
    {
        id = CORBA::string_dup("");
        return KD_VRX::IF_VRX_c_Chan::_nil();
    }
    KD_VRX::IF_VRX_c_Chan_ptr registerChannelEx(KD_VRX::IF_VRX_c_ChanMan_ptr, KD_VRX::DataRateClass,
                                                KD_VRX::DataFormat, CORBA::Boolean, CORBA::Boolean, const char*,
                                                const char*, CORBA::String_out id) override
    {
        id = CORBA::string_dup("");
        return KD_VRX::IF_VRX_c_Chan::_nil();
    }
    KD_VRX::IF_VOREX_Replay_ptr getVorexReplayInterface(const char*) override
    {
        return KD_VRX::IF_VOREX_Replay::_nil();
    }
    KD_VRX::IF_VRX_c_Chan_ptr getVorexChannelInterface(const char*) override { return KD_VRX::IF_VRX_c_Chan::_nil(); }
    KD_VRX::IF_VOREX_Admin_ptr getVorexAdminInterface() override { return KD_VRX::IF_VOREX_Admin::_nil(); }
    KD_VRX::StringSeq* getAllDevices() override { return new KD_VRX::StringSeq; }
    char* mapAddressToDeviceId(const char*) override { return CORBA::string_dup(""); }
    void getDeviceInformation(const char*, CORBA::String_out description, CORBA::ULong& state) override
    {
        description = CORBA::string_dup("");
        state = 0;
    }
    KD_VRX::RecordMetaData* getMetaDataForRecord(const char*, const char*) override
    {
        return new KD_VRX::RecordMetaData();
    }
    char* getWorkstationName() override { return CORBA::string_dup(""); }
    void exportRecording(KD_VRX::IF_ExportCallback_ptr) override {}
    void cancelExport(const char*) override {}
    void restoreMuravFileGroup(const char*, const char*, const char*) override {}
    void getMuravConnectionParameter(CORBA::Boolean& enabled, CORBA::String_out host, CORBA::UShort& port) override
    {
        enabled = false;
        host = CORBA::string_dup("");
        port = 0;
    }

private:
    Journal& m_journal;
    KD_VRX::IF_VRX_c_Chan_var m_channel;
};

class CcoServant : public POA_CCO::IF_CCO_c
{
public:
    CcoServant(Journal& j, CORBA::Object_ptr resolved) : m_journal(j), m_resolved(CORBA::Object::_duplicate(resolved))
    {
    }
    CORBA::Boolean CheckIndication(const char* name) override
    {
        m_journal.add(QStringLiteral("Cco.CheckIndication %1").arg(name));
        return qstrcmp(name, "alive") == 0;
    }
    CORBA::Object_ptr Unregister(const char* name, CCO::RedundancyType redundancy) override
    {
        m_journal.add(QStringLiteral("Cco.Unregister %1 %2").arg(name, num(redundancy)));
        return CORBA::Object::_nil();
    }
    CCO::CBRegistration_ptr register_callback(CCO::Callback_ptr listener, const CCO::NotificationFilterSeq& filters) override
    {
        QStringList described;
        for (CORBA::ULong i = 0; i < filters.length(); ++i)
            described << QStringLiteral("%1:%2").arg(num(filters[i].kind), QString::fromLatin1(filters[i].source.in()));
        m_journal.add(QStringLiteral("Cco.register_callback %1 [%2]")
                          .arg(CORBA::is_nil(listener) ? QStringLiteral("nil") : QStringLiteral("listener"),
                               described.join(QLatin1Char(','))));
        return CCO::CBRegistration::_nil();
    }
    char* GetSystemName() override { throw CCO::IF_CCO_c::NameNotAvailable(); }
    void Register(const char* name, CORBA::Object_ptr, CCO::RedundancyType) override
    {
        if (qstrcmp(name, "bad-object") == 0)
            throw CCO::IF_CCO_c_Naming::InvalidObject();
        if (qstrcmp(name, "taken") == 0)
            throw CosNaming::NamingContext::AlreadyBound();
        throw CosNaming::NamingContext::InvalidName();
    }
    void RegisterValues(const char*, const CCO::StringSeq&, CCO::RedundancyType) override
    {
        throw CCO::IF_CCO_c_Naming::RedundancyTypeNotSupported();
    }
    CORBA::Object_ptr Resolve(const char* name, CCO::ResolveType type) override
    {
        if (type == CCO::ResolveType_3)
            throw CCO::IF_CCO_c_Naming::InvalidType();
        if (qstrcmp(name, "missing") == 0) {
            CosNaming::Name rest;
            rest.length(1);
            rest[0].id = name;
            rest[0].kind = "record";
            throw CosNaming::NamingContext::NotFound(CosNaming::NamingContext::missing_node, rest);
        }
        return CORBA::Object::_duplicate(m_resolved);
    }
    void StartupIndication(const char*) override {}
    void ShutdownIndication(const char*) override {}
    void CentralServicesIndication(const char*) override {}
    void UnregisterValues(const char*, CCO::RedundancyType) override {}
    CCO::StringSeq* ResolveValues(const char*, CCO::ResolveType) override { return new CCO::StringSeq; }
    char* GetSubSystemName() override { return CORBA::string_dup(""); }
    char* GetWorkstationName() override { return CORBA::string_dup(""); }
    CCO::StringSeq* GetSubSystems() override { return new CCO::StringSeq; }
    CCO::StringSeq* GetWorkstations(const char*) override { return new CCO::StringSeq; }
    CCO::StringSeq* GetSystemWorkstations() override { return new CCO::StringSeq; }
    CORBA::Boolean IsLocalHostASystemWorkstation() override { return false; }
    CORBA::Boolean IsRemoteCCOIndicated(const char*) override { return false; }
    CORBA::Boolean IsWorkstationIndicated(const char*, const char*) override { return false; }
    CCO::StringSeq* GetWorkStationsFromCCOConfig(const char*) override { return new CCO::StringSeq; }

private:
    Journal& m_journal;
    CORBA::Object_var m_resolved;
};

class CallbackServant : public POA_CCO::Callback
{
public:
    explicit CallbackServant(Journal& j) : m_journal(j) {}
    void notify(CCO::NotificationType kind, const char* message) override
    {
        m_journal.add(QStringLiteral("Callback.notify %1 %2").arg(num(kind), QString::fromLatin1(message)));
    }

private:
    Journal& m_journal;
};

// ------------------------------------------------------------ wire access

struct Exchange
{
    QByteArray request;
    giop::RequestView req;
    QByteArray reply; // empty when none was seen
    giop::ReplyView rep;
};

// The last request for `operation` and its reply among the recorded messages.
Exchange lastExchange(const std::vector<giop::Message>& messages, const QByteArray& operation)
{
    Exchange ex;
    bool found = false;
    for (const giop::Message& m : messages) {
        giop::RequestView req;
        giop::ReplyView rep;
        if (m.dir == Direction::ToServer && giop::parseRequest(m.bytes, &req) && req.operation == operation) {
            ex = Exchange();
            ex.request = m.bytes;
            ex.req = req;
            found = true;
        } else if (found && m.dir == Direction::ToClient && giop::parseReply(m.bytes, &rep)
                   && rep.requestId == ex.req.requestId) {
            ex.reply = m.bytes;
            ex.rep = rep;
        }
    }
    return ex;
}

QByteArray body(const QByteArray& msg, int offset)
{
    return msg.mid(offset);
}

// A message body against the layout a CdrWriter produced, alignment gaps
// excepted.
#define COMPARE_BODY(msg, offset, writer)                                                                              \
    do {                                                                                                               \
        const CdrWriter layout_ = (writer);                                                                            \
        QCOMPARE(layout_.hexLike(body((msg), (offset))), layout_.hex());                                               \
    } while (false)

// A user exception as it appears in a reply: repository id, then the
// members of the exceptions of these protocols that have any.
QString userExceptionOnWire(const Exchange& ex, bool withCodeAndText)
{
    if (ex.reply.isEmpty())
        return QStringLiteral("no reply");
    if (ex.rep.status != giop::UserException)
        return QStringLiteral("reply status %1").arg(ex.rep.status);
    CdrReader r(ex.reply, giop::isLittleEndian(ex.reply), ex.rep.bodyOffset);
    QString out = QString::fromLatin1(r.string());
    if (withCodeAndText) {
        const quint32 code = r.ulong();
        out += QStringLiteral(" %1 %2").arg(code).arg(QString::fromLatin1(r.string()));
    }
    if (!r.ok())
        out += QStringLiteral(" <truncated>");
    return out;
}

// Alters the request for `operation` (and nothing else) once.
giop::Proxy::Hook onRequest(const QByteArray& operation, std::function<void(QByteArray&, const giop::RequestView&)> change)
{
    auto done = std::make_shared<bool>(false);
    return [=](Direction dir, QByteArray& msg) {
        giop::RequestView req;
        if (!*done && dir == Direction::ToServer && giop::parseRequest(msg, &req) && req.operation == operation) {
            change(msg, req);
            *done = true;
        }
        return true;
    };
}

// Alters (or with a false result swallows) the reply to the next request
// for `operation`.
giop::Proxy::Hook onReply(const QByteArray& operation, std::function<bool(QByteArray&, const giop::ReplyView&)> change)
{
    struct State
    {
        bool seen = false;
        bool done = false;
        quint32 id = 0;
    };
    auto state = std::make_shared<State>();
    return [=](Direction dir, QByteArray& msg) {
        giop::RequestView req;
        giop::ReplyView rep;
        if (!state->seen && dir == Direction::ToServer && giop::parseRequest(msg, &req) && req.operation == operation) {
            state->seen = true;
            state->id = req.requestId;
        } else if (state->seen && !state->done && dir == Direction::ToClient && giop::parseReply(msg, &rep)
                   && rep.requestId == state->id) {
            state->done = true;
            return change(msg, rep);
        }
        return true;
    };
}

// Clears the proxy's hook when a check fails half-way.
struct HookScope
{
    HookScope(giop::Proxy& proxy, giop::Proxy::Hook hook) : m_proxy(proxy) { m_proxy.setHook(std::move(hook)); }
    ~HookScope() { m_proxy.setHook(nullptr); }
    giop::Proxy& m_proxy;
};

bool hostIsLittleEndian()
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian;
}

constexpr CORBA::ULong kInvalidEnumValue = 0x4154001A;

} // namespace

// ------------------------------------------------------------ test

class TestIdlWire : public QObject
{
    Q_OBJECT

private:
    Journal m_journal;
    CORBA::ORB_var m_orb;
    PortableServer::POA_var m_ins;
    std::unique_ptr<giop::Proxy> m_proxy;
    // Client side, every one through the proxy.
    KD_VRX::IF_VOREX_Replay_var m_replayRef;
    KD_VRX::IF_VOREX_Admin_var m_adminRef;
    KD_VRX::IF_VRX_c_ChanMan_var m_chanManRef;
    KD_VRX::IF_VRX_c_Chan_var m_chanRef;
    KD_VRX::IF_VRX_c_VRX_var m_vrxRef;
    CCO::IF_CCO_c_var m_ccoRef;
    CCO::Callback_var m_callbackRef;

    // The POA owns the servant from here on and deletes it when the ORB is
    // destroyed.
    void activate(PortableServer::ServantBase* servant, const char* key)
    {
        PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(key);
        m_ins->activate_object_with_id(oid, servant);
        servant->_remove_ref();
    }

    CORBA::Object_ptr serverSideReference(const char* key)
    {
        PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(key);
        return m_ins->id_to_reference(oid);
    }

    // The server's own reference with the proxy's port: type id, GIOP
    // version and code set component as a peer would get them from the
    // naming service (without the code sets no wstring could travel).
    CORBA::Object_ptr viaProxy(const char* key)
    {
        CORBA::Object_var real = serverSideReference(key);
        CORBA::String_var ior = m_orb->object_to_string(real);
        const QByteArray moved = giop::withIiopPort(QByteArray(ior.in()), m_proxy->port());
        return m_orb->string_to_object(moved.constData());
    }

    // A bare URL: the client knows no type and must ask the server.
    CORBA::Object_ptr untypedViaProxy(const char* key)
    {
        const QByteArray url = QByteArrayLiteral("corbaloc::1.2@127.0.0.1:") + QByteArray::number(m_proxy->port())
            + '/' + key;
        return m_orb->string_to_object(url.constData());
    }

    template <typename T>
    typename T::_ptr_type remote(const char* key)
    {
        CORBA::Object_var obj = viaProxy(key);
        return T::_narrow(obj);
    }

    std::vector<giop::Message> recorded() { return m_proxy->messages(); }

private slots:
    void initTestCase()
    {
        // Loopback only, any free port; no call may wait longer than a few
        // seconds should something go wrong.
        char arg0[] = "tst_idlwire";
        char arg1[] = "-ORBendPoint";
        char arg2[] = "giop:tcp:127.0.0.1:0";
        char arg3[] = "-ORBclientCallTimeOutPeriod";
        char arg4[] = "5000";
        char* argv[] = {arg0, arg1, arg2, arg3, arg4, nullptr};
        int argc = 5;
        m_orb = CORBA::ORB_init(argc, argv);
        CORBA::Object_var poaObj = m_orb->resolve_initial_references("omniINSPOA");
        m_ins = PortableServer::POA::_narrow(poaObj);
        PortableServer::POAManager_var manager = m_ins->the_POAManager();
        manager->activate();

        activate(new ReplayServant(m_journal), "Replay");
        activate(new AdminServant(m_journal), "Admin");
        activate(new ChanManServant(m_journal), "ChanMan");
        activate(new ChanServant(m_journal), "Chan");

        CORBA::Object_var replayIor = serverSideReference("Replay");
        CORBA::String_var ior = m_orb->object_to_string(replayIor);
        QByteArray host;
        quint16 serverPort = 0;
        QVERIFY(giop::iiopAddress(QByteArray(ior.in()), &host, &serverPort));
        QCOMPARE(host, QByteArray("127.0.0.1"));
        QVERIFY(serverPort != 0);
        m_proxy.reset(new giop::Proxy(serverPort));
        QVERIFY(m_proxy->isListening());
        QVERIFY(m_proxy->port() != serverPort);

        m_chanRef = remote<KD_VRX::IF_VRX_c_Chan>("Chan");
        activate(new VrxServant(m_journal, m_chanRef), "Vrx");
        activate(new CcoServant(m_journal, replayIor), "Cco");
        activate(new CallbackServant(m_journal), "Callback");

        m_replayRef = remote<KD_VRX::IF_VOREX_Replay>("Replay");
        m_adminRef = remote<KD_VRX::IF_VOREX_Admin>("Admin");
        m_chanManRef = remote<KD_VRX::IF_VRX_c_ChanMan>("ChanMan");
        m_vrxRef = remote<KD_VRX::IF_VRX_c_VRX>("Vrx");
        m_ccoRef = remote<CCO::IF_CCO_c>("Cco");
        m_callbackRef = remote<CCO::Callback>("Callback");
        QVERIFY(!CORBA::is_nil(m_replayRef) && !CORBA::is_nil(m_adminRef) && !CORBA::is_nil(m_chanManRef)
                && !CORBA::is_nil(m_chanRef) && !CORBA::is_nil(m_vrxRef) && !CORBA::is_nil(m_ccoRef)
                && !CORBA::is_nil(m_callbackRef));
    }

    void init()
    {
        m_proxy->clear();
        m_journal.take();
    }

    void cleanupTestCase()
    {
        m_replayRef = KD_VRX::IF_VOREX_Replay::_nil();
        m_adminRef = KD_VRX::IF_VOREX_Admin::_nil();
        m_chanManRef = KD_VRX::IF_VRX_c_ChanMan::_nil();
        m_chanRef = KD_VRX::IF_VRX_c_Chan::_nil();
        m_vrxRef = KD_VRX::IF_VRX_c_VRX::_nil();
        m_ccoRef = CCO::IF_CCO_c::_nil();
        m_callbackRef = CCO::Callback::_nil();
        m_proxy.reset();
        m_ins = PortableServer::POA::_nil();
        if (!CORBA::is_nil(m_orb))
            m_orb->destroy();
    }

    // A request body, byte by byte: strings with their NUL, the enumeration
    // as a 4-byte number, padding before each 64-bit value, parameters in
    // declaration order, all in the byte order the header announces.
    void startReplayRequestBytes()
    {
        const CORBA::ULong result =
            m_replayRef->StartReplay("DEV-1", "REC-42", KD_VRX::DataRateClass_7, 0x0102030405060708ULL,
                                     0xf1f2f3f4f5f6f7f8ULL, 3);
        QCOMPARE(result, 0xa0000003u);

        const Exchange ex = lastExchange(recorded(), "StartReplay");
        QVERIFY(!ex.request.isEmpty());
        QCOMPARE(ex.request.at(4), char(1));
        QCOMPARE(ex.request.at(5), char(2));
        const bool little = giop::isLittleEndian(ex.request);
        QCOMPARE(little, hostIsLittleEndian()); // omniORB sends in its native order
        QCOMPARE(ex.req.responseFlags, quint8(3)); // a normal two-way call
        QCOMPARE(ex.req.objectKey, QByteArray("Replay"));
        QCOMPARE(ex.req.bodyOffset % 8, 0);
        COMPARE_BODY(ex.request, ex.req.bodyOffset,
                     CdrWriter(little, ex.req.bodyOffset)
                         .string("DEV-1")
                         .string("REC-42")
                         .ulong(7)
                         .ulonglong(0x0102030405060708ULL)
                         .ulonglong(0xf1f2f3f4f5f6f7f8ULL)
                         .ulong(3));

        // The reply holds just the result.
        QCOMPARE(ex.rep.status, quint32(giop::NoException));
        COMPARE_BODY(ex.reply, ex.rep.bodyOffset,
                     CdrWriter(giop::isLittleEndian(ex.reply), ex.rep.bodyOffset).ulong(0xa0000003u));
    }

    void startReplayKeepsTheFull64BitRange()
    {
        const quint64 values[][2] = {{0, 0xffffffffffffffffULL},
                                     {0x8000000000000000ULL, 0x7fffffffffffffffULL},
                                     {0xffffffff00000000ULL, 0x00000000ffffffffULL}};
        for (const auto& v : values) {
            m_replayRef->StartReplay("D", "R", KD_VRX::DataRateClass_15, v[0], v[1], 0xffffffffu);
            QCOMPARE(m_journal.take(), QStringList{QStringLiteral("Replay.StartReplay D R 15 %1 %2 4294967295")
                                                       .arg(num(v[0]), num(v[1]))});
        }
    }

    // The reply carries the result first, then the out parameters in
    // declaration order: 32-bit result, padding, 64-bit time, flag octet.
    void getDeviceTimeReplyBytes()
    {
        CORBA::ULongLong time = 0;
        CORBA::Boolean synchronised = false;
        const CORBA::ULong result = m_adminRef->getDeviceTime("synchronised", time, synchronised);
        QCOMPARE(result, 0x11223344u);
        QCOMPARE(time, 0x8877665544332211ULL);
        QVERIFY(synchronised);

        const Exchange ex = lastExchange(recorded(), "getDeviceTime");
        QVERIFY(!ex.reply.isEmpty());
        QCOMPARE(ex.rep.status, quint32(giop::NoException));
        const bool little = giop::isLittleEndian(ex.reply);
        QCOMPARE(little, hostIsLittleEndian());
        QCOMPARE(ex.rep.bodyOffset % 8, 0);
        COMPARE_BODY(ex.reply, ex.rep.bodyOffset,
                     CdrWriter(little, ex.rep.bodyOffset)
                         .ulong(0x11223344u)
                         .ulonglong(0x8877665544332211ULL)
                         .boolean(true));
        // The request carries the in parameter only.
        COMPARE_BODY(ex.request, ex.req.bodyOffset, CdrWriter(little, ex.req.bodyOffset).string("synchronised"));
    }

    void booleanIsOneOctetAndAnyNonZeroOctetIsTrue()
    {
        m_adminRef->setRecordDeletableFlag("D", "R", true);
        Exchange ex = lastExchange(recorded(), "setRecordDeletableFlag");
        COMPARE_BODY(ex.request, ex.req.bodyOffset,
                     CdrWriter(giop::isLittleEndian(ex.request), ex.req.bodyOffset).string("D").string("R").boolean(true));
        QCOMPARE(m_journal.take(), QStringList{QStringLiteral("Admin.setRecordDeletableFlag D R 1")});

        // Request direction: false on the way out, 0x80 on the wire.
        {
            HookScope hook(*m_proxy, onRequest("setRecordDeletableFlag", [](QByteArray& msg, const giop::RequestView&) {
                               msg[msg.size() - 1] = char(0x80);
                           }));
            m_adminRef->setRecordDeletableFlag("D", "R", false);
        }
        QCOMPARE(m_journal.take(), QStringList{QStringLiteral("Admin.setRecordDeletableFlag D R 1")});

        // Reply direction: the server says false, the wire says 0x02.
        CORBA::ULongLong time = 0;
        CORBA::Boolean synchronised = false;
        {
            HookScope hook(*m_proxy, onReply("getDeviceTime", [](QByteArray& msg, const giop::ReplyView& rep) {
                               msg[rep.bodyOffset + 16] = char(0x02);
                               return true;
                           }));
            m_adminRef->getDeviceTime("drifting", time, synchronised);
        }
        QVERIFY(synchronised);
        QCOMPARE(time, 0x8877665544332211ULL);
        // Unaltered, the same call reads false.
        m_adminRef->getDeviceTime("drifting", time, synchronised);
        QVERIFY(!synchronised);
    }

    void outOfRangeEnumerationIsRejected()
    {
        const QString invalidEnum = QStringLiteral("MARSHAL 0x%1").arg(kInvalidEnumValue, 0, 16);

        // In a request: the server refuses to unmarshal and the servant never
        // sees the call.
        {
            HookScope hook(*m_proxy, onRequest("StartReplay", [](QByteArray& msg, const giop::RequestView& req) {
                               CdrReader r(msg, giop::isLittleEndian(msg), req.bodyOffset);
                               r.string();
                               r.string();
                               r.align(4);
                               giop::putULong(msg, r.pos(), 16); // one past DataRateClass_15
                           }));
            QCOMPARE(outcome([&] { m_replayRef->StartReplay("D", "R", KD_VRX::DataRateClass_15, 1, 2, 1); }),
                     invalidEnum);
        }
        QCOMPARE(m_journal.take(), QStringList());

        // In a reply: exAdmin has a single code, so 1 is as wrong as 16.
        {
            HookScope hook(*m_proxy, onReply("getRecord", [](QByteArray& msg, const giop::ReplyView& rep) {
                               CdrReader r(msg, giop::isLittleEndian(msg), rep.bodyOffset);
                               r.string(); // repository id
                               r.align(4);
                               giop::putULong(msg, r.pos(), 1);
                               return true;
                           }));
            KD_VRX::RecordInfo_var info;
            QCOMPARE(outcome([&] { m_adminRef->getRecord("D", "missing", info.out()); }), invalidEnum);
        }
        // Unaltered, the same reply is the user exception.
        KD_VRX::RecordInfo_var info;
        QCOMPARE(outcome([&] { m_adminRef->getRecord("D", "missing", info.out()); }),
                 QStringLiteral("user IDL:KD_VRX/IF_VOREX_Admin/exAdmin:1.0"));
    }

    // The minor code depends on where omniORB notices (end of message for
    // strings, sequence check for structures); the exception is what counts.
    void sequenceLongerThanTheMessageIsRejected()
    {
        // In a request.
        {
            HookScope hook(*m_proxy, onRequest("isAvailableForRecord", [](QByteArray& msg, const giop::RequestView& req) {
                               CdrReader r(msg, giop::isLittleEndian(msg), req.bodyOffset);
                               r.string();
                               r.align(4);
                               giop::putULong(msg, r.pos(), 0x10000000u);
                           }));
            KD_VRX::StringSeq devices;
            devices.length(2);
            devices[0] = "DEV-1";
            devices[1] = "DEV-2";
            const QString result = outcome([&] { m_chanManRef->isAvailableForRecord("CH-1", devices); });
            QVERIFY2(result.startsWith(QStringLiteral("MARSHAL ")), qPrintable(result));
        }
        QCOMPARE(m_journal.take(), QStringList());

        // In a reply.
        {
            HookScope hook(*m_proxy, onReply("getAllRecords", [](QByteArray& msg, const giop::ReplyView& rep) {
                               giop::putULong(msg, rep.bodyOffset, 0x10000000u);
                               return true;
                           }));
            KD_VRX::RecordInfoSeq_var records;
            const QString result = outcome([&] { records = m_vrxRef->getAllRecords("DEV-1"); });
            QVERIFY2(result.startsWith(QStringLiteral("MARSHAL ")), qPrintable(result));
        }
    }

    void recordInfoRoundTrips()
    {
        KD_VRX::RecordInfo_var info;
        QCOMPARE(m_adminRef->getRecord("DEV-1", "R9", info.out()), 0u);
        QCOMPARE(describe(info.in()), describe(sampleRecord("R9")));

        KD_VRX::RecordInfoSeq_var records = m_vrxRef->getAllRecords("DEV-1");
        QCOMPARE(records->length(), 2u);
        QCOMPARE(describe(records[0]), describe(sampleRecord("R1")));
        QCOMPARE(describe(records[1]), describe(sampleRecord("R2")));

        // An empty list is a valid answer: a bare zero length.
        records = m_vrxRef->getAllRecords("empty");
        QCOMPARE(records->length(), 0u);
        const Exchange ex = lastExchange(recorded(), "getAllRecords");
        COMPARE_BODY(ex.reply, ex.rep.bodyOffset, CdrWriter(giop::isLittleEndian(ex.reply), ex.rep.bodyOffset).ulong(0));
    }

    // omniORB sends wstring as UTF-16 but does not form surrogate pairs from
    // the 32-bit wchar_t of this platform: a character outside the BMP is
    // refused before anything is sent. Record names and bookmark texts
    // with such characters cannot reach the manager from here.
    void charactersOutsideTheBmpAreRefusedBySender()
    {
        QCOMPARE(outcome([&] { m_adminRef->addHistory("D", "R", L"satellite \U0001F6F0"); }),
                 QStringLiteral("BAD_PARAM 0x%1").arg(omni::BAD_PARAM_WCharOutOfRange, 0, 16));
        QVERIFY(lastExchange(recorded(), "addHistory").request.isEmpty());
        // The connection is still usable.
        QCOMPARE(m_adminRef->addHistory("D", "R", L"satellite \u2605"), 0u);
        QCOMPARE(m_journal.take(), QStringList{QStringLiteral("Admin.addHistory D R satellite \u2605")});
    }

    void userExceptionsCarryRepositoryIdCodeAndText()
    {
        struct Case
        {
            const char* operation;
            std::function<QString()> call;
            QString expected;
            bool hasMembers;
        };
        const std::vector<Case> cases = {
            {"setDataRateClass", [&] { return raised<KD_VRX::exGen>([&] { m_chanRef->setDataRateClass(KD_VRX::DataRateClass_9); }); },
             QStringLiteral("IDL:KD_VRX/exGen:1.0 4 rate 9 not supported"), true},
            {"getRecord",
             [&] {
                 KD_VRX::RecordInfo_var info;
                 return raised<KD_VRX::IF_VOREX_Admin::exAdmin>([&] { m_adminRef->getRecord("DEV-1", "missing", info.out()); });
             },
             QStringLiteral("IDL:KD_VRX/IF_VOREX_Admin/exAdmin:1.0 0 no record missing on DEV-1"), true},
            {"startDataFlow", [&] { return raised<KD_VRX::IF_VRX_c_ChanMan::exChanMan>([&] { m_chanManRef->startDataFlow("CH-1"); }); },
             QStringLiteral("IDL:KD_VRX/IF_VRX_c_ChanMan/exChanMan:1.0 8 no data flow on CH-1"), true},
            {"removeChannel", [&] { return raised<KD_VRX::IF_VRX_c_Chan::exChan>([&] { m_chanRef->removeChannel(); }); },
             QStringLiteral("IDL:KD_VRX/IF_VRX_c_Chan/exChan:1.0 5 channel is recording"), true},
            {"mapDeviceIdToAddress",
             [&] {
                 return raised<KD_VRX::IF_VRX_c_VRX::exVRX>([&] { CORBA::String_var a = m_vrxRef->mapDeviceIdToAddress("DEV-X"); });
             },
             QStringLiteral("IDL:KD_VRX/IF_VRX_c_VRX/exVRX:1.0 3 unknown device DEV-X"), true},
            {"GetSystemName",
             [&] { return raised<CCO::IF_CCO_c::NameNotAvailable>([&] { CORBA::String_var n = m_ccoRef->GetSystemName(); }); },
             QStringLiteral("IDL:CCO/IF_CCO_c/NameNotAvailable:1.0"), false},
            {"RegisterValues",
             [&] {
                 return raised<CCO::IF_CCO_c_Naming::RedundancyTypeNotSupported>(
                     [&] { m_ccoRef->RegisterValues("values", CCO::StringSeq(), CCO::RedundancyType_2); });
             },
             QStringLiteral("IDL:CCO/IF_CCO_c_Naming/RedundancyTypeNotSupported:1.0"), false},
            {"Resolve",
             [&] {
                 return raised<CCO::IF_CCO_c_Naming::InvalidType>(
                     [&] { CORBA::Object_var o = m_ccoRef->Resolve("x", CCO::ResolveType_3); });
             },
             QStringLiteral("IDL:CCO/IF_CCO_c_Naming/InvalidType:1.0"), false},
        };
        for (const Case& c : cases) {
            QCOMPARE(c.call(), c.expected);
            QCOMPARE(userExceptionOnWire(lastExchange(recorded(), c.operation), c.hasMembers), c.expected);
        }

        // Register can raise four exceptions, two of them the naming
        // service's.
        const struct
        {
            const char* name;
            const char* expected;
        } registerCases[] = {{"bad-object", "IDL:CCO/IF_CCO_c_Naming/InvalidObject:1.0"},
                             {"taken", "IDL:omg.org/CosNaming/NamingContext/AlreadyBound:1.0"},
                             {"", "IDL:omg.org/CosNaming/NamingContext/InvalidName:1.0"}};
        for (const auto& c : registerCases) {
            QCOMPARE(outcome([&] { m_ccoRef->Register(c.name, m_replayRef, CCO::RedundancyType_0); }),
                     QStringLiteral("user ") + QString::fromLatin1(c.expected));
            QCOMPARE(userExceptionOnWire(lastExchange(recorded(), "Register"), false), QString::fromLatin1(c.expected));
        }

        // NotFound keeps its members.
        try {
            CORBA::Object_var obj = m_ccoRef->Resolve("missing", CCO::ResolveType_0);
            QFAIL("Resolve did not raise NotFound");
        } catch (const CosNaming::NamingContext::NotFound& e) {
            QCOMPARE(QString::fromLatin1(e._rep_id()),
                     QStringLiteral("IDL:omg.org/CosNaming/NamingContext/NotFound:1.0"));
            QCOMPARE(e.why, CosNaming::NamingContext::missing_node);
            QCOMPARE(e.rest_of_name.length(), 1u);
            QCOMPARE(QString::fromLatin1(e.rest_of_name[0].id), QStringLiteral("missing"));
            QCOMPARE(QString::fromLatin1(e.rest_of_name[0].kind), QStringLiteral("record"));
        }
    }

    // Same operation name on two interfaces: each object runs its own.
    void dataTransferStartedOnBothInterfaces()
    {
        m_chanManRef->DataTransferStarted("CH-3");
        m_chanRef->DataTransferStarted();
        QCOMPARE(m_journal.take(), (QStringList{QStringLiteral("ChanMan.DataTransferStarted CH-3"),
                                                QStringLiteral("Chan.DataTransferStarted")}));

        std::vector<giop::Message> messages = recorded();
        QStringList seen;
        for (const giop::Message& m : messages) {
            giop::RequestView req;
            if (m.dir == Direction::ToServer && giop::parseRequest(m.bytes, &req) && req.operation == "DataTransferStarted")
                seen << QStringLiteral("%1 %2").arg(QString::fromLatin1(req.objectKey),
                                                     QString::fromLatin1(body(m.bytes, req.bodyOffset).toHex(' ')));
        }
        const bool little = hostIsLittleEndian();
        QCOMPARE(seen, (QStringList{QStringLiteral("ChanMan ") + QString::fromLatin1(little ? "05 00 00 00 43 48 2d 33 00"
                                                                                              : "00 00 00 05 43 48 2d 33 00"),
                                    QStringLiteral("Chan ")}));
    }

    void notifyIsOneway()
    {
        m_callbackRef->notify(CCO::NotificationType_4, "records changed");
        QVERIFY(m_journal.waitFor(QStringLiteral("Callback.notify 4 records changed"), 3000));
        // A two-way call behind it on the same connection: had the server
        // answered the oneway, that answer would be recorded before this one.
        QVERIFY(!m_callbackRef->_non_existent());

        const std::vector<giop::Message> messages = recorded();
        const Exchange notify = lastExchange(messages, "notify");
        QVERIFY(!notify.request.isEmpty());
        QCOMPARE(notify.req.responseFlags, quint8(0));
        QVERIFY2(notify.reply.isEmpty(), "the server answered a oneway request");
        const Exchange probe = lastExchange(messages, "_non_existent");
        QVERIFY(!probe.reply.isEmpty());
        QCOMPARE(probe.req.responseFlags, quint8(3));
        COMPARE_BODY(notify.request, notify.req.bodyOffset,
                     CdrWriter(giop::isLittleEndian(notify.request), notify.req.bodyOffset)
                         .ulong(4)
                         .string("records changed"));
    }

    void ccoObjectAnswersForItsBasesAndServesTheirOperations()
    {
        CORBA::Object_var plain = untypedViaProxy("Cco");
        const char* const bases[] = {"IDL:CCO/IF_CCO_c:1.0", "IDL:CCO/IF_CCO_c_Update:1.0",
                                     "IDL:CCO/IF_CCO_c_NamingCorba:1.0", "IDL:CCO/IF_CCO_c_Naming:1.0"};
        for (const char* id : bases)
            QVERIFY2(plain->_is_a(id), id);
        QVERIFY(!plain->_is_a("IDL:CCO/Callback:1.0"));
        QVERIFY(!plain->_is_a("IDL:KD_VRX/IF_VRX_c_VRX:1.0"));
        // The answers came from the servant, not from what the client knew.
        int asked = 0;
        for (const giop::Message& m : recorded()) {
            giop::RequestView req;
            if (m.dir == Direction::ToServer && giop::parseRequest(m.bytes, &req) && req.operation == "_is_a")
                ++asked;
        }
        QCOMPARE(asked, 6);

        CCO::IF_CCO_c_Update_var update = remote<CCO::IF_CCO_c_Update>("Cco");
        QVERIFY(update->CheckIndication("alive"));
        QVERIFY(!update->CheckIndication("gone"));
        QCOMPARE(m_journal.take(), (QStringList{QStringLiteral("Cco.CheckIndication alive"),
                                                QStringLiteral("Cco.CheckIndication gone")}));

        CCO::IF_CCO_c_NamingCorba_var naming = remote<CCO::IF_CCO_c_NamingCorba>("Cco");
        CORBA::Object_var unregistered = naming->Unregister("recorder", CCO::RedundancyType_2);
        QVERIFY(CORBA::is_nil(unregistered));
        // A nil reference: empty type id, no profiles.
        const Exchange ex = lastExchange(recorded(), "Unregister");
        COMPARE_BODY(ex.reply, ex.rep.bodyOffset,
                     CdrWriter(giop::isLittleEndian(ex.reply), ex.rep.bodyOffset).string("").ulong(0));

        // Resolve hands out a real reference, narrowed by its type id.
        CORBA::Object_var resolved = naming->Resolve("replay", CCO::ResolveType_1);
        const Exchange resolve = lastExchange(recorded(), "Resolve");
        CdrReader r(resolve.reply, giop::isLittleEndian(resolve.reply), resolve.rep.bodyOffset);
        QCOMPARE(r.string(), QByteArray("IDL:KD_VRX/IF_VOREX_Replay:1.0"));
        KD_VRX::IF_VOREX_Replay_var replay = KD_VRX::IF_VOREX_Replay::_narrow(resolved);
        QVERIFY(!CORBA::is_nil(replay));
        QCOMPARE(replay->PauseReplay("D", "R"), 0u);
        QCOMPARE(m_journal.take(), (QStringList{QStringLiteral("Cco.Unregister recorder 2"),
                                                QStringLiteral("Replay.PauseReplay D R")}));
        QVERIFY(CORBA::is_nil(CCO::IF_CCO_c_Update::_narrow(resolved)));
    }

    void registerCallbackWithAndWithoutFilters()
    {
        CCO::CBRegistration_var registration = m_ccoRef->register_callback(m_callbackRef, CCO::NotificationFilterSeq());
        QVERIFY(CORBA::is_nil(registration));
        CCO::NotificationFilterSeq filters;
        filters.length(2);
        filters[0].kind = CCO::NotificationType_1;
        filters[0].source = "recorder";
        filters[1].kind = CCO::NotificationType_4;
        filters[1].source = "";
        registration = m_ccoRef->register_callback(m_callbackRef, filters);
        QCOMPARE(m_journal.take(), (QStringList{QStringLiteral("Cco.register_callback listener []"),
                                                QStringLiteral("Cco.register_callback listener [1:recorder,4:]")}));
    }

    // The out parameter sits between in parameters; the request carries
    // the in parameters only, in their order, and the received reference
    // works from the server's side.
    void registerReceiverChannelCarriesOnlyInParameters()
    {
        CORBA::String_var channelId;
        KD_VRX::IF_VRX_c_Chan_var channel =
            m_vrxRef->registerReceiverChannel(m_chanManRef, KD_VRX::DataRateClass_15, KD_VRX::DataFormat_23, true,
                                              false, "north", "ws-2", channelId.out(), KD_VRX::ReceiverKind_4, "rx-9");
        QCOMPARE(QString::fromLatin1(channelId.in()), QStringLiteral("RCH-north"));
        QVERIFY(!CORBA::is_nil(channel));
        CORBA::String_var id = channel->getChannelID();
        QCOMPARE(QString::fromLatin1(id.in()), QStringLiteral("CH-7"));
        QCOMPARE(m_journal.take(), (QStringList{QStringLiteral("Vrx.registerReceiverChannel manager 15 23 1 0 north ws-2 4 rx-9"),
                                                QStringLiteral("ChanMan.stoppingDataTransfer north")}));

        const Exchange ex = lastExchange(recorded(), "registerReceiverChannel");
        CdrReader r(ex.request, giop::isLittleEndian(ex.request), ex.req.bodyOffset);
        r.string(); // the manager's IOR: type id, then its profiles
        const quint32 profiles = r.ulong();
        for (quint32 i = 0; i < profiles; ++i) {
            r.ulong();
            r.octets(static_cast<int>(r.ulong()));
        }
        QCOMPARE(r.ulong(), 15u);
        QCOMPARE(r.ulong(), 23u);
        QCOMPARE(r.octet(), quint8(1));
        QCOMPARE(r.octet(), quint8(0));
        QCOMPARE(r.string(), QByteArray("north"));
        QCOMPARE(r.string(), QByteArray("ws-2"));
        QCOMPARE(r.ulong(), 4u);
        QCOMPARE(r.string(), QByteArray("rx-9"));
        QVERIFY(r.ok());
        QCOMPARE(r.remaining(), 0);
        // The reply: the channel reference, then the out string.
        CdrReader reply(ex.reply, giop::isLittleEndian(ex.reply), ex.rep.bodyOffset);
        reply.string();
        const quint32 replyProfiles = reply.ulong();
        for (quint32 i = 0; i < replyProfiles; ++i) {
            reply.ulong();
            reply.octets(static_cast<int>(reply.ulong()));
        }
        QCOMPARE(reply.string(), QByteArray("RCH-north"));
        QCOMPARE(reply.remaining(), 0);
    }

    // A manager that never answers must not hang its caller.
    void silentServerTimesOut()
    {
        KD_VRX::IF_VOREX_Replay_var replay = remote<KD_VRX::IF_VOREX_Replay>("Replay");
        omniORB::setClientCallTimeout(replay, 200);
        HookScope hook(*m_proxy, onReply("PauseReplay", [](QByteArray&, const giop::ReplyView&) { return false; }));
        QElapsedTimer timer;
        timer.start();
        const QString result = outcome([&] { replay->PauseReplay("D", "R"); });
        QVERIFY2(result.startsWith(QStringLiteral("TIMEOUT")), qPrintable(result));
        QVERIFY(timer.elapsed() < 3000);
    }
};

QTEST_GUILESS_MAIN(TestIdlWire)
#include "tst_idlwire.moc"
