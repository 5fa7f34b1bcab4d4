// The harness's guard against omniORB's wrapping length check, and the
// defect it guards against, in one deterministic check (no allocation).
#include "fuzzsupport.h"

#include <cstdio>

int main()
{
    alignas(8) char body[16] = {};
    const _CORBA_ULong hugeCount = 0x80000004u; // times 4 is 16 modulo 2^32

    cdrMemoryStream plain(body, sizeof body);
    const bool plainAccepts = plain.checkInputOverrun(4, hugeCount);
    vrxfuzz::BoundedInput bounded(body, sizeof body);
    const bool boundedAccepts = bounded.checkInputOverrun(4, hugeCount);
    const bool boundedExact = bounded.checkInputOverrun(4, 4) && !bounded.checkInputOverrun(4, 5);

    std::printf("omniORB cdrMemoryStream accepts 0x80000004 4-byte items in 16 bytes: %s\n",
                plainAccepts ? "yes (known omniORB 4.2.5 defect)" : "no (fixed)");
    std::printf("harness stream accepts them: %s; exact at 4/5 items: %s\n", boundedAccepts ? "yes" : "no",
                boundedExact ? "yes" : "no");
    return !boundedAccepts && boundedExact ? 0 : 1;
}
