#include "PrivateSettings.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing tests must not need a display. InitGoogleTest has already taken the flag out of argv.
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    const auto settingsFolder = tovarine::test::usePrivateSettingsFolder();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tovarine-tests"));
    return RUN_ALL_TESTS();
}
