#pragma once

#include <QIcon>
#include <QString>

// Where the application finds its installed pieces, relative to its executable, so the build tree and an
// installed tree (bin/, share/) both work. GUI thread only (icons).
namespace tovarine::AppInstallation {

// The desktop entry's and the icons' name.
inline const QString kDesktopId = QStringLiteral("app.tovarine.Companion");
// The emoji the icon set is drawn from.
inline const QString kIconEmoji = QStringLiteral("\U0001F5FF");

// The icon set next to `executableDir`: the installed hicolor icons (../share/icons/hicolor/<n>x<n>/apps/)
// or, in the build tree, the generated set beside the executable (icons/<id>_<n>.png). A null icon when
// neither is there.
QIcon applicationIcon(const QString& executableDir);

// Names the running application for the desktop (its entry and icon) and sets its window icon.
void applyIdentity();

} // namespace tovarine::AppInstallation
