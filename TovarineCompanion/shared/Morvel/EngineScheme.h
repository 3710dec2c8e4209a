#pragma once

// The "tovarine-engine" URL scheme of the engine page.
namespace tovarine::EngineScheme {

// Registers the scheme (host syntax, secure, CORS-enabled) with the web engine. Must run in main() before the
// application object exists; later calls do nothing. GUI thread.
void registerScheme();

} // namespace tovarine::EngineScheme
