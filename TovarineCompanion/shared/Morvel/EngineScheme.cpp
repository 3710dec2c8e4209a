#include "EngineScheme.h"

#include "EngineSchemeRules.h"

#include <QWebEngineUrlScheme>

namespace tovarine::EngineScheme {

void registerScheme()
{
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    QWebEngineUrlScheme scheme(EngineSchemeRules::kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

} // namespace tovarine::EngineScheme
