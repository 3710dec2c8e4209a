#pragma once

#include "QuorvantileServiceBackend.h"

#include <memory>

namespace ostrel {

// The mesh's DNS-SD backend on the system's Avahi daemon, through the kit's DNS-SD publisher and browser.
// The browser reports an instance once per interface and protocol it is seen on; this backend folds those
// into one result per instance name, offering an IPv4 address when the instance has any. Failures (no
// daemon, daemon gone) end in advertisingChanged(false) / browsingChanged(false).
std::unique_ptr<QuorvantileServiceBackend> makeQuorvantileAvahiBackend();

} // namespace ostrel
