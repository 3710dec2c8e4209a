#pragma once

// The "tovarine-engine" URL scheme of the engine page.
namespace tovarine::EngineScheme {

// Registers the scheme (host syntax, secure, CORS-enabled) with the web engine. Must run in main() before the
// application object exists (main() also sets Qt::AA_ShareOpenGLContexts there, as the web engine asks);
// later calls do nothing. As root the web engine's sandbox cannot start: QTWEBENGINE_DISABLE_SANDBOX=1 must be
// set, or the page never loads and nothing reports it. GUI thread.
void registerScheme();

} // namespace tovarine::EngineScheme
