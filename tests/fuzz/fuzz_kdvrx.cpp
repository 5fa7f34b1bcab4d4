// Every type of the recorder manager protocol from arbitrary bytes: the
// enumerations, structures, sequences and user exceptions of KD_VRX.
#include "fuzzsupport.h"

#include "vorexmanager.hh"

namespace {

using namespace KD_VRX;

RecordSegment segment(CORBA::ULongLong start)
{
    RecordSegment s;
    s.startTime = start;
    s.stopTime = start + 60000000;
    s.sizeInBytes = 512u * 1024u * 1024u;
    s.fileNumber = 3;
    s.segmentFlags = 1;
    return s;
}

RecordInfo recordInfo()
{
    RecordInfo r;
    r.recordId = CORBA::string_dup("REC-0042");
    r.recordName = CORBA::wstring_dup(L"Kanal 7 \u00fcberwachung \u20ac");
    r.startTime = 1700000000000000ull;
    r.stopTime = 1700000060000000ull;
    r.sizeInBytes = 1u << 30;
    r.state = RecordState_4;
    r.format = DataFormat_7;
    r.sampleRate = 2048000;
    r.centerFrequency = 145500000;
    r.bandwidth = 25000;
    r.rate = DataRateClass_15;
    r.deletable = true;
    r.segments.length(2);
    r.segments[0] = segment(r.startTime);
    r.segments[1] = segment(r.startTime + 60000000);
    r.bookmarks.length(1);
    r.bookmarks[0].time = r.startTime + 1000000;
    r.bookmarks[0].label = CORBA::wstring_dup(L"start of call");
    r.history.length(2);
    r.history[0].time = r.startTime;
    r.history[0].entry = CORBA::wstring_dup(L"recorded");
    r.history[1].time = r.stopTime;
    r.history[1].entry = CORBA::wstring_dup(L"");
    return r;
}

template <class T>
void seedOf(cdrStream& out, const T& v)
{
    v >>= out;
}

const std::vector<vrxfuzz::Decoder>& table()
{
    static const std::vector<vrxfuzz::Decoder> t = {
        VRXFUZZ_DECODER(ReceiverKind, [](cdrStream& o) { seedOf(o, ReceiverKind_4); }),
        VRXFUZZ_DECODER(DataRateClass, [](cdrStream& o) { seedOf(o, DataRateClass_15); }),
        VRXFUZZ_DECODER(DataFormat, [](cdrStream& o) { seedOf(o, DataFormat_23); }),
        VRXFUZZ_DECODER(RecordState, [](cdrStream& o) { seedOf(o, RecordState_8); }),
        VRXFUZZ_DECODER(SpectrumKind, [](cdrStream& o) { seedOf(o, SpectrumKind_4); }),
        VRXFUZZ_DECODER(exGenCode, nullptr),
        VRXFUZZ_DECODER(IF_VOREX_Admin::exAdminCode, nullptr),
        VRXFUZZ_DECODER(IF_VRX_c_ChanMan::exChanManCode, nullptr),
        VRXFUZZ_DECODER(IF_VRX_c_Chan::ChannelErrorKind, [](cdrStream& o) { seedOf(o, IF_VRX_c_Chan::ChannelErrorKind_3); }),
        VRXFUZZ_DECODER(IF_VRX_c_Chan::exChanCode, nullptr),
        VRXFUZZ_DECODER(IF_VRX_c_VRX::exVRXCode, nullptr),
        VRXFUZZ_DECODER(ReceiverSetting, [](cdrStream& o) {
            ReceiverSetting s;
            s.kind = ReceiverKind_2;
            s.receiverIndex = 1;
            s.inputIndex = 4;
            s.frequency = 145500000;
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(ReceiverSettingNG, [](cdrStream& o) {
            ReceiverSettingNG s;
            s.kind = ReceiverKind_1;
            s.receiverName = CORBA::string_dup("RX-2");
            s.inputIndex = 0;
            s.frequency = 433920000;
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(RecordSegment, [](cdrStream& o) { seedOf(o, segment(17)); }),
        VRXFUZZ_DECODER(BookmarkItem, [](cdrStream& o) {
            BookmarkItem b;
            b.time = 99;
            b.label = CORBA::wstring_dup(L"Marke \u00e4");
            seedOf(o, b);
        }),
        VRXFUZZ_DECODER(HistoryItem, [](cdrStream& o) {
            HistoryItem h;
            h.time = 5;
            h.entry = CORBA::wstring_dup(L"comment");
            seedOf(o, h);
        }),
        VRXFUZZ_DECODER(CopyRange, [](cdrStream& o) {
            CopyRange c;
            c.startTime = 1;
            c.stopTime = 2;
            seedOf(o, c);
        }),
        VRXFUZZ_DECODER(RecordMetaData, [](cdrStream& o) {
            RecordMetaData m;
            m.deviceId = CORBA::string_dup("DEV-1");
            m.recordId = CORBA::string_dup("REC-0042");
            m.recordName = CORBA::wstring_dup(L"Kanal 7");
            m.startTime = 10;
            m.stopTime = 20;
            m.format = DataFormat_3;
            m.rate = DataRateClass_9;
            m.sampleRate = m.centerFrequency = m.bandwidth = 1000;
            m.sizeInBytes = m.sampleCount = m.creationTime = 7;
            m.bitsPerSample = 16;
            m.channelCount = 2;
            m.firstIndex = 0;
            m.lastIndex = 6;
            seedOf(o, m);
        }),
        VRXFUZZ_DECODER(RecordInfo, [](cdrStream& o) { seedOf(o, recordInfo()); }),
        VRXFUZZ_DECODER(StringSeq, [](cdrStream& o) {
            StringSeq s;
            s.length(3);
            s[0] = CORBA::string_dup("DEV-1");
            s[1] = CORBA::string_dup("");
            s[2] = CORBA::string_dup("DEV-3");
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(StringSeqSeq, [](cdrStream& o) {
            StringSeqSeq s;
            s.length(2);
            s[0].length(1);
            s[0][0] = CORBA::string_dup("DEV-1");
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(ULongSeq, [](cdrStream& o) {
            ULongSeq s;
            s.length(3);
            s[0] = 1;
            s[1] = 2;
            s[2] = 0xffffffffu;
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(ReceiverSettingSeq, nullptr),
        VRXFUZZ_DECODER(ReceiverSettingNGSeq, nullptr),
        VRXFUZZ_DECODER(RecordSegmentSeq, nullptr),
        VRXFUZZ_DECODER(BookmarkItemSeq, nullptr),
        VRXFUZZ_DECODER(HistoryItemSeq, nullptr),
        VRXFUZZ_DECODER(CopyRangeSeq, nullptr),
        VRXFUZZ_DECODER(RecordInfoSeq, [](cdrStream& o) {
            RecordInfoSeq s;
            s.length(2);
            s[0] = recordInfo();
            s[1] = recordInfo();
            s[1].segments.length(0);
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(exGen, [](cdrStream& o) { seedOf(o, exGen(exGenCode_4, "device busy")); }),
        VRXFUZZ_DECODER(IF_VOREX_Admin::exAdmin,
                        [](cdrStream& o) { seedOf(o, IF_VOREX_Admin::exAdmin(IF_VOREX_Admin::exAdminCode_0, "no such record")); }),
        VRXFUZZ_DECODER(IF_VRX_c_ChanMan::exChanMan,
                        [](cdrStream& o) { seedOf(o, IF_VRX_c_ChanMan::exChanMan(IF_VRX_c_ChanMan::exChanManCode_8, "x")); }),
        VRXFUZZ_DECODER(IF_VRX_c_Chan::exChan,
                        [](cdrStream& o) { seedOf(o, IF_VRX_c_Chan::exChan(IF_VRX_c_Chan::exChanCode_5, "")); }),
        VRXFUZZ_DECODER(IF_VRX_c_VRX::exVRX,
                        [](cdrStream& o) { seedOf(o, IF_VRX_c_VRX::exVRX(IF_VRX_c_VRX::exVRXCode_3, "unknown device")); }),
    };
    return t;
}

} // namespace

VRXFUZZ_ENTRY_POINTS(table)
