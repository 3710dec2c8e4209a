#include "DesktopWorkspace.h"

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

TEST(DesktopWorkspace, OpensFilesAndRevealsFallingBackToTheParentFolder)
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

    // Without a file manager answering on the session bus (none runs here), the parent folder is opened.
    workspace.revealInFileManager(resultDir + QLatin1Char('/'));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.urls.size(), 2, 30000);
    EXPECT_EQ(recorder.urls.last(), QUrl::fromLocalFile(dir.filePath(QStringLiteral("tovarine"))));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

} // namespace
} // namespace tovarine

#include "DesktopWorkspaceTest.moc"
