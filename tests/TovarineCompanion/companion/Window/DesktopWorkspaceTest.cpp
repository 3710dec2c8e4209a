#include "DesktopWorkspace.h"
#include "HangCeiling.h"

#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

// Receives the file URLs the desktop would be asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST(DesktopWorkspace, OpensFilesAndRevealsFallingBackToTheFolderItself)
{
    QTemporaryDir dir;
    const QString resultDir = dir.filePath(QStringLiteral("tovarine/quiet-teacup"));
    ASSERT_TRUE(QDir().mkpath(resultDir));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    DesktopWorkspace workspace;
    EXPECT_TRUE(workspace.openFile(resultDir + QStringLiteral("/model.obj")));
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls.first(), QUrl::fromLocalFile(resultDir + QStringLiteral("/model.obj")));

    // Without a file manager answering on the session bus (none runs here), a folder is opened itself and a
    // file's folder is opened, and the outcome says so.
    std::vector<Workspace::RevealOutcome> outcomes;
    const auto record = [&outcomes](Workspace::RevealOutcome outcome) { outcomes.push_back(outcome); };
    workspace.revealInFileManager(resultDir + QLatin1Char('/'), record);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.urls.size(), 2, tovarine::test::kHangCeilingMs);
    EXPECT_EQ(recorder.urls.last(), QUrl::fromLocalFile(resultDir));
    workspace.revealInFileManager(resultDir + QStringLiteral("/model_morvel.3dm"), record);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.urls.size(), 3, tovarine::test::kHangCeilingMs);
    EXPECT_EQ(recorder.urls.last(), QUrl::fromLocalFile(resultDir));
    EXPECT_EQ(outcomes, (std::vector<Workspace::RevealOutcome>{Workspace::RevealOutcome::folderOpened,
                                                               Workspace::RevealOutcome::folderOpened}));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

} // namespace
} // namespace tovarine

#include "DesktopWorkspaceTest.moc"
