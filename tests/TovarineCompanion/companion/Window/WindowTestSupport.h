#pragma once

#include "DropReconstruction.h"
#include "PhotogrammetrySession.h"
#include "UserDefaults.h"
#include "Workspace.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

namespace tovarine::test {

// Records what the window asks of the desktop, and answers as told.
class RecordingWorkspace : public Workspace
{
public:
    void openFile(const QString& path, OpenDone done) override
    {
        opened << path;
        if (done) {
            done(refusesToOpen.contains(path) ? OpenOutcome::failed : OpenOutcome::opened);
        }
    }
    void revealInFileManager(const QString& path, RevealDone done) override
    {
        revealed << path;
        if (done) {
            done(revealOutcome);
        }
    }

    QStringList opened;
    QStringList revealed;
    QStringList refusesToOpen; // paths no application opens
    RevealOutcome revealOutcome = RevealOutcome::shown;
};

// A photogrammetry session under the test's control: it accepts the request, reports one progress step on
// the next turn of the event loop, and ends only when the test says so (or, once cancelled, with
// processingCancelled).
class FakeSession : public PhotogrammetrySession
{
    Q_OBJECT
public:
    Expected<void, QString> process(const QString& modelPath, Detail detail) override;
    void cancel() override;

    // Writes a small model at the requested path and ends the run successfully, with the session's `note`.
    void complete(const QString& note = QString());

    QString modelPath;
    Detail detail = Detail::preview;
    int cancelCount = 0;
};

// Makes FakeSessions and remembers the last one.
struct FakeEngine
{
    PhotogrammetrySessionFactory factory();
    QList<QString> inputFolders;
    FakeSession* last = nullptr;
};

// A temporary Desktop, temp folder and settings file for one test.
struct WindowFixture
{
    WindowFixture();
    DropReconstruction::Environment environment();
    // Makes <root>/<name>/Images/frame_00000.jpg and returns the capture folder.
    QString makeCapture(const QString& name);

    QTemporaryDir root;
    std::unique_ptr<ostrel::UserDefaults> defaults;
    RecordingWorkspace workspace;
    FakeEngine engine;
};

// Saves what the display shows of `window` (the X server's copy, GL content included) as
// "<name>.png" in screenshotFolder(), after waiting `settleMs` for queued paints to reach the screen.
// An empty grab or a failed write is a test failure.
void saveScreenshot(QWidget* window, const QString& name, int settleMs);

} // namespace tovarine::test
