#include "FolderSettingsFile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

using namespace ostrel;

namespace {
// The icon a reader takes from `text`, as text for readable failures ("(none)" without one).
std::string readIcon(const QByteArray& text)
{
    return FolderSettingsFile::icon(text).value_or(QStringLiteral("(none)")).toStdString();
}
} // namespace

// KDE's folder settings file gets its icon key and keeps everything else, byte for byte.
TEST(FolderSettingsFile, SetsTheIconAndKeepsEveryOtherLine)
{
    struct Row
    {
        const char* what;
        QByteArray before;
        QByteArray after;
    };
    const Row rows[] = {
        {"no file yet", "", "[Desktop Entry]\nIcon=/f/.folder-icon.png\n"},
        {"the key replaced in place, other keys, comments and localised icons kept",
         "# made by hand\n[Desktop Entry]\nName=Photos\nIcon[de]=fotos\nIcon = old.png\nType=Directory\n",
         "# made by hand\n[Desktop Entry]\nName=Photos\nIcon[de]=fotos\nIcon=/f/.folder-icon.png\n"
         "Type=Directory\n"},
        {"the key added right after the group's header; other groups untouched",
         "[Dolphin]\nIcon=not-this\nViewMode=1\n[Desktop Entry]\nName=x\n",
         "[Dolphin]\nIcon=not-this\nViewMode=1\n[Desktop Entry]\nIcon=/f/.folder-icon.png\nName=x\n"},
        {"the group added at the end of a file without it, which lacked a last newline",
         "[Dolphin]\nVersion=4", "[Dolphin]\nVersion=4\n\n[Desktop Entry]\nIcon=/f/.folder-icon.png\n"},
        {"a key with option flags is the same key; a repeated group loses its later icon",
         "[Desktop Entry]\nIcon[$e]=$HOME/a.png\n[Other]\n[Desktop Entry]\nIcon=b.png\nX=1\n",
         "[Desktop Entry]\nIcon=/f/.folder-icon.png\n[Other]\n[Desktop Entry]\nX=1\n"},
        {"Windows line ends stay on the lines they were on", "[Desktop Entry]\r\nName=a\r\n",
         "[Desktop Entry]\r\nIcon=/f/.folder-icon.png\r\nName=a\r\n"},
        {"a subgroup is another group", "[Desktop Entry][Sub]\nIcon=keep\n",
         "[Desktop Entry][Sub]\nIcon=keep\n\n[Desktop Entry]\nIcon=/f/.folder-icon.png\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QByteArray written =
            FolderSettingsFile::withIcon(row.before, QStringLiteral("/f/.folder-icon.png"));
        EXPECT_EQ(written.toStdString(), row.after.toStdString());
        EXPECT_EQ(readIcon(written), "/f/.folder-icon.png");
    }
    EXPECT_FALSE(FolderSettingsFile::icon("[Other]\nIcon=x\n[Desktop Entry]\nIcon[de]=y\n").has_value());
}

// A folder's path may hold anything but NUL and '/' between slashes: what a reader of the file takes back is
// the path as given, and Qt's own reader of this syntax agrees where its rules are the same.
TEST(FolderSettingsFile, EscapesWhatTheSyntaxWouldOtherwiseChange)
{
    const struct
    {
        QString icon;
        QByteArray line;
    } rows[] = {
        {QStringLiteral("/home/ana/Ünïcode 🦊/.folder-icon.png"),
         "Icon=/home/ana/Ünïcode 🦊/.folder-icon.png"},
        {QStringLiteral(" /lead and trail "), "Icon=\\s/lead and trail\\s"},
        {QStringLiteral("/a\\b/new\nline\ttab\rret\x01"), "Icon=/a\\\\b/new\\nline\\ttab\\rret\\x01"},
        {QStringLiteral("/x/[Desktop Entry]=#;"), "Icon=/x/[Desktop Entry]=#;"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.icon.toStdString());
        const QByteArray written = FolderSettingsFile::withIcon({}, row.icon);
        EXPECT_EQ(written.toStdString(), ("[Desktop Entry]\n" + row.line + "\n").toStdString());
        EXPECT_EQ(readIcon(written), row.icon.toStdString());
    }
    QTemporaryDir dir;
    ASSERT_EQ(FolderSettingsFile::setIcon(dir.path(), QStringLiteral("/home/ana/my photos/.folder-icon.png")),
              std::nullopt);
    QSettings settings(dir.filePath(QStringLiteral(".directory")), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Desktop Entry/Icon")).toString().toStdString(),
              "/home/ana/my photos/.folder-icon.png");
}

TEST(FolderSettingsFile, WritesTheFileWholeAndLeavesWhatItCannotTakeAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".directory"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Dolphin]\nPreviewsShown=true\n");
    }
    ASSERT_EQ(FolderSettingsFile::setIcon(dir.path(), QStringLiteral("/i.png")), std::nullopt);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(),
              "[Dolphin]\nPreviewsShown=true\n\n[Desktop Entry]\nIcon=/i.png\n");
    written.close();

    // Larger than any settings file: not rewritten (nor cut short).
    const QByteArray huge(FolderSettingsFile::kMaxBytes + 1, 'x');
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(huge);
    }
    const auto refused = FolderSettingsFile::setIcon(dir.path(), QStringLiteral("/i.png"));
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->contains(QStringLiteral("left unchanged"))) << refused->toStdString();
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll() == huge);
    written.close();

    // A settings "file" that is a folder, and a folder that does not exist: said, nothing made.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral(".directory")));
    const auto unreadable = FolderSettingsFile::setIcon(dir.path(), QStringLiteral("/i.png"));
    ASSERT_TRUE(unreadable.has_value());
    EXPECT_TRUE(unreadable->contains(path)) << unreadable->toStdString();
    const QString missing = dir.filePath(QStringLiteral("gone"));
    EXPECT_TRUE(FolderSettingsFile::setIcon(missing, QStringLiteral("/i.png")).has_value());
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_TRUE(FolderSettingsFile::setIcon(QString(), QStringLiteral("/i.png")).has_value());
}
