#include "AppInstallation.h"
#include "BrowseView.h"
#include "ColmapPhotogrammetrySession.h"
#include "EngineScheme.h"
#include "TovarineCompanionApp.h"
#include "DropReconstruction.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

int main(int argc, char** argv)
{
    // The cage engine's URL scheme and the web view's shared GL contexts must be set up before the
    // application object exists.
    tovarine::EngineScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine"));
    QCoreApplication::setApplicationName(QStringLiteral("companion"));
    tovarine::AppInstallation::applyIdentity();
    tovarine::TovarineCompanionApp::applyDarkScheme();
    tovarine::TovarineCompanionApp companion(tovarine::ColmapPhotogrammetrySession::factory());
    companion.show();
    // Files handed over by the desktop (dropped on the launcher, "Open With"): the first one is taken as a
    // drop.
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty()) {
        using namespace tovarine;
        const QString detail =
            ostrel::UserDefaults::standard().string(SettingsKeys::kDetail, SettingsKeys::kDetailDefault);
        const QUrl first = QUrl::fromLocalFile(QFileInfo(files.first()).absoluteFilePath());
        companion.browseView()->drop().ingest(first, detail);
    }
    return app.exec();
}
