// Every type of the naming and callback protocol from arbitrary bytes: the
// CCO enumerations, structure, sequences and user exceptions, and the naming
// service exceptions its operations raise.
#include "fuzzsupport.h"

#include "cco.hh"

using namespace CCO;

const std::vector<vrxfuzz::Decoder>& vrxfuzz::targetTable()
{
    using CosNaming::NamingContext;
    static const std::vector<Decoder> t = {
        VRXFUZZ_TYPE(NotificationType, NotificationType_4),
        VRXFUZZ_TYPE(RedundancyType, RedundancyType_2),
        VRXFUZZ_TYPE(ResolveType, ResolveType_3),
        VRXFUZZ_TYPE(NotificationFilter, NotificationFilter{NotificationType_1, "workstation-3"}),
        VRXFUZZ_TYPE(NotificationFilterSeq, seq<NotificationFilterSeq>({NotificationFilter{NotificationType_0, "a"},
                                                                        NotificationFilter{NotificationType_3, ""}})),
        VRXFUZZ_TYPE(StringSeq, seq<StringSeq>({"ws1", "ws2"})),
        VRXFUZZ_BARE(IF_CCO_c_Naming::RedundancyTypeNotSupported),
        VRXFUZZ_BARE(IF_CCO_c_Naming::RedundancyStrategyNotSupported),
        VRXFUZZ_BARE(IF_CCO_c_Naming::InvalidObject),
        VRXFUZZ_BARE(IF_CCO_c_Naming::InvalidType),
        VRXFUZZ_BARE(IF_CCO_c::NameNotAvailable),
        VRXFUZZ_TYPE(CosNaming::NamingContext::NotFound,
                     NamingContext::NotFound(NamingContext::missing_node,
                                             seq<CosNaming::Name>({CosNaming::NameComponent{"Vorex", "context"},
                                                                   CosNaming::NameComponent{"Manager", ""}}))),
        VRXFUZZ_BARE(CosNaming::NamingContext::InvalidName),
        VRXFUZZ_BARE(CosNaming::NamingContext::AlreadyBound),
    };
    return t;
}
