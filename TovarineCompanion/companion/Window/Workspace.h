#pragma once

#include <QString>

namespace tovarine {

// The desktop's file services as the main window uses them: open a file with the user's default application
// and show a file or folder selected in the file manager. A seam, so tests record the calls.
// GUI thread only.
class Workspace
{
public:
    virtual ~Workspace() = default;
    // Opens `path` with its default application. Returns false when the desktop refused.
    virtual bool openFile(const QString& path) = 0;
    // Shows the file manager with `path` itself selected (for a folder: the folder in its parent).
    virtual void revealInFileManager(const QString& path) = 0;
};

} // namespace tovarine
