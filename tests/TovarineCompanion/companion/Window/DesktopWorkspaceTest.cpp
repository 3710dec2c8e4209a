#include "DesktopWorkspace.h"

#include "HangCeiling.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace tovarine {
namespace {

// A stand-in for xdg-open: records the path it is given in a file and exits with `exitCode`.
QString writeOpener(const QTemporaryDir& dir, int exitCode)
{
    const QString path = dir.filePath(QStringLiteral("opener-%1").arg(exitCode));
    QFile script(path);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\nexit %2\n")
                     .arg(dir.filePath(QStringLiteral("opened.txt")))
                     .arg(exitCode)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList openedPaths(const QTemporaryDir& dir)
{
    QFile file(dir.filePath(QStringLiteral("opened.txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The opener's exit status is the answer: only 0 counts as opened. Without a file manager answering on the
// session bus (none runs here), a reveal opens the folder itself, or a file's folder, and says whether that
// worked.
TEST(DesktopWorkspace, OpensWithTheDesktopsOpenerAndTakesItsAnswer)
{
    QTemporaryDir dir;
    const QString resultDir = dir.filePath(QStringLiteral("tovarine/quiet-teacup"));
    ASSERT_TRUE(QDir().mkpath(resultDir));
    const struct
    {
        int exitCode;
        Workspace::OpenOutcome open;
        Workspace::RevealOutcome reveal;
    } cases[] = {{0, Workspace::OpenOutcome::opened, Workspace::RevealOutcome::folderOpened},
                 {3, Workspace::OpenOutcome::failed, Workspace::RevealOutcome::failed},
                 {4, Workspace::OpenOutcome::failed, Workspace::RevealOutcome::failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitCode);
        QFile::remove(dir.filePath(QStringLiteral("opened.txt")));
        DesktopWorkspace workspace(writeOpener(dir, c.exitCode));
        std::optional<Workspace::OpenOutcome> opened;
        workspace.openFile(resultDir + QStringLiteral("/model.obj"),
                           [&opened](Workspace::OpenOutcome outcome) { opened = outcome; });
        QTRY_VERIFY_WITH_TIMEOUT(opened.has_value(), tovarine::test::kHangCeilingMs);
        EXPECT_EQ(*opened, c.open);

        std::vector<Workspace::RevealOutcome> reveals;
        const auto record = [&reveals](Workspace::RevealOutcome outcome) { reveals.push_back(outcome); };
        workspace.revealInFileManager(resultDir + QLatin1Char('/'), record);
        QTRY_COMPARE_WITH_TIMEOUT(reveals.size(), 1u, tovarine::test::kHangCeilingMs);
        workspace.revealInFileManager(resultDir + QStringLiteral("/model_morvel.3dm"), record);
        QTRY_COMPARE_WITH_TIMEOUT(reveals.size(), 2u, tovarine::test::kHangCeilingMs);
        EXPECT_EQ(reveals, (std::vector<Workspace::RevealOutcome>{c.reveal, c.reveal}));
        EXPECT_EQ(openedPaths(dir),
                  (QStringList{resultDir + QStringLiteral("/model.obj"), resultDir, resultDir}));
    }
}

TEST(DesktopWorkspace, AMissingOpenerOpensNothing)
{
    QTemporaryDir dir;
    DesktopWorkspace workspace(dir.filePath(QStringLiteral("no-such-opener")));
    std::optional<Workspace::OpenOutcome> opened;
    workspace.openFile(dir.path(), [&opened](Workspace::OpenOutcome outcome) { opened = outcome; });
    QTRY_VERIFY_WITH_TIMEOUT(opened.has_value(), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(*opened, Workspace::OpenOutcome::failed);
    std::optional<Workspace::RevealOutcome> revealed;
    workspace.revealInFileManager(dir.path(),
                                  [&revealed](Workspace::RevealOutcome outcome) { revealed = outcome; });
    QTRY_VERIFY_WITH_TIMEOUT(revealed.has_value(), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(*revealed, Workspace::RevealOutcome::failed);
}

} // namespace
} // namespace tovarine
