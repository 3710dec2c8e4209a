#include "TovarineCompanionApp.h"

#include "AppIdentity.h"
#include "BrowseView.h"
#include "CompanionMenuCommands.h"
#include "CompanionSettingsView.h"
#include "DesktopWorkspace.h"
#include "MorvelEngineLocator.h"
#include "UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPalette>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace tovarine {

namespace {

constexpr int kInitialWidthPx = 720;
constexpr int kInitialHeightPx = 820;

} // namespace

TovarineCompanionApp::TovarineCompanionApp(PhotogrammetrySessionFactory sessionFactory,
                                           UserDefaults* defaults, Workspace* workspace, QObject* parent)
    : QObject(parent), m_defaults(defaults ? *defaults : UserDefaults::standard())
{
    if (!workspace) {
        m_ownedWorkspace = std::make_unique<DesktopWorkspace>();
        workspace = m_ownedWorkspace.get();
    }
    m_mainWindow = std::make_unique<QMainWindow>();
    m_mainWindow->setWindowTitle(AppIdentity::kWindowTitle);
    m_browseView = new BrowseView(DropReconstruction::defaultEnvironment(std::move(sessionFactory)),
                                  *workspace, m_defaults, m_mainWindow.get());
    m_mainWindow->setCentralWidget(m_browseView);
    // Room for the preview of a result; the window may be made as small as its content allows.
    m_mainWindow->resize(kInitialWidthPx, kInitialHeightPx);

    m_fileMenu = m_mainWindow->menuBar()->addMenu(tr("&File"));
    QAction* settings = m_fileMenu->addAction(tr("Settings…"), this, &TovarineCompanionApp::showSettings);
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence::Preferences);
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
    m_mainWindow->show();
}

void TovarineCompanionApp::showSettings()
{
    if (!m_settingsWindow) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("settingsWindow"));
        window->setWindowTitle(tr("Settings"));
        // Closing the main window ends the application even while the settings window is open.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(new CompanionSettingsView(m_defaults, window));
        layout->setSizeConstraint(QLayout::SetFixedSize);
        m_settingsWindow = window;
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
