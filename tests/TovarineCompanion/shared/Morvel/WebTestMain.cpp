#include "EngineScheme.h"
#include "PrivateSettings.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// The engine scheme must be registered before the application object exists.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const auto settingsFolder = tovarine::test::usePrivateSettingsFolder();
    tovarine::EngineScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tovarine-tests"));
    return RUN_ALL_TESTS();
}
