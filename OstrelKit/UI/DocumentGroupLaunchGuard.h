#pragma once

#include <memory>

class QWidget;

namespace ostrel {

// Ready-made behaviour for an application that opens documents and should not show an untitled document or
// a picker window when it was started to open a file. The adopter stores launchedByFile (false at first) and
// calls markLaunchedByFile() when its command line (or a later open request) carries files.
//
// On this desktop nothing asks the application whether to open an untitled document and nothing reads the
// picker-suppression key: shouldOpenUntitledFile() is an answer for the adopter's own start-up code, and
// suppressDocumentGroupPicker() only stores the key for adopters that read it. A window "shows a document"
// when its windowFilePath() is set. The sweep never closes menus, tooltips or other popups, main windows
// (QMainWindow) or the kit's own windows. GUI thread only; needs a QApplication.
class DocumentGroupLaunchGuard
{
public:
    virtual ~DocumentGroupLaunchGuard();

    virtual bool launchedByFile() const = 0;
    virtual void setLaunchedByFile(bool launchedByFile) = 0;

    void markLaunchedByFile() { setLaunchedByFile(true); }
    bool shouldOpenUntitledFile() const { return !launchedByFile(); }
    // Writes true under "NSDocumentSuppressOpenUntitled" in the standard user-defaults store; never cleared.
    void suppressDocumentGroupPicker();
    // Schedules 16 sweeps of the application's windows, 0.0 s to 1.5 s after the call in steps of 0.1 s, and
    // returns at once. Sweeps left when the adopter is destroyed do nothing.
    void dismissPickerWindows();

    static constexpr int kSweeps = 16;
    static constexpr int kSweepStepMs = 100;

    // One sweep over the top-level windows, in their order: file dialogs close (even hidden); a window that
    // shows a document or is hidden stays; any other whose lowercased title is empty, is "open" or contains
    // "browser" closes.
    static void sweepPickerWindows();

private:
    // Alive while the adopter is; the scheduled sweeps hold it weakly.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace ostrel
