// Every type of the naming and callback protocol from arbitrary bytes: the
// CCO enumerations, structure, sequences and user exceptions, and the naming
// service exceptions its operations raise.
#include "fuzzsupport.h"

#include "cco.hh"

namespace {

template <class T>
void seedOf(cdrStream& out, const T& v)
{
    v >>= out;
}

CosNaming::Name name2()
{
    CosNaming::Name n;
    n.length(2);
    n[0].id = CORBA::string_dup("Vorex");
    n[0].kind = CORBA::string_dup("context");
    n[1].id = CORBA::string_dup("Manager");
    n[1].kind = CORBA::string_dup("");
    return n;
}

const std::vector<vrxfuzz::Decoder>& table()
{
    using namespace CCO;
    static const std::vector<vrxfuzz::Decoder> t = {
        VRXFUZZ_DECODER(NotificationType, [](cdrStream& o) { seedOf(o, NotificationType_4); }),
        VRXFUZZ_DECODER(RedundancyType, [](cdrStream& o) { seedOf(o, RedundancyType_2); }),
        VRXFUZZ_DECODER(ResolveType, [](cdrStream& o) { seedOf(o, ResolveType_3); }),
        VRXFUZZ_DECODER(NotificationFilter, [](cdrStream& o) {
            NotificationFilter f;
            f.kind = NotificationType_1;
            f.source = CORBA::string_dup("workstation-3");
            seedOf(o, f);
        }),
        VRXFUZZ_DECODER(NotificationFilterSeq, [](cdrStream& o) {
            NotificationFilterSeq s;
            s.length(2);
            s[0].kind = NotificationType_0;
            s[0].source = CORBA::string_dup("a");
            s[1].kind = NotificationType_3;
            s[1].source = CORBA::string_dup("");
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(StringSeq, [](cdrStream& o) {
            StringSeq s;
            s.length(2);
            s[0] = CORBA::string_dup("ws1");
            s[1] = CORBA::string_dup("ws2");
            seedOf(o, s);
        }),
        VRXFUZZ_DECODER(IF_CCO_c_Naming::RedundancyTypeNotSupported, nullptr),
        VRXFUZZ_DECODER(IF_CCO_c_Naming::RedundancyStrategyNotSupported, nullptr),
        VRXFUZZ_DECODER(IF_CCO_c_Naming::InvalidObject, nullptr),
        VRXFUZZ_DECODER(IF_CCO_c_Naming::InvalidType, nullptr),
        VRXFUZZ_DECODER(IF_CCO_c::NameNotAvailable, nullptr),
        VRXFUZZ_DECODER(CosNaming::NamingContext::NotFound, [](cdrStream& o) {
            seedOf(o, CosNaming::NamingContext::NotFound(CosNaming::NamingContext::missing_node, name2()));
        }),
        VRXFUZZ_DECODER(CosNaming::NamingContext::InvalidName, nullptr),
        VRXFUZZ_DECODER(CosNaming::NamingContext::AlreadyBound, nullptr),
    };
    return t;
}

} // namespace

VRXFUZZ_ENTRY_POINTS(table)
