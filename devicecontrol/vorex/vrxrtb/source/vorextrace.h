#pragma once

// Tracing of the plug-in's classes. The host's error handler decides through
// its trace mask which traces are written; the mask is read again for every
// trace so that a host can switch tracing on and off while the toolbar runs.
// The text expression is only evaluated when the bit is set.

#include "base.h"

#include <QString>

namespace VorexGUI {

enum TraceBit : unsigned int {
    TraceWarning = 32, // warnings, unexpected states, caught exceptions
    TraceFlow = 64     // entry and exit lines and details
};

inline bool IsTraceOn(unsigned int bit)
{
    return (ErrorHandler::Instance()->GetTraceMask() & bit) != 0;
}

} // namespace VorexGUI

// `file` is the source path as the host's trace shows it (a string literal).
#define VRX_TRACE_AT(file, bit, text)                                                   \
    do {                                                                                \
        if (::VorexGUI::IsTraceOn(bit))                                                 \
            _Q_Trace((text), QStringLiteral(file), static_cast<unsigned short>(__LINE__)); \
    } while (false)

// The same, with the translation unit's VRX_TRACE_SOURCE.
#define VRX_TRACE(bit, text) VRX_TRACE_AT(VRX_TRACE_SOURCE, bit, text)
#define VRX_TRACE_FLOW(text) VRX_TRACE(::VorexGUI::TraceFlow, text)
#define VRX_TRACE_WARNING(text) VRX_TRACE(::VorexGUI::TraceWarning, text)
