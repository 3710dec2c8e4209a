#include "ColmapPhotogrammetrySession.h"
#include "EngineScheme.h"
#include "TovarineCompanionApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The cage engine's URL scheme and the web view's shared GL contexts must be set up before the
    // application object exists.
    tovarine::EngineScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine"));
    QCoreApplication::setApplicationName(QStringLiteral("companion"));
    tovarine::TovarineCompanionApp::applyDarkScheme();
    tovarine::TovarineCompanionApp companion(tovarine::ColmapPhotogrammetrySession::factory());
    companion.show();
    return app.exec();
}
