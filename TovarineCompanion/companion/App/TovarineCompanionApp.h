#pragma once

#include "MorvelMacSession.h"
#include "PhotogrammetrySession.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class BrowseView;
using ostrel::UserDefaults;
class Workspace;

// The application's windows: the main window "tovarine companion" (content BrowseView, at least 560 x 540,
// menus File with "Settings…" and "Quit", and Help with the help, glossary, terms and about commands) and the
// single settings window (CompanionSettingsView), made on first use; closing it only hides it. Nothing else
// starts here. GUI thread only.
class TovarineCompanionApp : public QObject
{
    Q_OBJECT
public:
    // `defaults` and `workspace` default to the real store and desktop; both must outlive the app.
    // `cageRuns` replaces how the cage session runs its fits (tests).
    explicit TovarineCompanionApp(PhotogrammetrySessionFactory sessionFactory,
                                  UserDefaults* defaults = nullptr, Workspace* workspace = nullptr,
                                  MorvelMacSession::RunStarter cageRuns = {}, QObject* parent = nullptr);
    ~TovarineCompanionApp() override;

    // The dark scheme the windows are drawn in (Fusion with a dark palette), for the whole application.
    static void applyDarkScheme();

    // Shows the main window; the first time within the free area of its screen (at most 840 x 960, less
    // where the free area is smaller, never below the window's minimum).
    void show();
    // Shows the settings window, making it on first use; a second call only brings it to the front.
    void showSettings();

    QMainWindow* mainWindow() const { return m_mainWindow.get(); }
    BrowseView* browseView() const { return m_browseView; }
    QMenuBar* menuBar() const;
    QMenu* fileMenu() const { return m_fileMenu; }
    QMenu* helpMenu() const { return m_helpMenu; }
    // Null until first shown.
    QWidget* settingsWindow() const { return m_settingsWindow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Sizes and places the main window for its screen's free area around a frame of `frame`.
    void placeOnScreen(const QMargins& frame);

    UserDefaults& m_defaults;
    std::unique_ptr<Workspace> m_ownedWorkspace;
    std::unique_ptr<QMainWindow> m_mainWindow;
    BrowseView* m_browseView = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QPointer<QWidget> m_settingsWindow;
    bool m_placed = false;
};

} // namespace tovarine
