#pragma once

#include <QString>
#include <functional>

namespace tovarine {

// The desktop's file services as the main window uses them: open a file with the user's default application
// and show a file or folder selected in the file manager. A seam, so tests record the calls.
// GUI thread only.
class Workspace
{
public:
    // How an open ended: an application took the item, or nothing opened it (no application for its type,
    // no launcher, or the launcher failed).
    enum class OpenOutcome { opened, failed };
    using OpenDone = std::function<void(OpenOutcome)>;
    // How a reveal ended: the file manager showed the item selected; no file manager answered, so the folder
    // itself (for a folder) or the folder holding it (for a file) was opened instead; or nothing opened.
    enum class RevealOutcome { shown, folderOpened, failed };
    using RevealDone = std::function<void(RevealOutcome)>;

    virtual ~Workspace() = default;
    // Opens `path` with its default application. `done`, when given, is called once with the outcome, at
    // once or later.
    virtual void openFile(const QString& path, OpenDone done = {}) = 0;
    // Shows the file manager with `path` itself selected (for a folder: the folder in its parent). `done`,
    // when given, is called once, later, with the outcome.
    virtual void revealInFileManager(const QString& path, RevealDone done = {}) = 0;
};

} // namespace tovarine
