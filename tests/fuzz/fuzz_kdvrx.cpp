// Every type of the recorder manager protocol from arbitrary bytes: the
// enumerations, structures, sequences and user exceptions of KD_VRX.
#include "fuzzsupport.h"

#include "vorexmanager.hh"

using namespace KD_VRX;
using vrxfuzz::seq;

namespace {

RecordSegment segment(CORBA::ULongLong start)
{
    return RecordSegment{start, start + 60000000, 512u * 1024u * 1024u, 3, 1};
}

RecordInfo recordInfo()
{
    const CORBA::ULongLong start = 1700000000000000ull, stop = 1700000060000000ull;
    return RecordInfo{"REC-0042", L"Kanal 7 \u00fcberwachung \u20ac", start, stop, 1u << 30, RecordState_4,
                      DataFormat_7, 2048000, 145500000, 25000, DataRateClass_15, true,
                      seq<RecordSegmentSeq>({segment(start), segment(start + 60000000)}),
                      seq<BookmarkItemSeq>({BookmarkItem{start + 1000000, L"start of call"}}),
                      seq<HistoryItemSeq>({HistoryItem{start, L"recorded"}, HistoryItem{stop, L""}})};
}

} // namespace

const std::vector<vrxfuzz::Decoder>& vrxfuzz::targetTable()
{
    static const std::vector<Decoder> t = {
        VRXFUZZ_TYPE(ReceiverKind, ReceiverKind_4),
        VRXFUZZ_TYPE(DataRateClass, DataRateClass_15),
        VRXFUZZ_TYPE(DataFormat, DataFormat_23),
        VRXFUZZ_TYPE(RecordState, RecordState_8),
        VRXFUZZ_TYPE(SpectrumKind, SpectrumKind_4),
        VRXFUZZ_BARE(exGenCode),
        VRXFUZZ_BARE(IF_VOREX_Admin::exAdminCode),
        VRXFUZZ_BARE(IF_VRX_c_ChanMan::exChanManCode),
        VRXFUZZ_TYPE(IF_VRX_c_Chan::ChannelErrorKind, IF_VRX_c_Chan::ChannelErrorKind_3),
        VRXFUZZ_BARE(IF_VRX_c_Chan::exChanCode),
        VRXFUZZ_BARE(IF_VRX_c_VRX::exVRXCode),
        VRXFUZZ_TYPE(ReceiverSetting, ReceiverSetting{ReceiverKind_2, 1, 4, 145500000}),
        VRXFUZZ_TYPE(ReceiverSettingNG, ReceiverSettingNG{ReceiverKind_1, "RX-2", 0, 433920000}),
        VRXFUZZ_TYPE(RecordSegment, segment(17)),
        VRXFUZZ_TYPE(BookmarkItem, BookmarkItem{99, L"Marke \u00e4"}),
        VRXFUZZ_TYPE(HistoryItem, HistoryItem{5, L"comment"}),
        VRXFUZZ_TYPE(CopyRange, CopyRange{1, 2}),
        VRXFUZZ_TYPE(RecordMetaData, RecordMetaData{"DEV-1", "REC-0042", L"Kanal 7", 10, 20, DataFormat_3,
                                                    DataRateClass_9, 1000, 1000, 1000, 7, 7, 7, 16, 2, 0, 6}),
        VRXFUZZ_TYPE(RecordInfo, recordInfo()),
        VRXFUZZ_TYPE(StringSeq, seq<StringSeq>({"DEV-1", "", "DEV-3"})),
        VRXFUZZ_TYPE(StringSeqSeq, seq<StringSeqSeq>({seq<StringSeq>({"DEV-1"}), StringSeq()})),
        VRXFUZZ_TYPE(ULongSeq, seq<ULongSeq>({1u, 2u, 0xffffffffu})),
        VRXFUZZ_BARE(ReceiverSettingSeq),
        VRXFUZZ_BARE(ReceiverSettingNGSeq),
        VRXFUZZ_BARE(RecordSegmentSeq),
        VRXFUZZ_BARE(BookmarkItemSeq),
        VRXFUZZ_BARE(HistoryItemSeq),
        VRXFUZZ_BARE(CopyRangeSeq),
        VRXFUZZ_TYPE(RecordInfoSeq, seq<RecordInfoSeq>({recordInfo(), RecordInfo()})),
        VRXFUZZ_TYPE(exGen, exGen(exGenCode_4, "device busy")),
        VRXFUZZ_TYPE(IF_VOREX_Admin::exAdmin, IF_VOREX_Admin::exAdmin(IF_VOREX_Admin::exAdminCode_0, "no such record")),
        VRXFUZZ_TYPE(IF_VRX_c_ChanMan::exChanMan, IF_VRX_c_ChanMan::exChanMan(IF_VRX_c_ChanMan::exChanManCode_8, "x")),
        VRXFUZZ_TYPE(IF_VRX_c_Chan::exChan, IF_VRX_c_Chan::exChan(IF_VRX_c_Chan::exChanCode_5, "")),
        VRXFUZZ_TYPE(IF_VRX_c_VRX::exVRX, IF_VRX_c_VRX::exVRX(IF_VRX_c_VRX::exVRXCode_3, "unknown device")),
    };
    return t;
}
