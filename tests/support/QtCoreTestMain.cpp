#include "PrivateSettings.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const auto settingsFolder = tovarine::test::usePrivateSettingsFolder();
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tovarine-tests"));
    return RUN_ALL_TESTS();
}
