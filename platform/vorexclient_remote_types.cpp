#include "vorexclient_remote_p.h"

#include <omniORB4/omniORB.h>

#include <algorithm>
#include <QRegularExpression>

#include <mutex>

// TypeCodes and conversions of the remote link. Everything goes through
// DynAny: without typed stubs there is no other portable way to put an
// enumeration or a structure into an Any.

namespace VorexRemote {

namespace {

std::mutex g_orbMutex;
CORBA::ORB_var g_orb;
PortableServer::POA_var g_poa;
DynamicAny::DynAnyFactory_var g_factory;

DynamicAny::DynAnyFactory_ptr Factory()
{
    Orb();
    return g_factory.in();
}

CORBA::TypeCode_ptr enumTc(const char* id, const char* name, const char* prefix, int count)
{
    CORBA::EnumMemberSeq members;
    members.length(count);
    for (int i = 0; i < count; ++i)
        members[i] = CORBA::string_dup(QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(i).toLatin1().constData());
    return Orb()->create_enum_tc(id, name, members);
}

struct Member
{
    const char* name;
    CORBA::TypeCode_ptr type;
};

CORBA::StructMemberSeq memberSeq(std::initializer_list<Member> list)
{
    CORBA::StructMemberSeq members;
    members.length(static_cast<CORBA::ULong>(list.size()));
    CORBA::ULong i = 0;
    for (const Member& m : list) {
        members[i].name = CORBA::string_dup(m.name);
        members[i].type = CORBA::TypeCode::_duplicate(m.type);
        ++i;
    }
    return members;
}

CORBA::TypeCode_ptr structTc(const char* id, const char* name, std::initializer_list<Member> list)
{
    return Orb()->create_struct_tc(id, name, memberSeq(list));
}

CORBA::TypeCode_ptr exceptionTc(const char* id, const char* name, std::initializer_list<Member> list)
{
    return Orb()->create_exception_tc(id, name, memberSeq(list));
}

CORBA::TypeCode_ptr seqTc(CORBA::TypeCode_ptr element)
{
    return Orb()->create_sequence_tc(0, element);
}

QString fromW(const CORBA::WChar* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// Reads member `index` of a constructed DynAny.
DynamicAny::DynAny_ptr member(DynamicAny::DynAny_ptr dyn, CORBA::ULong index)
{
    dyn->seek(static_cast<CORBA::Long>(index));
    return dyn->current_component();
}

QString memberString(DynamicAny::DynAny_ptr dyn, CORBA::ULong index)
{
    DynamicAny::DynAny_var c = member(dyn, index);
    CORBA::String_var s = c->get_string();
    return QString::fromUtf8(s.in());
}

QString memberWString(DynamicAny::DynAny_ptr dyn, CORBA::ULong index)
{
    DynamicAny::DynAny_var c = member(dyn, index);
    CORBA::WString_var s = c->get_wstring();
    return fromW(s.in());
}

quint64 memberULongLong(DynamicAny::DynAny_ptr dyn, CORBA::ULong index)
{
    DynamicAny::DynAny_var c = member(dyn, index);
    return c->get_ulonglong();
}

CORBA::ULong memberEnum(DynamicAny::DynAny_ptr dyn, CORBA::ULong index)
{
    DynamicAny::DynAny_var c = member(dyn, index);
    DynamicAny::DynEnum_var e = DynamicAny::DynEnum::_narrow(c);
    return e->get_as_ulong();
}

// Timed entries (bookmarks, history): a sequence of {unsigned long long, wstring}.
template <typename Entry>
QVector<Entry> timedEntries(DynamicAny::DynAny_ptr seq)
{
    QVector<Entry> out;
    DynamicAny::DynSequence_var s = DynamicAny::DynSequence::_narrow(seq);
    const CORBA::ULong n = s->get_length();
    for (CORBA::ULong i = 0; i < n; ++i) {
        DynamicAny::DynAny_var item = member(s, i);
        out.push_back(Entry(memberULongLong(item, 0), memberWString(item, 1)));
    }
    return out;
}

} // namespace

CORBA::ORB_ptr Orb()
{
    std::lock_guard<std::mutex> lock(g_orbMutex);
    if (CORBA::is_nil(g_orb)) {
        // The ORB's sequence-length check is against giopMaxMsgSize; record
        // lists stay well under 1 MiB. One thread per connection keeps the
        // manager's oneway notifications in the order they were sent.
        const char* options[][2] = {{"giopMaxMsgSize", "1048576"},
                                    {"clientCallTimeOutPeriod", "2000"},
                                    {"clientConnectTimeOutPeriod", "1000"},
                                    {"maxServerThreadPerConnection", "1"},
                                    {nullptr, nullptr}};
        int argc = 0;
        g_orb = CORBA::ORB_init(argc, nullptr, "omniORB4", options);
        CORBA::Object_var poaObj = g_orb->resolve_initial_references("RootPOA");
        g_poa = PortableServer::POA::_narrow(poaObj);
        PortableServer::POAManager_var manager = g_poa->the_POAManager();
        manager->activate();
        CORBA::Object_var factoryObj = g_orb->resolve_initial_references("DynAnyFactory");
        g_factory = DynamicAny::DynAnyFactory::_narrow(factoryObj);
    }
    return g_orb.in();
}

PortableServer::POA_ptr RootPoa()
{
    Orb();
    return g_poa.in();
}

void ShutdownOrbNow()
{
    std::lock_guard<std::mutex> lock(g_orbMutex);
    if (CORBA::is_nil(g_orb))
        return;
    g_factory = DynamicAny::DynAnyFactory::_nil();
    g_poa = PortableServer::POA::_nil();
    try {
        g_orb->destroy();
    } catch (const CORBA::Exception&) {
    }
    g_orb = CORBA::ORB::_nil();
}

const TypeCodes& TypeCodes::Get()
{
    static const TypeCodes* types = [] {
        auto* t = new TypeCodes;
        t->notificationType = enumTc("IDL:CCO/NotificationType:1.0", "NotificationType", "NotificationType", 5);
        t->redundancyType = enumTc("IDL:CCO/RedundancyType:1.0", "RedundancyType", "RedundancyType", 3);
        t->resolveType = enumTc("IDL:CCO/ResolveType:1.0", "ResolveType", "ResolveType", 4);
        CORBA::TypeCode_var filter = structTc("IDL:CCO/NotificationFilter:1.0", "NotificationFilter",
                                              {{"kind", t->notificationType}, {"source", CORBA::_tc_string}});
        t->notificationFilterSeq = seqTc(filter);
        t->ccoStringSeq = seqTc(CORBA::_tc_string);
        t->receiverKind = enumTc("IDL:KD_VRX/ReceiverKind:1.0", "ReceiverKind", "ReceiverKind", 5);
        t->dataRateClass = enumTc("IDL:KD_VRX/DataRateClass:1.0", "DataRateClass", "DataRateClass", 16);
        t->dataFormat = enumTc("IDL:KD_VRX/DataFormat:1.0", "DataFormat", "DataFormat", 24);
        t->recordState = enumTc("IDL:KD_VRX/RecordState:1.0", "RecordState", "RecordState", 9);
        t->exGenCode = enumTc("IDL:KD_VRX/exGenCode:1.0", "exGenCode", "exGenCode", 5);
        t->recordSegment = structTc("IDL:KD_VRX/RecordSegment:1.0", "RecordSegment",
                                    {{"startTime", CORBA::_tc_ulonglong}, {"stopTime", CORBA::_tc_ulonglong},
                                     {"sizeInBytes", CORBA::_tc_ulonglong}, {"fileNumber", CORBA::_tc_ulong},
                                     {"segmentFlags", CORBA::_tc_ulong}});
        t->bookmarkItem = structTc("IDL:KD_VRX/BookmarkItem:1.0", "BookmarkItem",
                                   {{"time", CORBA::_tc_ulonglong}, {"label", CORBA::_tc_wstring}});
        t->historyItem = structTc("IDL:KD_VRX/HistoryItem:1.0", "HistoryItem",
                                  {{"time", CORBA::_tc_ulonglong}, {"entry", CORBA::_tc_wstring}});
        t->stringSeq = seqTc(CORBA::_tc_string);
        t->ulongSeq = seqTc(CORBA::_tc_ulong);
        CORBA::TypeCode_var setting = structTc("IDL:KD_VRX/ReceiverSetting:1.0", "ReceiverSetting",
                                               {{"kind", t->receiverKind}, {"receiverIndex", CORBA::_tc_ulong},
                                                {"inputIndex", CORBA::_tc_ulong}, {"frequency", CORBA::_tc_ulonglong}});
        CORBA::TypeCode_var settingNG = structTc("IDL:KD_VRX/ReceiverSettingNG:1.0", "ReceiverSettingNG",
                                                 {{"kind", t->receiverKind}, {"receiverName", CORBA::_tc_string},
                                                  {"inputIndex", CORBA::_tc_ulong}, {"frequency", CORBA::_tc_ulonglong}});
        t->receiverSettingSeq = seqTc(setting);
        t->receiverSettingNGSeq = seqTc(settingNG);
        t->bookmarkItemSeq = seqTc(t->bookmarkItem);
        t->historyItemSeq = seqTc(t->historyItem);
        CORBA::TypeCode_var segments = seqTc(t->recordSegment);
        t->recordInfo = structTc("IDL:KD_VRX/RecordInfo:1.0", "RecordInfo",
                                 {{"recordId", CORBA::_tc_string}, {"recordName", CORBA::_tc_wstring},
                                  {"startTime", CORBA::_tc_ulonglong}, {"stopTime", CORBA::_tc_ulonglong},
                                  {"sizeInBytes", CORBA::_tc_ulonglong}, {"state", t->recordState},
                                  {"format", t->dataFormat}, {"sampleRate", CORBA::_tc_ulonglong},
                                  {"centerFrequency", CORBA::_tc_ulonglong}, {"bandwidth", CORBA::_tc_ulonglong},
                                  {"rate", t->dataRateClass}, {"deletable", CORBA::_tc_boolean},
                                  {"segments", segments}, {"bookmarks", t->bookmarkItemSeq},
                                  {"history", t->historyItemSeq}});
        t->recordInfoSeq = seqTc(t->recordInfo);
        t->exGen = exceptionTc("IDL:KD_VRX/exGen:1.0", "exGen", {{"code", t->exGenCode}, {"text", CORBA::_tc_string}});
        CORBA::TypeCode_var chanCode = enumTc("IDL:KD_VRX/IF_VRX_c_Chan/exChanCode:1.0", "exChanCode", "exChanCode", 6);
        t->exChan = exceptionTc("IDL:KD_VRX/IF_VRX_c_Chan/exChan:1.0", "exChan",
                                {{"code", chanCode}, {"text", CORBA::_tc_string}});
        CORBA::TypeCode_var vrxCode = enumTc("IDL:KD_VRX/IF_VRX_c_VRX/exVRXCode:1.0", "exVRXCode", "exVRXCode", 4);
        t->exVRX = exceptionTc("IDL:KD_VRX/IF_VRX_c_VRX/exVRX:1.0", "exVRX",
                               {{"code", vrxCode}, {"text", CORBA::_tc_string}});
        CORBA::TypeCode_var adminCode = enumTc("IDL:KD_VRX/IF_VOREX_Admin/exAdminCode:1.0", "exAdminCode", "exAdminCode", 1);
        t->exAdmin = exceptionTc("IDL:KD_VRX/IF_VOREX_Admin/exAdmin:1.0", "exAdmin",
                                 {{"code", adminCode}, {"text", CORBA::_tc_string}});
        CORBA::TypeCode_var chanManCode =
            enumTc("IDL:KD_VRX/IF_VRX_c_ChanMan/exChanManCode:1.0", "exChanManCode", "exChanManCode", 9);
        t->exChanMan = exceptionTc("IDL:KD_VRX/IF_VRX_c_ChanMan/exChanMan:1.0", "exChanMan",
                                   {{"code", chanManCode}, {"text", CORBA::_tc_string}});
        t->invalidName = exceptionTc("IDL:omg.org/CosNaming/NamingContext/InvalidName:1.0", "InvalidName", {});
        t->alreadyBound = exceptionTc("IDL:omg.org/CosNaming/NamingContext/AlreadyBound:1.0", "AlreadyBound", {});
        return t;
    }();
    return *types;
}

CORBA::Any EnumAny(CORBA::TypeCode_ptr tc, CORBA::ULong value)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any_from_type_code(tc);
    DynamicAny::DynEnum_var e = DynamicAny::DynEnum::_narrow(dyn);
    e->set_as_ulong(value);
    CORBA::Any_var any = e->to_any();
    e->destroy();
    return any.in();
}

CORBA::ULong EnumFromAny(const CORBA::Any& any)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any(any);
    DynamicAny::DynEnum_var e = DynamicAny::DynEnum::_narrow(dyn);
    const CORBA::ULong value = e->get_as_ulong();
    dyn->destroy();
    return value;
}

CORBA::Any DefaultAny(CORBA::TypeCode_ptr tc)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any_from_type_code(tc);
    CORBA::Any_var any = dyn->to_any();
    dyn->destroy();
    return any.in();
}

CORBA::Any BookmarksToAny(const QVector<VOREX_XML::BookmarkEntry>& entries)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any_from_type_code(TypeCodes::Get().bookmarkItemSeq);
    DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(dyn);
    seq->set_length(static_cast<CORBA::ULong>(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        DynamicAny::DynAny_var item = member(seq, static_cast<CORBA::ULong>(i));
        item->seek(0);
        item->insert_ulonglong(entries[i].GetTimestamp());
        item->seek(1);
        item->insert_wstring(entries[i].GetBookmark().toStdWString().c_str());
    }
    CORBA::Any_var any = seq->to_any();
    seq->destroy();
    return any.in();
}

QVector<VOREX_XML::BookmarkEntry> BookmarksFromAny(const CORBA::Any& any)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any(any);
    auto out = timedEntries<VOREX_XML::BookmarkEntry>(dyn);
    dyn->destroy();
    return out;
}

CORBA::Any RecordToAny(const VOREX_XML::VOREX_RecordData& r)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any_from_type_code(TypeCodes::Get().recordInfo);
    dyn->seek(0);
    dyn->insert_string(r.GetRecordID().toUtf8().constData());
    dyn->seek(1);
    dyn->insert_wstring(r.GetRecordName().toStdWString().c_str());
    dyn->seek(2);
    dyn->insert_ulonglong(r.GetStartTime());
    dyn->seek(3);
    dyn->insert_ulonglong(r.GetStopTime());
    dyn->seek(4);
    dyn->insert_ulonglong(r.GetRecordSize());
    const auto setEnum = [&](CORBA::Long index, CORBA::ULong value) {
        DynamicAny::DynAny_var c = member(dyn, static_cast<CORBA::ULong>(index));
        DynamicAny::DynEnum_var e = DynamicAny::DynEnum::_narrow(c);
        e->set_as_ulong(value);
    };
    setEnum(5, static_cast<CORBA::ULong>(r.GetRecordStatus()));
    setEnum(6, static_cast<CORBA::ULong>(r.GetDataFormat()));
    setEnum(10, static_cast<CORBA::ULong>(r.GetDataRate()));
    const auto setTimed = [&](CORBA::Long index, const QVector<QPair<quint64, QString>>& entries) {
        DynamicAny::DynAny_var c = member(dyn, static_cast<CORBA::ULong>(index));
        DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(c);
        seq->set_length(static_cast<CORBA::ULong>(entries.size()));
        for (int i = 0; i < entries.size(); ++i) {
            DynamicAny::DynAny_var item = member(seq, static_cast<CORBA::ULong>(i));
            item->seek(0);
            item->insert_ulonglong(entries[i].first);
            item->seek(1);
            item->insert_wstring(entries[i].second.toStdWString().c_str());
        }
    };
    QVector<QPair<quint64, QString>> bookmarks, history;
    for (const auto& b : r.GetBookmarkEntry())
        bookmarks.push_back({b.GetTimestamp(), b.GetBookmark()});
    for (const auto& h : r.GetHistory())
        history.push_back({h.GetTimestamp(), h.GetText()});
    setTimed(13, bookmarks);
    setTimed(14, history);
    // The index travels as segments: entry i is segment i, from its time to
    // the next entry's (the record's stop for the last), its size the
    // distance to the next entry's offset.
    const QVector<VOREX_XML::IndexEntry> index = r.GetIndexEntry();
    DynamicAny::DynAny_var segmentsAny = member(dyn, 12);
    DynamicAny::DynSequence_var segments = DynamicAny::DynSequence::_narrow(segmentsAny);
    segments->set_length(static_cast<CORBA::ULong>(index.size()));
    for (int i = 0; i < index.size(); ++i) {
        const bool last = i + 1 == index.size();
        const quint64 stop = last ? r.GetStopTime() : index[i + 1].GetTimestamp();
        const quint64 end = last ? r.GetRecordSize() : index[i + 1].GetRecordOffset();
        DynamicAny::DynAny_var item = member(segments, static_cast<CORBA::ULong>(i));
        item->seek(0);
        item->insert_ulonglong(index[i].GetTimestamp());
        item->seek(1);
        item->insert_ulonglong(std::max(stop, index[i].GetTimestamp()));
        item->seek(2);
        item->insert_ulonglong(end > index[i].GetRecordOffset() ? end - index[i].GetRecordOffset() : 0);
        item->seek(3);
        item->insert_ulong(static_cast<CORBA::ULong>(i));
        item->seek(4);
        item->insert_ulong(0);
    }
    CORBA::Any_var any = dyn->to_any();
    dyn->destroy();
    return any.in();
}

namespace {
VOREX_XML::VOREX_RecordData recordFromDyn(DynamicAny::DynAny_ptr dyn)
{
    VOREX_XML::VOREX_RecordData r(memberString(dyn, 0), memberWString(dyn, 1));
    r.SetStartTime(memberULongLong(dyn, 2));
    r.SetStopTime(memberULongLong(dyn, 3));
    r.SetRecordSize(memberULongLong(dyn, 4));
    r.SetStopPosition(r.GetRecordSize());
    r.SetRecordStatus(static_cast<int>(memberEnum(dyn, 5)));
    r.SetDataFormat(static_cast<int>(memberEnum(dyn, 6)));
    r.SetDataRate(static_cast<VOREX_XML::VOREX_RecordData::DataRate>(memberEnum(dyn, 10) & 15));
    DynamicAny::DynAny_var bookmarks = member(dyn, 13);
    r.SetBookmarkEntry(timedEntries<VOREX_XML::BookmarkEntry>(bookmarks));
    DynamicAny::DynAny_var history = member(dyn, 14);
    r.SetHistory(timedEntries<VOREX_XML::HistoryEntry>(history));
    DynamicAny::DynAny_var segmentsAny = member(dyn, 12);
    DynamicAny::DynSequence_var segments = DynamicAny::DynSequence::_narrow(segmentsAny);
    QVector<VOREX_XML::IndexEntry> index;
    quint64 offset = 0;
    for (CORBA::ULong i = 0; i < segments->get_length(); ++i) {
        DynamicAny::DynAny_var item = member(segments, i);
        index.push_back(VOREX_XML::IndexEntry(memberULongLong(item, 0), offset));
        offset += memberULongLong(item, 2);
    }
    r.SetIndexEntry(index);
    return r;
}
} // namespace

VOREX_XML::VOREX_RecordData RecordFromAny(const CORBA::Any& any)
{
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any(any);
    VOREX_XML::VOREX_RecordData r = recordFromDyn(dyn);
    dyn->destroy();
    return r;
}

std::vector<VOREX_XML::VOREX_RecordData> RecordsFromAny(const CORBA::Any& any)
{
    std::vector<VOREX_XML::VOREX_RecordData> out;
    DynamicAny::DynAny_var dyn = Factory()->create_dyn_any(any);
    DynamicAny::DynSequence_var seq = DynamicAny::DynSequence::_narrow(dyn);
    const CORBA::ULong n = seq->get_length();
    for (CORBA::ULong i = 0; i < n; ++i) {
        DynamicAny::DynAny_var item = member(seq, i);
        out.push_back(recordFromDyn(item));
    }
    dyn->destroy();
    return out;
}

bool ParseSpace(const QString& text, quint64& freeBytes, quint64& totalBytes)
{
    bool haveFree = false, haveTotal = false;
    for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const int eq = word.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        bool ok = false;
        const quint64 v = word.mid(eq + 1).toULongLong(&ok);
        if (!ok)
            continue;
        if (word.leftRef(eq) == QLatin1String("free")) {
            freeBytes = v;
            haveFree = true;
        } else if (word.leftRef(eq) == QLatin1String("total")) {
            totalBytes = v;
            haveTotal = true;
        }
    }
    return haveFree && haveTotal;
}

} // namespace VorexRemote
