#pragma once

// Shared by the client library's own files, not part of its interface.

#include "vorexclient.h"

#include <memory>

namespace VorexCommon {

// The configuration of the installed link (defaults without one).
std::shared_ptr<VorexConfiguration> currentConfiguration();
// Whether a link is installed and reaches its manager.
bool managerConnected();

} // namespace VorexCommon
