#pragma once

#include "QuorvantileServiceBackend.h"

#include <memory>

namespace ostrel {

// The mesh's DNS-SD backend on the system's Avahi daemon: publishes through the kit's DNS-SD publisher and
// browses with one long-lived resolver per instance, interface and protocol, so TXT changes are seen. Results
// are merged per instance name; the address offered is an IPv4 one when the instance has any. Failures (no
// daemon, daemon gone) end in advertisingChanged(false) / browsingChanged(false).
std::unique_ptr<QuorvantileServiceBackend> makeQuorvantileAvahiBackend();

} // namespace ostrel
