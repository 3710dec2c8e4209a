#include "QuorvantileRenderPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ostrel;

TEST(QuorvantileRenderPathsTest, SegmentFolderIsPrivateOrRefused)
{
    QTemporaryDir temp;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    QString error;
    const auto folder = quorvantilePrivateRenderDirectory(&error);
    ASSERT_TRUE(folder) << error.toStdString();
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(*folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(quorvantilePrivateRenderDirectory(), folder); // the same folder again

    ::chmod(QFile::encodeName(*folder).constData(), 0755);
    EXPECT_FALSE(quorvantilePrivateRenderDirectory(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a private folder")));
    // A link planted under the name is refused too.
    QDir(*folder).removeRecursively();
    QFile::link(temp.path(), *folder);
    EXPECT_FALSE(quorvantilePrivateRenderDirectory());
    qputenv("TMPDIR", saved);
}

TEST(QuorvantileRenderPathsTest, HostsAndNames)
{
    for (const char* host : {"studio.local", "127.0.0.2", "mac-mini", "fe80::1", "2001:db8::7"}) {
        EXPECT_TRUE(quorvantileIsValidRenderHost(QLatin1String(host))) << host;
    }
    for (const char* host : {"", "-oProxyCommand=x", ".hidden", "user@host", "a b", "host;rm", "fe80::1%eth0",
                             "[::1]", "a/b", "1:2:3"}) {
        EXPECT_FALSE(quorvantileIsValidRenderHost(QLatin1String(host))) << host;
    }
    EXPECT_EQ(quorvantileRenderShortName(QStringLiteral("studio (linux)")), QStringLiteral("studio"));
    EXPECT_EQ(quorvantileRenderWorkerName(QStringLiteral("studio.local")), QStringLiteral("studio"));
    EXPECT_EQ(quorvantileRenderWorkerName(QStringLiteral("mac.mini.local")), QStringLiteral("mac"));
    EXPECT_EQ(quorvantileRenderWorkerName(QStringLiteral("attic")), QStringLiteral("attic"));
}
