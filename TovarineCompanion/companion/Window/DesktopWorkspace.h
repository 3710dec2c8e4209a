#pragma once

#include "Workspace.h"

namespace tovarine {

// The real desktop: QDesktopServices to open; the file manager's D-Bus ShowItems call to reveal, falling back
// to opening the folder itself (or, for a file, the folder holding it) when no file manager answers on the
// session bus.
class DesktopWorkspace : public Workspace
{
public:
    bool openFile(const QString& path) override;
    void revealInFileManager(const QString& path, RevealDone done = {}) override;
};

} // namespace tovarine
