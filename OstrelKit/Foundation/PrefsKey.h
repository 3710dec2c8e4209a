#pragma once

#include <QString>

// The kit's preference keys in the user-defaults store, each equal to its own name. No defaults are
// registered: each reader applies the default the Preferences form shows while a key is absent.
namespace ostrel::PrefsKey {

inline const QString lickableIntensity = QStringLiteral("lickableIntensity"); // double, 0.0
inline const QString vorraLick = QStringLiteral("vorraLick");                 // bool, false
inline const QString sidebarWidth = QStringLiteral("sidebarWidth");           // double points, 340.0
inline const QString uiScale = QStringLiteral("uiScale");                     // double, 1.0
inline const QString labelScale = QStringLiteral("labelScale");               // double, 1.0
inline const QString reducedMotion = QStringLiteral("reducedMotion");         // bool, false
inline const QString iconScale = QStringLiteral("iconScale"); // a name only: no control, no reset

} // namespace ostrel::PrefsKey
