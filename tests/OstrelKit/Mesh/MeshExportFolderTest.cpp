#include "Mesh/OBJExporter.h"
#include "Mesh/STLExporter.h"
#include "ScratchWorkingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const std::vector<Float3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const std::vector<std::uint32_t> kOneFace = {0, 1, 2};

// What one writer left: the path it returned and the message of its failure.
struct Written
{
    std::optional<QString> filePath;
    QString error;
};

Written exportObj(const QString& name, const std::optional<QString>& directory)
{
    const OBJExporter::ExportConfig config(QStringLiteral("Kit"), name, 0, 0.0001f, true,
                                           [] { return QStringLiteral("newmtl m\n"); });
    const auto r = OBJExporter::exportMesh(kTriangle, {}, kOneFace, config, directory);
    return {r.filePath, r.error};
}

Written exportStl(const QString& name, const std::optional<QString>& directory)
{
    const auto r =
        STLExporter::exportMesh(kTriangle, {}, kOneFace, name, QStringLiteral("Kit"), 0, directory);
    return {r.filePath, r.error};
}

struct Writer
{
    const char* label;
    Written (*run)(const QString&, const std::optional<QString>&);
    QStringList files; // what one export of "m" writes
};

const Writer kWriters[] = {{"obj", exportObj, {"m.obj", "m.mtl"}}, {"stl", exportStl, {"m.stl"}}};

// A home folder whose desktop folder the user's desktop names "Schreibtisch" (a German desktop): there is no
// ~/Desktop. `makeDesktop` says whether the named folder exists.
class LocalisedHome
{
public:
    explicit LocalisedHome(bool makeDesktop)
        : m_oldHome(qgetenv("HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + "/.config"));
        QDir().mkpath(m_home.path() + "/.config");
        if (makeDesktop) {
            QDir().mkpath(desktop());
        }
        QFile dirs(m_home.path() + "/.config/user-dirs.dirs");
        if (dirs.open(QIODevice::WriteOnly)) {
            dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
        }
    }
    ~LocalisedHome()
    {
        qputenv("HOME", m_oldHome);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString path() const { return m_home.path(); }
    QString desktop() const { return m_home.path() + "/Schreibtisch"; }

private:
    QTemporaryDir m_home;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
};

} // namespace

// A name beginning with ':' is a Qt resource path to QDir::filePath; the exporters still write it as a file
// inside the chosen folder, and nothing appears in the working folder.
TEST(MeshExportFolder, NamesBeginningWithAColonStayInTheFolder)
{
    for (const Writer& writer : kWriters) {
        for (const QString name : {":x", ":evil", "::", ":x.stl"}) {
            SCOPED_TRACE(std::string(writer.label) + " " + name.toStdString());
            tovarine::test::ScratchWorkingFolder working;
            QTemporaryDir folder;
            const Written w = writer.run(name, folder.path());
            ASSERT_TRUE(w.filePath) << w.error.toStdString();
            EXPECT_TRUE(w.error.isEmpty());
            EXPECT_EQ(QFileInfo(*w.filePath).absolutePath(), folder.path());
            EXPECT_TRUE(QFileInfo(*w.filePath).fileName().startsWith(name));
            EXPECT_TRUE(QFileInfo::exists(*w.filePath));
            EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), writer.files.size());
            EXPECT_EQ(working.entries(), QStringList());
        }
        // A ':' name with a separator in it is refused with a message, and writes nowhere.
        tovarine::test::ScratchWorkingFolder working;
        QTemporaryDir folder;
        const Written w = writer.run(":/abs", folder.path());
        EXPECT_FALSE(w.filePath);
        EXPECT_FALSE(w.error.isEmpty());
        EXPECT_TRUE(QDir(folder.path()).isEmpty());
        EXPECT_EQ(working.entries(), QStringList());
    }
}

// A chosen folder given relative to the working folder and beginning with ':' is that folder, not a Qt
// resource: the files land in it, and its missing sibling is refused by its own name.
TEST(MeshExportFolder, AFolderBeginningWithAColonIsAFolderOfTheWorkingFolder)
{
    for (const Writer& writer : kWriters) {
        for (const QString folder : {":out", ":out/", "::", ":out/:in"}) {
            SCOPED_TRACE(std::string(writer.label) + " " + folder.toStdString());
            tovarine::test::ScratchWorkingFolder working;
            ASSERT_TRUE(QDir().mkpath("./" + folder));
            const Written w = writer.run("m", folder);
            ASSERT_TRUE(w.filePath) << w.error.toStdString();
            EXPECT_TRUE(w.error.isEmpty());
            EXPECT_EQ(QFileInfo(*w.filePath).canonicalPath(), QDir("./" + folder).canonicalPath());
            QStringList files = writer.files;
            files.sort();
            EXPECT_EQ(QDir("./" + folder).entryList(QDir::Files, QDir::Name), files);
        }
        tovarine::test::ScratchWorkingFolder working;
        const Written missing = writer.run("m", QStringLiteral(":absent"));
        EXPECT_FALSE(missing.filePath);
        EXPECT_EQ(missing.error, QStringLiteral("Could not export: the folder :absent does not exist."));
        EXPECT_EQ(working.entries(), QStringList());
    }
}

// Without a folder the exporters write to the desktop folder the user's desktop names, not to a literal
// ~/Desktop; with no such folder they write nothing and say why.
TEST(MeshExportFolder, WithoutAFolderTheyWriteToTheLocalisedDesktop)
{
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.label);
        {
            const LocalisedHome home(true);
            const Written w = writer.run("m", std::nullopt);
            ASSERT_TRUE(w.filePath) << w.error.toStdString();
            EXPECT_EQ(QFileInfo(*w.filePath).absolutePath(), home.desktop());
            QStringList files = writer.files;
            files.sort();
            EXPECT_EQ(QDir(home.desktop()).entryList(QDir::Files, QDir::Name), files);
            EXPECT_FALSE(QFileInfo::exists(home.path() + "/Desktop"));
        }
        {
            const LocalisedHome home(false);
            const Written w = writer.run("m", std::nullopt);
            EXPECT_FALSE(w.filePath);
            EXPECT_TRUE(w.error.contains(home.desktop())) << w.error.toStdString();
            EXPECT_FALSE(QFileInfo::exists(home.desktop()));
            EXPECT_FALSE(QFileInfo::exists(home.path() + "/Desktop"));
        }
    }
}

// Every failure to write carries its message: a missing chosen folder and a refused name.
TEST(MeshExportFolder, FailuresToWriteSayWhy)
{
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.label);
        QTemporaryDir folder;
        const QString missing = folder.path() + "/missing";
        const Written absent = writer.run("m", missing);
        EXPECT_FALSE(absent.filePath);
        EXPECT_TRUE(absent.error.contains(missing)) << absent.error.toStdString();
        const Written refused = writer.run("../m", folder.path());
        EXPECT_FALSE(refused.filePath);
        EXPECT_FALSE(refused.error.isEmpty());
    }
}
