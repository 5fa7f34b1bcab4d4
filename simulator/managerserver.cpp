#include "managerserver.h"

#include "managercontrol.h"

#include "recordermanagersimulator.h"
#include "valuebridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSysInfo>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

using VOREX_XML::VOREX_RecordData;
using VorexCommon::RecorderManagerBackend;

namespace VorexSim {

namespace {

using CORBA::Boolean;
using CORBA::ULong;
using Str = const char*;
using WStr = const CORBA::WChar*;
using U64 = CORBA::ULongLong;
using U16 = CORBA::UShort;

#define VRX_NOT_SERVED(...) __VA_ARGS__ override { throw CORBA::NO_IMPLEMENT(0, CORBA::COMPLETED_NO); }

constexpr size_t kSubscriptionQueue = 65536; // a full snapshot of 64 channels fits many times
constexpr size_t kHostQueue = 1024;

QString fromUtf8(Str s) { return QString::fromUtf8(s); }
QString fromWide(WStr s) { return QString::fromWCharArray(s); }
CORBA::WChar* toWide(const QString& s) { return CORBA::wstring_dup(s.toStdWString().c_str()); }
char* toNarrow(const QString& s) { return CORBA::string_dup(s.toUtf8().constData()); }

struct NoEcho : IObserver
{
    void Update(Observable*, TChangeCode) override {}
};

KD_VRX::RecordInfo toInfo(const VOREX_RecordData& r)
{
    KD_VRX::RecordInfo info;
    info.recordId = toNarrow(r.GetRecordID());
    info.recordName = toWide(r.GetRecordName());
    info.startTime = r.GetStartTime();
    info.stopTime = r.GetStopTime();
    info.sizeInBytes = r.GetRecordSize();
    info.state = KD_VRX::RecordState(std::clamp(r.GetRecordStatus(), 0, int(KD_VRX::RecordState_8)));
    info.format = KD_VRX::DataFormat(std::clamp(r.GetDataFormat(), 0, int(KD_VRX::DataFormat_23)));
    info.sampleRate = 0;
    info.centerFrequency = 0;
    info.bandwidth = 0;
    info.rate = KD_VRX::DataRateClass(std::clamp(int(r.GetDataRate()), 0, int(KD_VRX::DataRateClass_15)));
    info.deletable = true;
    const auto bookmarks = r.GetBookmarkEntry();
    info.bookmarks.length(ULong(bookmarks.size()));
    for (int i = 0; i < bookmarks.size(); ++i) {
        info.bookmarks[ULong(i)].time = bookmarks[i].GetTimestamp();
        info.bookmarks[ULong(i)].label = toWide(bookmarks[i].GetBookmark());
    }
    // The index travels as segments (see doc/protocol.md).
    const auto index = r.GetIndexEntry();
    info.segments.length(ULong(index.size()));
    for (int i = 0; i < index.size(); ++i) {
        const bool last = i + 1 == index.size();
        const quint64 stop = last ? r.GetStopTime() : index[i + 1].GetTimestamp();
        const quint64 end = last ? r.GetRecordSize() : index[i + 1].GetRecordOffset();
        KD_VRX::RecordSegment& s = info.segments[ULong(i)];
        s.startTime = index[i].GetTimestamp();
        s.stopTime = std::max(stop, quint64(index[i].GetTimestamp()));
        s.sizeInBytes = end > index[i].GetRecordOffset() ? end - index[i].GetRecordOffset() : 0;
        s.fileNumber = ULong(i);
        s.segmentFlags = 0;
    }
    const auto history = r.GetHistory();
    info.history.length(ULong(history.size()));
    for (int i = 0; i < history.size(); ++i) {
        info.history[ULong(i)].time = history[i].GetTimestamp();
        info.history[ULong(i)].entry = toWide(history[i].GetText());
    }
    return info;
}

QVector<VOREX_XML::BookmarkEntry> fromItems(const KD_VRX::BookmarkItemSeq& items)
{
    QVector<VOREX_XML::BookmarkEntry> out;
    for (ULong i = 0; i < items.length(); ++i)
        out.push_back(VOREX_XML::BookmarkEntry(items[i].time, fromWide(items[i].label)));
    return out;
}

// ------------------------------------------------------------------ servants

class CcoServant : public POA_CCO::IF_CCO_c
{
public:
    explicit CcoServant(ManagerServer* server) : m_server(server) {}

    void Register(Str name, CORBA::Object_ptr target, CCO::RedundancyType) override
    {
        if (CORBA::is_nil(target))
            throw CCO::IF_CCO_c_Naming::InvalidObject();
        // A host registers again after a reconnect: the newer reference wins.
        m_server->registerObject(name, target);
    }
    void RegisterValues(Str name, const CCO::StringSeq& values, CCO::RedundancyType) override
    {
        if (values.length() < 3)
            throw CosNaming::NamingContext::InvalidName();
        const QString path = fromUtf8(name), client = fromUtf8(values[0]), type = fromUtf8(values[1]),
                      data = fromUtf8(values[2]);
        ManagerServer* server = m_server;
        const bool written = server->onMain([server, path, client, type, data]() {
            ValueBridge::WriteResult result = ValueBridge::NoSuchValue;
            server->asClient(client, [&]() { result = server->bridge()->write(path, type, data, server->clientWriter()); });
            return result == ValueBridge::Written;
        });
        if (!written)
            throw CosNaming::NamingContext::InvalidName();
    }
    CORBA::Object_ptr Unregister(Str name, CCO::RedundancyType) override
    {
        CORBA::Object_ptr object = m_server->unregisterObject(name);
        if (CORBA::is_nil(object))
            throw CosNaming::NamingContext::NotFound(CosNaming::NamingContext::missing_node, CosNaming::Name());
        return object;
    }
    CORBA::Object_ptr Resolve(Str name, CCO::ResolveType) override
    {
        CORBA::Object_ptr object = m_server->resolve(name);
        if (CORBA::is_nil(object))
            throw CosNaming::NamingContext::NotFound(CosNaming::NamingContext::missing_node, CosNaming::Name());
        return object;
    }
    CCO::CBRegistration_ptr register_callback(CCO::Callback_ptr listener, const CCO::NotificationFilterSeq& filters) override
    {
        if (CORBA::is_nil(listener))
            throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
        QStringList sources;
        for (ULong i = 0; i < filters.length(); ++i)
            if (filters[i].kind == CCO::NotificationType_1)
                sources << fromUtf8(filters[i].source);
        ManagerServer* server = m_server;
        CCO::Callback_var callback = CCO::Callback::_duplicate(listener);
        const quint64 id = server->onMain([server, sources, callback]() -> quint64 {
            // "<client>/Channel<n>": one client per registration.
            QString client;
            std::set<int> channels;
            for (const QString& source : sources) {
                const int slash = source.lastIndexOf(QLatin1Char('/'));
                const int channel = server->bridge()->channelIndex(source.mid(slash + 1));
                if (slash <= 0 || channel < 0 || (!client.isEmpty() && client != source.left(slash)))
                    return 0;
                client = source.left(slash);
                channels.insert(channel);
            }
            return channels.empty() ? 0 : server->subscribe(callback, client, channels);
        });
        if (id == 0)
            throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
        const QByteArray key = "Registration/" + QByteArray::number(id);
        CORBA::Object_var object = m_server->reference(key.constData());
        return CCO::CBRegistration::_narrow(object);
    }
    Boolean CheckIndication(Str) override { return true; }
    char* GetWorkstationName() override { return toNarrow(QSysInfo::machineHostName()); }

    VRX_NOT_SERVED(void StartupIndication(Str))
    VRX_NOT_SERVED(void ShutdownIndication(Str))
    VRX_NOT_SERVED(void CentralServicesIndication(Str))
    VRX_NOT_SERVED(void UnregisterValues(Str, CCO::RedundancyType))
    VRX_NOT_SERVED(CCO::StringSeq* ResolveValues(Str, CCO::ResolveType))
    VRX_NOT_SERVED(char* GetSystemName())
    VRX_NOT_SERVED(char* GetSubSystemName())
    VRX_NOT_SERVED(CCO::StringSeq* GetSubSystems())
    VRX_NOT_SERVED(CCO::StringSeq* GetWorkstations(Str))
    VRX_NOT_SERVED(CCO::StringSeq* GetSystemWorkstations())
    VRX_NOT_SERVED(Boolean IsLocalHostASystemWorkstation())
    VRX_NOT_SERVED(Boolean IsRemoteCCOIndicated(Str))
    VRX_NOT_SERVED(Boolean IsWorkstationIndicated(Str, Str))
    VRX_NOT_SERVED(CCO::StringSeq* GetWorkStationsFromCCOConfig(Str))

private:
    ManagerServer* m_server;
};

// One per subscription, under "Registration/<n>"; the ID is never reused
// within a process, so a stale registration cannot drop a newer one.
class RegistrationServant : public POA_CCO::CBRegistration
{
public:
    RegistrationServant(ManagerServer* server, quint64 id) : m_server(server), m_id(id) {}
    void unregister() override
    {
        ManagerServer* server = m_server;
        const quint64 id = m_id;
        server->onMain([server, id]() { server->unsubscribe(id); });
    }

private:
    ManagerServer* m_server;
    quint64 m_id;
};

class VrxServant : public POA_KD_VRX::IF_VRX_c_VRX
{
public:
    explicit VrxServant(ManagerServer* server) : m_server(server) {}

    KD_VRX::IF_VRX_c_Chan_ptr registerReceiverChannel(KD_VRX::IF_VRX_c_ChanMan_ptr, KD_VRX::DataRateClass,
                                                      KD_VRX::DataFormat, Boolean, Boolean, Str channelName,
                                                      Str workstation, CORBA::String_out channelId,
                                                      KD_VRX::ReceiverKind, Str) override
    {
        const QString name = fromUtf8(channelName), client = fromUtf8(workstation);
        ManagerServer* server = m_server;
        const bool known = server->onMain([server, name, client]() {
            const int channel = server->bridge()->channelIndex(name);
            if (channel >= 0)
                server->setChannelClient(channel, client);
            return channel >= 0;
        });
        if (!known)
            throw KD_VRX::exGen(KD_VRX::exGenCode_1, "no such channel");
        channelId = CORBA::string_dup(channelName);
        return chan(name);
    }
    KD_VRX::IF_VOREX_Replay_ptr getVorexReplayInterface(Str channelId) override
    {
        if (!known(channelId))
            return KD_VRX::IF_VOREX_Replay::_nil();
        CORBA::Object_var object = m_server->reference(("Replay/" + std::string(channelId)).c_str());
        return KD_VRX::IF_VOREX_Replay::_narrow(object);
    }
    KD_VRX::IF_VRX_c_Chan_ptr getVorexChannelInterface(Str channelId) override
    {
        return known(channelId) ? chan(fromUtf8(channelId)) : KD_VRX::IF_VRX_c_Chan::_nil();
    }
    KD_VRX::IF_VOREX_Admin_ptr getVorexAdminInterface() override
    {
        CORBA::Object_var object = m_server->reference("Admin");
        return KD_VRX::IF_VOREX_Admin::_narrow(object);
    }
    KD_VRX::StringSeq* getAllDevices() override
    {
        ManagerServer* server = m_server;
        const QStringList ids = server->onMain([server]() {
            QStringList out;
            for (const auto& d : server->simulator()->Backend()->GetDevices())
                out << d.deviceId;
            return out;
        });
        auto* seq = new KD_VRX::StringSeq;
        seq->length(ULong(ids.size()));
        for (int i = 0; i < ids.size(); ++i)
            (*seq)[ULong(i)] = toNarrow(ids[i]);
        return seq;
    }
    void getDeviceInformation(Str deviceId, CORBA::String_out description, ULong& deviceState) override
    {
        const QString id = fromUtf8(deviceId);
        ManagerServer* server = m_server;
        const QString text = server->onMain([server, id]() {
            const VorexCommon::DeviceInfo d = server->simulator()->Backend()->GetDevice(id);
            if (d.deviceId.isEmpty())
                return QString();
            return QStringLiteral("free=%1 total=%2%3")
                .arg(d.freeSpace)
                .arg(d.totalSpace)
                .arg(d.virtualDevice ? QStringLiteral(" virtual") : QString());
        });
        if (text.isEmpty())
            throw KD_VRX::IF_VRX_c_VRX::exVRX(KD_VRX::IF_VRX_c_VRX::exVRXCode_1, "no such device");
        description = toNarrow(text);
        deviceState = 0;
    }
    KD_VRX::RecordInfoSeq* getAllRecords(Str deviceId) override
    {
        const QString id = fromUtf8(deviceId);
        ManagerServer* server = m_server;
        using Records = std::pair<bool, std::vector<VOREX_RecordData>>;
        const Records records = server->onMain([server, id]() {
            auto backend = server->simulator()->Backend();
            return Records(backend->HasDevice(id), backend->GetRecords(id));
        });
        if (!records.first)
            throw KD_VRX::IF_VRX_c_VRX::exVRX(KD_VRX::IF_VRX_c_VRX::exVRXCode_1, "no such device");
        auto* seq = new KD_VRX::RecordInfoSeq;
        seq->length(ULong(records.second.size()));
        for (size_t i = 0; i < records.second.size(); ++i)
            (*seq)[ULong(i)] = toInfo(records.second[i]);
        return seq;
    }
    char* getWorkstationName() override { return toNarrow(QSysInfo::machineHostName()); }

    VRX_NOT_SERVED(KD_VRX::IF_VRX_c_Chan_ptr registerChannel(KD_VRX::IF_VRX_c_ChanMan_ptr, KD_VRX::DataRateClass,
                                                            KD_VRX::DataFormat, Boolean, Boolean, Str, CORBA::String_out))
    VRX_NOT_SERVED(KD_VRX::IF_VRX_c_Chan_ptr registerChannelEx(KD_VRX::IF_VRX_c_ChanMan_ptr, KD_VRX::DataRateClass,
                                                              KD_VRX::DataFormat, Boolean, Boolean, Str, Str,
                                                              CORBA::String_out))
    VRX_NOT_SERVED(char* mapDeviceIdToAddress(Str))
    VRX_NOT_SERVED(char* mapAddressToDeviceId(Str))
    VRX_NOT_SERVED(KD_VRX::RecordMetaData* getMetaDataForRecord(Str, Str))
    VRX_NOT_SERVED(void exportRecording(KD_VRX::IF_ExportCallback_ptr))
    VRX_NOT_SERVED(void cancelExport(Str))
    VRX_NOT_SERVED(void restoreMuravFileGroup(Str, Str, Str))
    VRX_NOT_SERVED(void getMuravConnectionParameter(Boolean&, CORBA::String_out, U16&))

private:
    bool known(Str channelId)
    {
        const QString name = fromUtf8(channelId);
        ManagerServer* server = m_server;
        return server->onMain([server, name]() { return server->bridge()->channelIndex(name) >= 0; });
    }
    KD_VRX::IF_VRX_c_Chan_ptr chan(const QString& name)
    {
        CORBA::Object_var object = m_server->reference(("Chan/" + name).toUtf8().constData());
        return KD_VRX::IF_VRX_c_Chan::_narrow(object);
    }

    ManagerServer* m_server;
};

class ReplayServant : public POA_KD_VRX::IF_VOREX_Replay
{
public:
    ReplayServant(ManagerServer* server, const QString& channel) : m_server(server), m_channel(channel) {}

    ULong StartReplay(Str d, Str r, KD_VRX::DataRateClass rate, U64 start, U64 stop, ULong count) override
    {
        return command("StartReplay", QVariantList{fromUtf8(d), fromUtf8(r), int(rate), quint64(start), quint64(stop),
                                                   quint32(count)});
    }
    ULong PauseReplay(Str d, Str r) override { return command("PauseReplay", {fromUtf8(d), fromUtf8(r)}); }
    ULong ContinueReplay(Str d, Str r) override { return command("ContinueReplay", {fromUtf8(d), fromUtf8(r)}); }
    ULong StopReplay(Str d, Str r) override { return command("StopReplay", {fromUtf8(d), fromUtf8(r)}); }
    VRX_NOT_SERVED(ULong StartReplayReceivers(Str, Str, KD_VRX::DataRateClass, U64, U64, ULong, KD_VRX::ReceiverKind))

private:
    ULong command(const char* name, const QVariantList& args)
    {
        ManagerServer* server = m_server;
        const VorexCommon::RecordedCommand c{QLatin1String(name), m_channel, args};
        return server->onMain([server, c]() { return ULong(server->simulator()->Backend()->ExecuteReplayCommand(c)); });
    }

    ManagerServer* m_server;
    const QString m_channel;
};

class AdminServant : public POA_KD_VRX::IF_VOREX_Admin
{
public:
    explicit AdminServant(ManagerServer* server) : m_server(server) {}

    ULong getDeviceTime(Str deviceId, U64& deviceTime, Boolean& synchronised) override
    {
        const QString id = fromUtf8(deviceId);
        ManagerServer* server = m_server;
        const auto answer = server->onMain([server, id]() {
            quint64 time = 0;
            const quint32 code = server->simulator()->Backend()->GetDeviceTime(QString(), id, time);
            return std::make_pair(code, time);
        });
        deviceTime = answer.second;
        synchronised = answer.first == 0;
        return answer.first;
    }
    ULong getRecord(Str deviceId, Str recordId, KD_VRX::RecordInfo_out info) override
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId);
        ManagerServer* server = m_server;
        const auto record = server->onMain([server, d, r]() { return server->simulator()->Backend()->GetRecord(d, r); });
        info = record ? new KD_VRX::RecordInfo(toInfo(*record)) : new KD_VRX::RecordInfo(toInfo(VOREX_RecordData()));
        return record ? ULong(RecorderManagerBackend::eResult_Ok) : ULong(RecorderManagerBackend::eResult_UnknownRecord);
    }
    ULong addBookmarks(Str deviceId, Str recordId, const KD_VRX::BookmarkItemSeq& items) override
    {
        crashIfAsked("addBookmarks");
        return editBookmarks(deviceId, recordId, fromItems(items), true);
    }
    ULong deleteBookmarks(Str deviceId, Str recordId, const KD_VRX::BookmarkItemSeq& items) override
    {
        crashIfAsked("deleteBookmarks");
        return editBookmarks(deviceId, recordId, fromItems(items), false);
    }
    ULong addHistory(Str deviceId, Str recordId, WStr entry) override
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId), text = fromWide(entry);
        ManagerServer* server = m_server;
        return server->onMain([server, d, r, text]() { return ULong(server->simulator()->AddHistory(d, r, text)); });
    }
    // The protocol has no rename: the comment is the record's name.
    ULong setRecordComment(Str deviceId, Str recordId, WStr comment) override
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId), name = fromWide(comment);
        ManagerServer* server = m_server;
        return server->onMain([server, d, r, name]() { return ULong(server->simulator()->RenameRecord(d, r, name)); });
    }
    ULong requestRecordDataDetail(Str deviceId, Str recordId) override
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId);
        ManagerServer* server = m_server;
        return server->onMain([server, d, r]() {
            auto backend = server->simulator()->Backend();
            return ULong(backend->ResyncRecord(vorex::RecordIdentifier(backend->GetSubSystem(), d, r)));
        });
    }
    Boolean deleteRecord(Str deviceId, Str recordId) override
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId);
        ManagerServer* server = m_server;
        return server->onMain([server, d, r]() { return server->simulator()->DeleteRecord(d, r); });
    }
    VRX_NOT_SERVED(ULong removeHistoryEntry(Str, Str, U64))
    VRX_NOT_SERVED(ULong copyRecord(Str, Str, CORBA::String_out, const KD_VRX::CopyRangeSeq&, WStr))
    VRX_NOT_SERVED(ULong setRecordDeletableFlag(Str, Str, Boolean))
    VRX_NOT_SERVED(ULong setDeviceTime(Str, U64))
    VRX_NOT_SERVED(ULong getOverviewSpectrumStreamed(Str, Str, U64, U64, U64, ULong, KD_VRX::SpectrumKind, Str, U16))

private:
    ULong editBookmarks(Str deviceId, Str recordId, const QVector<VOREX_XML::BookmarkEntry>& items, bool add)
    {
        const QString d = fromUtf8(deviceId), r = fromUtf8(recordId);
        ManagerServer* server = m_server;
        return server->onMain([server, d, r, items, add]() -> ULong {
            auto record = server->simulator()->Backend()->GetRecord(d, r);
            if (!record)
                return server->simulator()->Backend()->HasDevice(d) ? RecorderManagerBackend::eResult_UnknownRecord
                                                                    : RecorderManagerBackend::eResult_UnknownDevice;
            QVector<VOREX_XML::BookmarkEntry> bookmarks = record->GetBookmarkEntry();
            for (const VOREX_XML::BookmarkEntry& item : items) {
                if (add)
                    bookmarks.push_back(item);
                else
                    bookmarks.removeAll(item);
            }
            std::stable_sort(bookmarks.begin(), bookmarks.end(), [](const auto& a, const auto& b) {
                return a.GetTimestamp() < b.GetTimestamp();
            });
            return server->simulator()->SetBookmarks(d, r, bookmarks);
        });
    }

    ManagerServer* m_server;
};

class ChanServant : public POA_KD_VRX::IF_VRX_c_Chan
{
public:
    ChanServant(ManagerServer* server, int channel, const QString& name)
        : m_server(server), m_channel(channel), m_name(name)
    {
    }

    // bit 0: continuous; bits 8 to 31: time-out in seconds.
    void startRecording(ULong recordMode, WStr recordName, ULong sizeLimit) override
    {
        const QString name = fromWide(recordName);
        ManagerServer* server = m_server;
        const int channel = m_channel;
        const bool started = server->onMain([server, channel, name, recordMode, sizeLimit]() {
            RecorderManagerSimulator* sim = server->simulator();
            if (!sim->ChannelExists(channel) || !sim->IsConnected()
                || sim->RecordReplayAllModes(channel) != VOREX_XML::Admin::eRecordReplayAllModes_Stopped)
                return false;
            auto recordFlag = values::Tree::Instance()->FindValueAs<values::Value<bool>>(sim->ValuePath(channel, Keys::RecordFlag));
            if (recordFlag && !recordFlag->Get())
                return false;
            bool ok = true;
            server->asClient(server->channelClient(channel), [&]() {
                ValueBridge* bridge = server->bridge();
                if (!name.isEmpty())
                    bridge->write(sim->ValuePath(channel, Keys::RecordName), QStringLiteral("s"), name, server->clientWriter());
                const quint32 size = (recordMode & 1u) ? std::max<quint32>(sizeLimit, 1) : 0;
                bridge->write(sim->ValuePath(channel, Keys::FileSizeInKB), QStringLiteral("i"), QString::number(size),
                              server->clientWriter());
                bridge->write(sim->ValuePath(channel, Keys::RecordTimeout), QStringLiteral("i"),
                              QString::number(recordMode >> 8), server->clientWriter());
                ok = bridge->write(sim->ValuePath(channel, Keys::AllRecordReplayModes), QStringLiteral("e"),
                                   QString::number(VOREX_XML::Admin::eRecordReplayAllModes_Startrecord),
                                   server->clientWriter()) == ValueBridge::Written;
            });
            return ok;
        });
        if (!started)
            throw KD_VRX::IF_VRX_c_Chan::exChan(KD_VRX::IF_VRX_c_Chan::exChanCode_1, "the channel cannot record");
    }
    void stopRecording(WStr reason) override
    {
        const bool withdrawn = fromWide(reason) == QLatin1String("withdrawn");
        ManagerServer* server = m_server;
        const int channel = m_channel;
        const bool stopped = server->onMain([server, channel, withdrawn]() {
            RecorderManagerSimulator* sim = server->simulator();
            if (!sim->ChannelExists(channel))
                return false;
            const long key = withdrawn ? VOREX_XML::Admin::eRecordReplayAllModes_Stopped
                                       : VOREX_XML::Admin::eRecordReplayAllModes_Recordreplaystopped;
            bool ok = false;
            server->asClient(server->channelClient(channel), [&]() {
                ok = server->bridge()->write(sim->ValuePath(channel, Keys::AllRecordReplayModes), QStringLiteral("e"),
                                             QString::number(key), server->clientWriter()) == ValueBridge::Written;
            });
            return ok;
        });
        if (!stopped)
            throw KD_VRX::IF_VRX_c_Chan::exChan(KD_VRX::IF_VRX_c_Chan::exChanCode_1, "the channel cannot record");
    }
    char* getChannelID() override { return toNarrow(m_name); }

    // What a receiver channel tells the manager has no effect on the simulation.
    void errorOccured(KD_VRX::IF_VRX_c_Chan::ChannelErrorKind) override {}
    void removeChannel() override {}
    void removeChannelForced() override {}
    void setCallBackInterface(KD_VRX::IF_VRX_c_ChanMan_ptr) override {}
    void setDataRateClass(KD_VRX::DataRateClass) override {}
    void setRequestedSampleRate(U64, U16) override {}
    void setMURAVRegistration(Boolean, Boolean) override {}
    void setDataFormat(KD_VRX::DataFormat) override {}
    void setRecordFlag(Boolean) override {}
    void setReplayFlag(Boolean) override {}
    void setName(Str) override {}
    void DataTransferStarted() override {}
    void DataTransferStopped() override {}
    void DataTransferStopping() override {}
    void startReplaying(Str, Str, KD_VRX::DataRateClass, U64, U64, ULong) override {}
    void channelError(Str) override {}
    void setVorexDevices(const KD_VRX::StringSeqSeq&) override {}
    void setAdditionalDataRateClass(KD_VRX::DataRateClass) override {}

private:
    ManagerServer* m_server;
    const int m_channel;
    const QString m_name;
};

} // namespace

// ------------------------------------------------------------------ CallQueue

CallQueue::CallQueue(size_t limit) : m_limit(limit), m_thread([this]() { run(); }) {}

CallQueue::~CallQueue()
{
    stop();
}

bool CallQueue::post(std::function<void()> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping || m_tasks.size() >= m_limit)
        return false;
    m_tasks.push_back(std::move(task));
    if (!m_held)
        m_wake.notify_one();
    return true;
}

void CallQueue::hold()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held = true;
}

void CallQueue::release()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held = false;
    if (!m_tasks.empty())
        m_wake.notify_one();
}

void CallQueue::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_tasks.clear();
        m_wake.notify_one();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void CallQueue::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

// ------------------------------------------------------------------ subscriptions

struct ManagerServer::Subscription
{
    Subscription(CCO::Callback_ptr listener, const QString& client, const std::set<int>& channels)
        : callback(CCO::Callback::_duplicate(listener)), client(client), channels(channels)
    {
    }
    ~Subscription() { queue.stop(); }

    // False once the host failed to take a message: the subscription is over.
    bool send(CCO::NotificationType kind, const QString& text)
    {
        if (failed)
            return false;
        const std::string message = (QString::number(++sequence) + QLatin1Char('\t') + text).toStdString();
        CCO::Callback_ptr target = callback.in();
        std::atomic<bool>* failedFlag = &failed;
        if (!queue.post([target, kind, message, failedFlag]() {
                if (*failedFlag)
                    return;
                try {
                    target->notify(kind, message.c_str());
                } catch (const CORBA::Exception&) {
                    *failedFlag = true;
                }
            }))
            failed = true;
        return !failed;
    }

    CCO::Callback_var callback;
    const QString client;
    const std::set<int> channels;
    quint64 sequence = 0;
    std::atomic<bool> failed{false};
    CallQueue queue{kSubscriptionQueue};
};

// ------------------------------------------------------------------ ManagerServer

ManagerServer::ManagerServer(CORBA::ORB_ptr orb, RecorderManagerSimulator* simulator, QObject* parent)
    : QObject(parent), m_orb(CORBA::ORB::_duplicate(orb)), m_pSimulator(simulator), m_pClientWriter(new NoEcho)
{
    QStringList channels, replayTimes;
    for (int i = 0; i < simulator->ChannelCount(); ++i) {
        channels << simulator->ChannelPath(i);
        replayTimes << simulator->ReplayTimePath(i);
    }
    m_bridge.reset(new ValueBridge(channels, replayTimes));
}

ManagerServer::~ManagerServer()
{
    shutdown();
}

namespace {
const QEvent::Type kMainWorkEvent = static_cast<QEvent::Type>(QEvent::User + 0x4d57);
}

void ManagerServer::postToMain(std::function<void()> work)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_mainMutex);
        wake = m_mainWork.empty();
        m_mainWork.push_back(std::move(work));
    }
    if (wake)
        QCoreApplication::postEvent(this, new QEvent(kMainWorkEvent));
}

bool ManagerServer::event(QEvent* e)
{
    if (e->type() != kMainWorkEvent)
        return QObject::event(e);
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(m_mainMutex);
        work.swap(m_mainWork);
    }
    // One call's changes go out to each host in one go, after the call's
    // work: a wake-up per changed value would compete with the answer.
    for (auto& s : m_subscriptions)
        s.second->queue.hold();
    for (auto& w : work)
        w();
    for (auto& s : m_subscriptions)
        s.second->queue.release();
    return true;
}

CORBA::Object_ptr ManagerServer::activate()
{
    CORBA::Object_var object = m_orb->resolve_initial_references("omniINSPOA");
    m_insPoa = PortableServer::POA::_narrow(object);

    const auto add = [this](const QString& id, PortableServer::ServantBase* servant) { addServant(id, servant); };
    add(QStringLiteral("CCO"), new CcoServant(this));
    add(QStringLiteral("VorexManager"), new VrxServant(this));
    add(QStringLiteral("Admin"), new AdminServant(this));
    for (int i = 0; i < m_pSimulator->ChannelCount(); ++i) {
        const QString name = m_bridge->channelName(i);
        add(QStringLiteral("Replay/") + name, new ReplayServant(this, name));
        add(QStringLiteral("Chan/") + name, new ChanServant(this, i, name));
    }
    PortableServer::POAManager_var(m_insPoa->the_POAManager())->activate();

    CORBA::Object_var root = reference("VorexManager");
    registerObject("VorexManager", root);

    m_bridge->start([this](const ValueEvent& event) { valueChanged(event); });
    auto* events = VorexCommon::RecorderManagerEvents::Instance();
    connect(events, &VorexCommon::RecorderManagerEvents::si_recordChanged, this,
            [this](const QString& d, const QString& r, bool) { recordChanged(d, r, false); });
    connect(events, &VorexCommon::RecorderManagerEvents::si_recordDeleted, this,
            [this](const QString& d, const QString& r) { recordChanged(d, r, true); });
    connect(events, &VorexCommon::RecorderManagerEvents::si_deviceChanged, this, &ManagerServer::deviceChanged);
    // The backend keeps every command for the tests' transcripts; a
    // long-running manager has no use for them.
    m_pHousekeeping = new QTimer(this);
    connect(m_pHousekeeping, &QTimer::timeout, this, [this]() { m_pSimulator->Backend()->TakeCommands(); });
    m_pHousekeeping->start(10000);
    return reference("CCO");
}

void ManagerServer::shutdown()
{
    if (m_bStopping.exchange(true))
        return;
    if (m_pHousekeeping)
        m_pHousekeeping->stop();
    disconnect(VorexCommon::RecorderManagerEvents::Instance(), nullptr, this, nullptr);
    m_bridge->stop();
    m_subscriptions.clear();
    m_hostQueues.clear();
    std::lock_guard<std::mutex> lock(m_registryMutex);
    m_registry.clear();
}

void ManagerServer::addServant(const QString& id, PortableServer::ServantBase* servant)
{
    PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(id.toUtf8().constData());
    m_insPoa->activate_object_with_id(oid, servant);
    servant->_remove_ref(); // the POA owns it
}

void ManagerServer::keepCommands()
{
    if (m_pHousekeeping)
        m_pHousekeeping->stop();
}

CORBA::Object_ptr ManagerServer::reference(const char* id) const
{
    PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(id);
    return m_insPoa->id_to_reference(oid);
}

void ManagerServer::report(const QString& text)
{
    std::fprintf(stderr, "vrxrtb-manager: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    std::vector<quint64> failed;
    for (auto& s : m_subscriptions)
        if (!s.second->send(CCO::NotificationType_0, text))
            failed.push_back(s.first);
    dropSubscriptions(failed);
}

void ManagerServer::dropSubscriptions(const std::vector<quint64>& ids)
{
    for (quint64 id : ids) {
        auto it = m_subscriptions.find(id);
        if (it == m_subscriptions.end())
            continue;
        std::fprintf(stderr, "vrxrtb-manager: subscription of %s dropped: the host does not take notifications\n",
                     it->second->client.toLocal8Bit().constData());
        unsubscribe(id);
    }
}

void ManagerServer::setChannelClient(int channel, const QString& client)
{
    m_channelClients[channel] = client;
}

QString ManagerServer::channelClient(int channel) const
{
    auto it = m_channelClients.find(channel);
    return it == m_channelClients.end() ? QString() : it->second;
}

void ManagerServer::asClient(const QString& client, const std::function<void()>& write)
{
    m_bridge->setOrigin(client);
    write();
    m_bridge->setOrigin(QString());
}

quint64 ManagerServer::subscribe(CCO::Callback_ptr listener, const QString& client, const std::set<int>& channels)
{
    const quint64 id = m_nNextSubscription++;
    auto subscription = std::make_unique<Subscription>(listener, client, channels);
    for (int channel : channels) {
        for (const ValueEvent& event : m_bridge->snapshot(channel))
            subscription->send(CCO::NotificationType_1, event.text);
        subscription->send(CCO::NotificationType_3, m_bridge->channelName(channel));
    }
    m_subscriptions[id] = std::move(subscription);
    const QByteArray key = "Registration/" + QByteArray::number(id);
    PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(key.constData());
    auto* servant = new RegistrationServant(this, id);
    m_insPoa->activate_object_with_id(oid, servant);
    servant->_remove_ref();
    return id;
}

void ManagerServer::unsubscribe(quint64 id)
{
    m_subscriptions.erase(id);
    const QByteArray key = "Registration/" + QByteArray::number(id);
    PortableServer::ObjectId_var oid = PortableServer::string_to_ObjectId(key.constData());
    try {
        m_insPoa->deactivate_object(oid);
    } catch (const PortableServer::POA::ObjectNotActive&) {
    }
}

void ManagerServer::valueChanged(const ValueEvent& event)
{
    std::vector<quint64> failed;
    for (auto& entry : m_subscriptions) {
        Subscription& s = *entry.second;
        bool alive = !s.failed;
        if (alive && s.channels.count(event.channel) && (event.origin.isEmpty() || event.origin != s.client))
            alive = s.send(event.deleted ? CCO::NotificationType_2 : CCO::NotificationType_1, event.text);
        if (!alive)
            failed.push_back(entry.first);
    }
    dropSubscriptions(failed);
}

void ManagerServer::toHosts(const char* suffix, const std::function<void(CORBA::Object_ptr)>& call)
{
    std::vector<std::pair<QString, CORBA::Object_var>> targets;
    {
        std::lock_guard<std::mutex> lock(m_registryMutex);
        const std::string tail = std::string("/") + suffix;
        for (const auto& entry : m_registry) {
            const std::string& name = entry.first;
            if (name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
                targets.emplace_back(QString::fromStdString(name.substr(0, name.size() - tail.size())),
                                     CORBA::Object::_duplicate(entry.second.in()));
        }
    }
    for (auto& target : targets) {
        auto& queue = m_hostQueues[target.first];
        if (!queue)
            queue.reset(new CallQueue(kHostQueue));
        CORBA::Object_ptr object = target.second._retn();
        const QString client = target.first;
        // A host that lost messages reads the records again when it reconnects.
        queue->post([object, call, client]() {
            CORBA::Object_var held = object;
            try {
                call(held);
            } catch (const CORBA::Exception& e) {
                std::fprintf(stderr, "vrxrtb-manager: a status callback of %s failed (%s)\n",
                             client.toLocal8Bit().constData(), e._name());
            }
        });
    }
}

void ManagerServer::recordChanged(const QString& deviceId, const QString& recordId, bool deleted)
{
    auto record = deleted ? nullptr : m_pSimulator->Backend()->GetRecord(deviceId, recordId);
    if (!deleted && !record)
        return;
    const KD_VRX::RecordState state =
        deleted ? KD_VRX::RecordState_0
                : KD_VRX::RecordState(std::clamp(record->GetRecordStatus(), 0, int(KD_VRX::RecordState_8)));
    const std::string d = deviceId.toStdString(), r = recordId.toStdString();
    const std::string name = record ? record->GetRecordName().toStdString() : std::string();
    toHosts("RecordStateChangeCallback", [d, r, name, state](CORBA::Object_ptr object) {
        KD_VRX::IF_RecordStateChangeCallback_var callback = KD_VRX::IF_RecordStateChangeCallback::_narrow(object);
        if (!CORBA::is_nil(callback))
            callback->NotifyStateChange(d.c_str(), r.c_str(), name.c_str(), state);
    });
}

void ManagerServer::deviceChanged(const QString& deviceId)
{
    const VorexCommon::DeviceInfo d = m_pSimulator->Backend()->GetDevice(deviceId);
    const std::string id = deviceId.toStdString();
    const std::string status = d.deviceId.isEmpty()
                                   ? std::string("removed")
                                   : QStringLiteral("free=%1 total=%2").arg(d.freeSpace).arg(d.totalSpace).toStdString();
    toHosts("VorexStatusCallback", [id, status](CORBA::Object_ptr object) {
        KD_VRX::IF_VorexStatusCallback_var callback = KD_VRX::IF_VorexStatusCallback::_narrow(object);
        if (!CORBA::is_nil(callback))
            callback->NotifyCStorageStatus(id.c_str(), status.c_str());
    });
}

void ManagerServer::registerObject(const std::string& name, CORBA::Object_ptr object)
{
    std::lock_guard<std::mutex> lock(m_registryMutex);
    m_registry[name] = CORBA::Object::_duplicate(object);
}

CORBA::Object_ptr ManagerServer::resolve(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_registryMutex);
    auto it = m_registry.find(name);
    return it == m_registry.end() ? CORBA::Object::_nil() : CORBA::Object::_duplicate(it->second.in());
}

CORBA::Object_ptr ManagerServer::unregisterObject(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_registryMutex);
    auto it = m_registry.find(name);
    if (it == m_registry.end())
        return CORBA::Object::_nil();
    CORBA::Object_ptr object = it->second._retn();
    m_registry.erase(it);
    return object;
}

} // namespace VorexSim
