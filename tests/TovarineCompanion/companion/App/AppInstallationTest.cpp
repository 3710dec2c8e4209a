#include "AppInstallation.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovarine;

namespace {

void writeIcon(const QString& path, int size)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path));
}

} // namespace

TEST(AppInstallation, FindsTheIconsOfAnInstalledTreeAndOfTheBuildTree)
{
    QTemporaryDir installed;
    QDir(installed.path()).mkpath(QStringLiteral("bin"));
    for (int size : {16, 256}) {
        writeIcon(installed.filePath(
                      QStringLiteral("share/icons/hicolor/%1x%1/apps/app.tovarine.Companion.png").arg(size)),
                  size);
    }
    const QIcon fromInstall = AppInstallation::applicationIcon(installed.filePath(QStringLiteral("bin")));
    EXPECT_EQ(fromInstall.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(256, 256)}));

    QTemporaryDir built;
    writeIcon(built.filePath(QStringLiteral("icons/app.tovarine.Companion_64.png")), 64);
    EXPECT_EQ(AppInstallation::applicationIcon(built.path()).availableSizes(), QList<QSize>{QSize(64, 64)});

    QTemporaryDir empty;
    EXPECT_TRUE(AppInstallation::applicationIcon(empty.path()).isNull());
}

TEST(AppInstallation, TheBuiltExecutableFindsItsGeneratedIcons)
{
    const QIcon icon = AppInstallation::applicationIcon(
        QStringLiteral(TOVARINE_BINARY_ROOT "/TovarineCompanion/companion/App"));
    EXPECT_EQ(icon.availableSizes().size(), 6);
}
