#pragma once

#include <QString>

// The fixed texts that name the application.
namespace tovarine::AppIdentity {

inline const QString kWindowTitle = QStringLiteral("tovarine companion");
inline const QString kVersion = QStringLiteral("v00000-007");
// The maker's web domain, shown after the wordmark and in the settings' About line.
inline const QString kWebDomain = QStringLiteral("tovarine.app");

} // namespace tovarine::AppIdentity
