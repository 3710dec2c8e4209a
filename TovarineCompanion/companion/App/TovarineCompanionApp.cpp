#include "TovarineCompanionApp.h"

#include "AppIdentity.h"
#include "BrowseView.h"
#include "CompanionMenuCommands.h"
#include "CompanionSettingsView.h"
#include "DesktopWorkspace.h"
#include "MorvelEngineLocator.h"
#include "OstrelWindows.h"
#include "UserDefaults.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace tovarine {

namespace {

// Room for a result with every panel reporting: the preview controls on one line, the preview at its
// 340 px, the rescale status line, the two lines kept for the print-prep status, the phone's redo row, the
// cage panel's status row (kept at the height of a summary of two lines with its file row) and the line kept
// for a note under the result row, in any of the usual desktop sans-serif families. Their line heights
// differ: with Noto Sans (the tallest of them) this leaves the preview 14 px over its minimum, with Cantarell
// 34 px, with DejaVu Sans 43 px and with Liberation Sans 44 px.
constexpr int kInitialWidthPx = 840;
constexpr int kInitialHeightPx = 960;
// How far below the main window's top edge the settings window opens.
constexpr int kSettingsTopOffsetPx = 80;

// Whether windows here can compose through OpenGL: a desktop display (X11 or Wayland) that gives OpenGL
// contexts. Elsewhere (no OpenGL, or a platform without GPU composition) the previews say so and draw
// nothing, and the window must stay a plain raster window.
bool windowsComposeWithOpenGl()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland"))) {
        return false;
    }
    QOpenGLContext probe;
    return probe.create();
}

} // namespace

TovarineCompanionApp::TovarineCompanionApp(PhotogrammetrySessionFactory sessionFactory,
                                           UserDefaults* defaults, Workspace* workspace,
                                           MorvelMacSession::RunStarter cageRuns, QObject* parent)
    : QObject(parent), m_defaults(defaults ? *defaults : UserDefaults::standard())
{
    if (!workspace) {
        m_ownedWorkspace = std::make_unique<DesktopWorkspace>();
        workspace = m_ownedWorkspace.get();
    }
    m_mainWindow = std::make_unique<QMainWindow>();
    m_mainWindow->setWindowTitle(AppIdentity::kWindowTitle);
    m_browseView = new BrowseView(DropReconstruction::defaultEnvironment(std::move(sessionFactory)),
                                  *workspace, m_defaults, std::move(cageRuns), m_mainWindow.get());
    m_mainWindow->setCentralWidget(m_browseView);
    // A window composes through OpenGL once it holds a GL widget; one that gains its first (the preview of
    // the first result) after it was shown is destroyed and made again, which blinks and can move it. A
    // hidden GL widget makes the window GL-ready before it first shows.
    if (windowsComposeWithOpenGl()) {
        auto* glReady = new QOpenGLWidget(m_mainWindow.get());
        glReady->setObjectName(QStringLiteral("glReady"));
        glReady->hide();
    }
    // The window may be made as small as its content allows; it opens within the screen's free area (see
    // show()).
    m_mainWindow->resize(kInitialWidthPx, kInitialHeightPx);

    m_fileMenu = m_mainWindow->menuBar()->addMenu(tr("&File"));
    QAction* settings = m_fileMenu->addAction(tr("Settings…"), this, &TovarineCompanionApp::showSettings);
    settings->setObjectName(QStringLiteral("settingsAction"));
    // The desktop's Preferences key where it has one (Linux desktops mostly have none), and Ctrl+, always.
    QList<QKeySequence> preferenceKeys = QKeySequence::keyBindings(QKeySequence::Preferences);
    const QKeySequence ctrlComma(Qt::CTRL | Qt::Key_Comma);
    preferenceKeys.removeAll(ctrlComma);
    preferenceKeys.prepend(ctrlComma);
    settings->setShortcuts(preferenceKeys);
    settings->setMenuRole(QAction::PreferencesRole);
    m_fileMenu->addSeparator();
    QAction* quit = m_fileMenu->addAction(tr("Quit"), qApp, &QApplication::quit);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    m_helpMenu = m_mainWindow->menuBar()->addMenu(tr("&Help"));
    m_helpMenu->setObjectName(QStringLiteral("helpMenu"));
    CompanionMenuCommands::install(m_helpMenu, [] { return MorvelEngineLocator::engineFolder(); });

    connect(m_browseView, &BrowseView::settingsRequested, this, &TovarineCompanionApp::showSettings);
}

TovarineCompanionApp::~TovarineCompanionApp()
{
    delete m_settingsWindow;
}

void TovarineCompanionApp::applyDarkScheme()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(22, 22, 22));
    dark.setColor(QPalette::AlternateBase, QColor(38, 38, 38));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(45, 45, 45));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(45, 45, 45));
    dark.setColor(QPalette::ToolTipText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(255, 255, 255, 140));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 255, 255, 90));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(255, 255, 255, 90));
    QApplication::setPalette(dark);
}

void TovarineCompanionApp::show()
{
    if (m_placed) {
        m_mainWindow->show();
        return;
    }
    m_placed = true;
    // The window manager's frame is not known before the window is shown: placed without it first, and once
    // more when the window is first on screen with a frame that runs over the free area (the expose comes
    // from the event loop, after this).
    placeOnScreen(QMargins());
    m_mainWindow->show();
    m_mainWindow->windowHandle()->installEventFilter(this);
}

void TovarineCompanionApp::placeOnScreen(const QMargins& frame)
{
    const QScreen* screen = m_mainWindow->screen();
    if (!screen) {
        return;
    }
    const QSize minimum = m_mainWindow->minimumSizeHint().expandedTo(m_mainWindow->minimumSize());
    m_mainWindow->setGeometry(WindowPlacement::openingGeometry(
        screen->availableGeometry(), frame, QSize(kInitialWidthPx, kInitialHeightPx), minimum));
}

bool TovarineCompanionApp::eventFilter(QObject* watched, QEvent* event)
{
    QWindow* handle = m_mainWindow->windowHandle();
    if (watched == handle && event->type() == QEvent::Expose && handle->isExposed()) {
        handle->removeEventFilter(this);
        const QScreen* screen = m_mainWindow->screen();
        if (screen && !screen->availableGeometry().contains(m_mainWindow->frameGeometry())) {
            placeOnScreen(handle->frameMargins());
        }
    }
    return QObject::eventFilter(watched, event);
}

void TovarineCompanionApp::showSettings()
{
    if (!m_settingsWindow) {
        // A window of its own that belongs to the main window: the window manager keeps it above it.
        auto* window = new QWidget(m_mainWindow.get(), Qt::Window);
        window->setObjectName(QStringLiteral("settingsWindow"));
        window->setWindowTitle(tr("Settings"));
        // Closing the main window ends the application even while the settings window is open.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(new CompanionSettingsView(m_defaults, window));
        layout->setSizeConstraint(QLayout::SetFixedSize);
        ostrel::OstrelWindows::closeOnEscape(window);
        m_settingsWindow = window;
    }
    if (!m_settingsWindow->isVisible()) {
        // Over the main window, a little below its top, where the user was looking.
        m_settingsWindow->adjustSize();
        const QRect main = m_mainWindow->frameGeometry();
        QRect frame = m_settingsWindow->frameGeometry();
        frame.moveCenter(main.center());
        frame.moveTop(main.top() +
                      std::min(kSettingsTopOffsetPx, std::max(0, main.height() - frame.height())));
        m_settingsWindow->move(frame.topLeft());
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

QMenuBar* TovarineCompanionApp::menuBar() const
{
    return m_mainWindow->menuBar();
}

} // namespace tovarine
