#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing tests must not need a display.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--gtest_list_tests")) {
            return RUN_ALL_TESTS();
        }
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tovarine-tests"));
    return RUN_ALL_TESTS();
}
