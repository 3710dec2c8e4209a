#include "DocumentGroupLaunchGuard.h"
#include "HangCeiling.h"
#include "OstrelIconGenerator.h"
#include "ScopedLocale.h"
#include "ScratchWorkingFolder.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <locale.h>

using namespace ostrel;

namespace {

class Adopter : public DocumentGroupLaunchGuard
{
public:
    bool launchedByFile() const override { return m_launchedByFile; }
    void setLaunchedByFile(bool value) override { m_launchedByFile = value; }

private:
    bool m_launchedByFile = false;
};

QPointer<QWidget> window(const QString& title, bool visible = true)
{
    auto* w = new QWidget;
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->setWindowTitle(title);
    if (visible) {
        w->show();
    }
    return w;
}

} // namespace

TEST(DocumentGroupLaunchGuard, FlagsAndSuppressionKey)
{
    QTemporaryDir dir;
    tovarine::test::useTemporarySettings(dir);
    Adopter adopter;
    EXPECT_TRUE(adopter.shouldOpenUntitledFile());
    adopter.markLaunchedByFile();
    EXPECT_TRUE(adopter.launchedByFile());
    EXPECT_FALSE(adopter.shouldOpenUntitledFile());
    adopter.suppressDocumentGroupPicker();
    EXPECT_TRUE(UserDefaults::standard().boolean(QStringLiteral("NSDocumentSuppressOpenUntitled"), false));
}

TEST(DocumentGroupLaunchGuard, SweepClosesPickersOnly)
{
    auto open = window(QStringLiteral("OPEN"));
    auto browser = window(QStringLiteral("Project Browser window"));
    auto untitled = window(QString());
    auto hiddenUntitled = window(QString(), false);
    auto preferences = window(QStringLiteral("Preferences"));
    auto document = window(QStringLiteral("open"));
    document->setWindowFilePath(QStringLiteral("/tmp/model.obj"));
    auto* dialog = new QFileDialog; // a save panel keeps its title, yet panels always close
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowTitle(QStringLiteral("Save As"));
    dialog->show();
    auto* main = new QMainWindow; // the application's main window, whatever its title
    main->show();
    auto kit = window(QString());
    kit->setObjectName(QStringLiteral("OstrelAboutPanel"));

    QMenu menu; // opened last: a popup closes when another window shows
    menu.addAction(QStringLiteral("Item"));
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(menu.isVisible());

    DocumentGroupLaunchGuard::sweepPickerWindows();
    EXPECT_FALSE(open->isVisible());
    EXPECT_FALSE(browser->isVisible());
    EXPECT_FALSE(untitled->isVisible());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(preferences->isVisible());
    EXPECT_TRUE(document->isVisible());
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(kit->isVisible());
    EXPECT_FALSE(hiddenUntitled->isVisible()); // left alone: nothing to close
    delete main;
    delete dialog;
}

TEST(DocumentGroupLaunchGuard, SweepsRunForOnePointFiveSecondsAndStopWithTheAdopter)
{
    auto early = window(QStringLiteral("Open"));
    auto adopter = std::make_unique<Adopter>();
    adopter->dismissPickerWindows();
    EXPECT_TRUE(early->isVisible()); // nothing runs inside the call
    QTRY_VERIFY_WITH_TIMEOUT(!early->isVisible(), tovarine::test::kHangCeilingMs);
    QTest::qWait(300);
    auto late = window(QStringLiteral("Open"));
    QTest::qWait(300);
    EXPECT_FALSE(late->isVisible()); // still sweeping at 0.6 s
    adopter.reset();                 // remaining sweeps do nothing
    auto orphan = window(QStringLiteral("Open"));
    QTest::qWait(1200);
    EXPECT_TRUE(orphan->isVisible());
}

TEST(OstrelIconGenerator, RendersTheEmojiCentredInColour)
{
    const QImage image = OstrelIconGenerator::renderEmoji(QStringLiteral("🦊"), 128);
    ASSERT_EQ(image.size(), QSize(128, 128));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    int coloured = 0;
    double sumX = 0;
    double sumY = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 &&
                std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 40) {
                ++coloured;
                sumX += x;
                sumY += y;
            }
        }
    }
    ASSERT_GT(coloured, 1000) << "the colour emoji font did not draw";
    EXPECT_NEAR(sumX / coloured, 64, 12);
    EXPECT_NEAR(sumY / coloured, 64, 16);
    EXPECT_TRUE(OstrelIconGenerator::renderEmoji(QStringLiteral("x"), 0).isNull());
    // Several characters stay one line at the same size, clipped by the square.
    EXPECT_EQ(OstrelIconGenerator::renderEmoji(QStringLiteral("🦊🦊🦊"), 64).size(), QSize(64, 64));
}

TEST(OstrelIconGenerator, WritesTheSevenSizesAndReportsOnlyRealFiles)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("new/icons"));
    const QStringList files =
        OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"), out, QStringLiteral("AppIcon"));
    QStringList names;
    for (const QString& path : files) {
        names << QFileInfo(path).fileName();
        EXPECT_EQ(QImage(path).width(), QFileInfo(path).baseName().section(QLatin1Char('_'), 1).toInt());
    }
    EXPECT_EQ(names, (QStringList{"AppIcon_1024.png", "AppIcon_512.png", "AppIcon_256.png", "AppIcon_128.png",
                                  "AppIcon_64.png", "AppIcon_32.png", "AppIcon_16.png"}));

    // A folder that cannot be made: nothing written, nothing claimed.
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"),
                                                         blocker.fileName() + QStringLiteral("/sub"),
                                                         QStringLiteral("AppIcon"))
                    .isEmpty());
}

// A path that is no folder, or a folder nothing can be written into: the result names it and says why, and
// nothing is made. (Folders that take the icon are set over a private session bus in the file icon tests.)
TEST(OstrelIconGenerator, AFolderThatCannotTakeAnIconIsNamedAndLeftAlone)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const struct
    {
        QString folder;
        QString says;
    } rows[] = {
        {QString(), QStringLiteral("No folder was given.")},
        {dir.filePath(QStringLiteral("gone")), QStringLiteral("is not a folder")},
        {file.fileName(), QStringLiteral("is not a folder")},
        // Not writable even by root.
        {QStringLiteral("/proc"), QStringLiteral("Could not write /proc/.folder-icon.png: ")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder.toStdString());
        const QString result = OstrelIconGenerator::setFolderIcon(QStringLiteral("🦊"), row.folder);
        EXPECT_TRUE(result.contains(row.says)) << result.toStdString();
        EXPECT_TRUE(result.contains(row.folder)) << result.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("file")});
}

TEST(OstrelIconGenerator, APrefixNeverReachesOutsideTheChosenFolder)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("out/icons"));
    ASSERT_TRUE(QDir().mkpath(chosen + QStringLiteral("/a"))); // so "a/../../b" could be walked
    for (const QString& prefix : {QStringLiteral("../x"), dir.filePath(QStringLiteral("abs")),
                                  QStringLiteral("a/../../b"), QStringLiteral("..\\y")}) {
        SCOPED_TRACE(prefix.toStdString());
        EXPECT_TRUE(
            OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"), chosen, prefix).isEmpty());
    }
    QDirIterator files(dir.path(), {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_FALSE(files.hasNext()) << files.next().toStdString();
    // A prefix with dots but no separator is a plain file name inside the folder.
    const QStringList inside =
        OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"), chosen, QStringLiteral("..icon"));
    ASSERT_EQ(inside.size(), 7);
    for (const QString& path : inside) {
        EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(chosen).absolutePath());
    }
}

// A prefix beginning with ':' is a Qt resource path to QDir::filePath: the files still go inside the chosen
// folder and nothing appears in the working folder.
TEST(OstrelIconGenerator, APrefixBeginningWithAColonStaysInTheFolder)
{
    for (const QString prefix : {":x", ":evil", "::"}) {
        SCOPED_TRACE(prefix.toStdString());
        tovarine::test::ScratchWorkingFolder working;
        QTemporaryDir dir;
        const QStringList written =
            OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"), dir.path(), prefix);
        ASSERT_EQ(written.size(), 7);
        for (const QString& path : written) {
            EXPECT_EQ(QFileInfo(path).absolutePath(), dir.path());
            EXPECT_TRUE(QFileInfo(path).fileName().startsWith(prefix + "_"));
            EXPECT_FALSE(QImage(path).isNull());
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 7);
        EXPECT_EQ(working.entries(), QStringList());
    }
    tovarine::test::ScratchWorkingFolder working;
    QTemporaryDir dir;
    EXPECT_TRUE(
        OstrelIconGenerator::generateAppIconPNGs(QStringLiteral("🦊"), dir.path(), ":/abs").isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    EXPECT_EQ(working.entries(), QStringList());
}

namespace {

// The C library's text for `error` in the language of `locale` (null: this process's own), as a program
// started under that locale says it.
QString systemReason(int error, const char* locale)
{
    if (!locale) {
        return QString::fromLocal8Bit(std::strerror(error));
    }
    const locale_t loaded = newlocale(LC_ALL_MASK, locale, locale_t(nullptr));
    if (!loaded) {
        return QString();
    }
    const QString text = QString::fromLocal8Bit(strerror_l(error, loaded));
    freelocale(loaded);
    return text;
}

} // namespace

// When the icon tool writes nothing it says why: the refused prefix, or the file system's reason in the
// user's language (the tool runs in this process's locale, then in some others the machine has).
TEST(OstrelIconGenerator, TheIconToolSaysWhyItWroteNothing)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const char* const locales[] = {nullptr, "C.UTF-8", tovarine::test::kCommaLocale,
                                   tovarine::test::kDotlessILocale};
    for (const char* locale : locales) {
        SCOPED_TRACE(locale ? locale : "this process's locale");
        if (locale && systemReason(ENOTDIR, locale).isEmpty()) {
            GTEST_LOG_(INFO) << locale << " is not available here";
            continue;
        }
        struct Row
        {
            QString folder;
            QString prefix;
            QString why;
        };
        const Row rows[] = {
            {dir.path(), QStringLiteral("a/b"), QStringLiteral("the prefix a/b holds '/'")},
            {dir.path(), QString(250, QLatin1Char('x')), systemReason(ENAMETOOLONG, locale)},
            {blocker.fileName() + QStringLiteral("/sub"), QStringLiteral("AppIcon"),
             QStringLiteral("could not make the folder ") + blocker.fileName() + QStringLiteral("/sub: ") +
                 systemReason(ENOTDIR, locale)},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.why.toStdString());
            ASSERT_FALSE(row.why.endsWith(QStringLiteral(": ")) || row.why.isEmpty());
            QProcess tool;
            if (locale) {
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
                tool.setProcessEnvironment(environment);
            }
            tool.start(QString::fromUtf8(TOVARINE_ICON_SET_TOOL),
                       {QStringLiteral("🦊"), row.folder, row.prefix});
            ASSERT_TRUE(tool.waitForFinished(tovarine::test::kHangCeilingMs));
            EXPECT_EQ(tool.exitCode(), 1);
            const QString said = QString::fromUtf8(tool.readAllStandardError());
            const QString prefix = QStringLiteral("tovarine-icon-set: wrote 0 of 7 icons into ") + row.folder;
            const qsizetype at = said.indexOf(prefix);
            ASSERT_GE(at, 0) << said.toStdString();
            const QString line = said.mid(at).section(QLatin1Char('\n'), 0, 0);
            EXPECT_TRUE(line.startsWith(prefix + QStringLiteral(": "))) << line.toStdString();
            EXPECT_TRUE(line.contains(row.why)) << line.toStdString();
        }
    }
    QDirIterator files(dir.path(), {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_FALSE(files.hasNext());
}

TEST(OstrelIconGenerator, SetsTheWindowIconAndAnEmptyListChangesNothing)
{
    QApplication::setWindowIcon(QIcon());
    OstrelIconGenerator::setDockIcon(QStringList{});
    EXPECT_TRUE(QApplication::windowIcon().isNull());
    OstrelIconGenerator::setDockIcon(QStringList{QStringLiteral("🦊"), QStringLiteral("🐙")}, 64);
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}
