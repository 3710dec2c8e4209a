#pragma once

#include "Workspace.h"

namespace tovarine {

// The real desktop. Opening runs the desktop's opener (xdg-open) and takes its exit status as the answer, so
// a file that nothing opens is reported as failed; an opener still running after a while is taken as an
// application it started itself (xdg-open does so on desktops it does not know) and counts as opened.
// Revealing asks the file manager over D-Bus (FileManager1 ShowItems) and, when none answers on the session
// bus, opens the folder itself (or, for a file, the folder holding it) with the opener.
class DesktopWorkspace : public Workspace
{
public:
    // `opener`: the program given the path to open (tests put a stand-in there).
    explicit DesktopWorkspace(QString opener = QStringLiteral("xdg-open"));

    void openFile(const QString& path, OpenDone done = {}) override;
    void revealInFileManager(const QString& path, RevealDone done = {}) override;

private:
    QString m_opener;
};

} // namespace tovarine
