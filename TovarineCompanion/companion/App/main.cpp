#include "EngineScheme.h"
#include "TovarineCompanionApp.h"

#include <QApplication>

namespace {

// Stands in for the photogrammetry engine until one is linked: every drop ends with this message.
tovarine::PhotogrammetrySessionFactory engineFactory()
{
    return [](const QString&, const tovarine::PhotogrammetrySession::Configuration&)
               -> tovarine::Expected<std::unique_ptr<tovarine::PhotogrammetrySession>, QString> {
        return tovarine::unexpected(QStringLiteral("No photogrammetry engine in this build"));
    };
}

} // namespace

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
    tovarine::TovarineCompanionApp companion(engineFactory());
    companion.show();
    return app.exec();
}
