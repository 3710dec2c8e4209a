#pragma once

#include "HangCeiling.h"
#include "QuorvantileNode.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <functional>
#include <memory>

namespace ostrel::renderstandin {

// Runs the event loop until `condition` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = tovarine::test::kHangCeilingMs);

// A port free on both 127.0.0.2 and 127.0.0.3 (a render port is the same on every machine); 0 when none is
// found.
quint16 freeAgentPort();

// Starts fake_render_agent.py on `host` (a 127.x address) and `port` with its work in `folder`; `extra` goes
// to the agent (--color, --frame-ms, --mode, --echo-source, --cut-result, --result-style). Null when it does
// not report ready.
std::unique_ptr<QProcess> startFakeAgent(const QString& host, quint16 port, const QString& folder,
                                         const QStringList& extra = {});

// A remote node at `host` named `name` with no graphics memory figure.
QuorvantileNode loopbackNode(const QString& name, const QString& host);

// The folder of the stand-in tools (the fake agent, fakessh/).
QString toolsFolder();

} // namespace ostrel::renderstandin
