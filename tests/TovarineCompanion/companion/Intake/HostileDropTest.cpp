// Drops a hostile or unlucky user could make: names that clean to "." or "..", links out of a capture,
// zips named like patterns, zip bombs, a killed earlier run, a full or read-only Desktop.
#include "DropIntakeRules.h"
#include "DropTestFixture.h"
#include "IntakeTestSupport.h"
#include "PrivateTempFolder.h"
#include "QStringPrinter.h"
#include "ScratchWorkingFolder.h"
#include "TestSupport.h"
#include "Wordbank.h"
#include "ZipUnpacker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <archive.h>
#include <archive_entry.h>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

struct ZipEntry
{
    enum class Type { file, folder, link };
    ZipEntry(QByteArray name, QByteArray data = {}, Type type = Type::file, QByteArray linkTarget = {})
        : name(std::move(name)), data(std::move(data)), type(type), linkTarget(std::move(linkTarget))
    {
    }
    QByteArray name;
    QByteArray data;
    Type type;
    QByteArray linkTarget;
};

// Writes a zip of exactly these entries (deflated), links and hostile names included.
bool writeZip(const QString& path, const std::vector<ZipEntry>& entries)
{
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    if (archive_write_open_filename(writer, QFile::encodeName(path).constData()) != ARCHIVE_OK) {
        archive_write_free(writer);
        return false;
    }
    bool ok = true;
    for (const ZipEntry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        switch (e.type) {
        case ZipEntry::Type::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, e.data.size());
            break;
        case ZipEntry::Type::folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
            break;
        case ZipEntry::Type::link:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_perm(entry, 0777);
            archive_entry_set_symlink(entry, e.linkTarget.constData());
            break;
        }
        ok = ok && archive_write_header(writer, entry) == ARCHIVE_OK;
        if (e.type == ZipEntry::Type::file && !e.data.isEmpty()) {
            ok = ok && archive_write_data(writer, e.data.constData(), e.data.size()) == e.data.size();
        }
        archive_entry_free(entry);
    }
    ok = archive_write_close(writer) == ARCHIVE_OK && ok;
    archive_write_free(writer);
    return ok;
}

std::vector<ZipEntry> captureEntries(const QByteArray& folder, const QByteArray& label)
{
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 3; ++i) {
        entries.push_back({folder + "/Images/frame_0000" + QByteArray::number(i) + ".jpg", "jpeg"});
    }
    entries.push_back({folder + "/label.txt", label});
    return entries;
}

class HostileDropTest : public test::DropTestFixture
{
protected:
    QString privateDir() const { return path(QStringLiteral("tmp/tovarine-%1").arg(::geteuid())); }
    QStringList unpacked() const
    {
        return QDir(privateDir() + QStringLiteral("/tovarine-drop"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
};

TEST(DropIntakeNames, HostileNamesCleanToOneSafeComponent)
{
    const struct
    {
        const char* root;
        QString name; // empty: the clock's Wordbank name
    } cases[] = {
        {"/x/...mug", QStringLiteral("mug")}, {"/x/...", {}},
        {"/x/..x", QStringLiteral("x")},      {"/x/.hidden", QStringLiteral("hidden")},
        {"/x/..x.zip", QStringLiteral("x")},  {"/x/.../", {}},
        {"/x/. .", QStringLiteral(" ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        const QString name = DropIntakeRules::cleanOutputName(QString::fromUtf8(c.root), 1302);
        EXPECT_EQ(name, c.name.isEmpty() ? Wordbank::name(1302) : c.name);
        EXPECT_TRUE(DropIntakeRules::isSafeComponent(name));
    }
    for (const char* unsafe : {"", ".", "..", ".x", "a/b"}) {
        EXPECT_FALSE(DropIntakeRules::isSafeComponent(QString::fromUtf8(unsafe))) << unsafe;
    }
}

TEST_F(HostileDropTest, FolderNamesThatCleanToDotsNeverMakeTheResultTheDesktopOrTovarine)
{
    // What the user keeps on the Desktop and in tovarine/ itself.
    test::writeFile(path(QStringLiteral("Desktop/Images/mine.jpg")), "mine");
    test::writeFile(path(QStringLiteral("Desktop/label.txt")), "mine");
    test::writeFile(path(QStringLiteral("Desktop/tovarine/label.txt")), "mine");
    test::writeFile(path(QStringLiteral("Desktop/tovarine/model.obj")), "mine");
    test::writeFile(path(QStringLiteral("Desktop/tovarine/phone_morvel_settings.json")), "mine");

    for (const char* name : {"...mug", "...", "..x"}) {
        SCOPED_TRACE(name);
        const QString capture =
            makeCapture(QStringLiteral("drops/") + QString::fromUtf8(name), 3, "hostile", "phone");
        const State final = drop(capture);
        ASSERT_EQ(final.kind, State::Kind::done) << final.message.toStdString();
        EXPECT_EQ(QFileInfo(final.resultDir).absolutePath(), tovarineDir());
        EXPECT_TRUE(DropIntakeRules::isSafeComponent(QFileInfo(final.resultDir).fileName()));
        EXPECT_EQ(test::readFile(final.resultDir + QStringLiteral("/label.txt")), QByteArray("hostile"));
    }
    EXPECT_EQ(QDir(path(QStringLiteral("Desktop/Images"))).entryList(QDir::Files),
              QStringList{QStringLiteral("mine.jpg")});
    EXPECT_EQ(test::readFile(path(QStringLiteral("Desktop/label.txt"))), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Desktop/model.obj"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Desktop/tovarine/Images"))));
    EXPECT_EQ(test::readFile(path(QStringLiteral("Desktop/tovarine/label.txt"))), QByteArray("mine"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("Desktop/tovarine/model.obj"))), QByteArray("mine"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("Desktop/tovarine/phone_morvel_settings.json"))),
              QByteArray("mine"));
}

// A folder name beginning with ':' is a Qt resource path to QDir::filePath: the capture is still found inside
// the drop, the result folder is made inside tovarine/, and nothing appears in the working folder.
TEST_F(HostileDropTest, NamesBeginningWithAColonStayInTheirFolders)
{
    const test::ScratchWorkingFolder working;
    for (const char* name : {":mug", "::"}) {
        SCOPED_TRACE(name);
        // The frames sit one folder down, in a child whose name also begins with ':'.
        const QString dropped = path(QStringLiteral("drops/") + QString::fromUtf8(name));
        makeCapture(QStringLiteral("drops/") + QString::fromUtf8(name) + QStringLiteral("/:inner"), 3,
                    "colon");
        const State final = drop(dropped);
        ASSERT_EQ(final.kind, State::Kind::done) << final.message.toStdString();
        EXPECT_EQ(final.resultDir, resultDir(QString::fromUtf8(name)));
        EXPECT_EQ(test::readFile(final.resultDir + QStringLiteral("/label.txt")), QByteArray("colon"));
        EXPECT_EQ(QDir(final.resultDir + QStringLiteral("/Images")).entryList(QDir::Files).size(), 3);
        EXPECT_EQ(working.entries(), QStringList());
    }
}

TEST_F(HostileDropTest, LinksInACaptureAreNeverFollowed)
{
    const QString secret = path(QStringLiteral("secret"));
    test::writeFile(secret + QStringLiteral("/id_key.jpg"), "PRIVATE KEY");
    test::writeFile(secret + QStringLiteral("/notes.txt"), "PRIVATE NOTES");
    const QByteArray secretNative = QFile::encodeName(secret);

    // A zip of nothing but a link named Images: no frames folder at all.
    ASSERT_TRUE(writeZip(path(QStringLiteral("only-link.zip")),
                         {{"cap/Images", {}, ZipEntry::Type::link, secretNative}}));
    const State onlyLink = drop(path(QStringLiteral("only-link.zip")));
    EXPECT_EQ(onlyLink,
              State::failed(QStringLiteral("No Images/ folder with JPEG frames was found inside the drop.")));

    // Real frames beside a linked frame, a linked label and linked phone settings: only the real files come.
    std::vector<ZipEntry> mixed = captureEntries("cap", "ignored");
    mixed.pop_back();
    mixed.push_back({"cap/Images/stolen.jpg", {}, ZipEntry::Type::link, secretNative + "/id_key.jpg"});
    mixed.push_back({"cap/label.txt", {}, ZipEntry::Type::link, secretNative + "/notes.txt"});
    mixed.push_back(
        {"cap/model_morvel_settings.json", {}, ZipEntry::Type::link, secretNative + "/notes.txt"});
    ASSERT_TRUE(writeZip(path(QStringLiteral("mixed.zip")), mixed));
    const State zipped = drop(path(QStringLiteral("mixed.zip")));
    ASSERT_EQ(zipped.kind, State::Kind::done) << zipped.message.toStdString();

    // The same as a dropped folder: links the user's own tools made are not followed either.
    const QString folder = makeCapture(QStringLiteral("linked capture"));
    ASSERT_TRUE(
        QFile::link(secret + QStringLiteral("/id_key.jpg"), folder + QStringLiteral("/Images/stolen.jpg")));
    ASSERT_TRUE(QFile::link(secret + QStringLiteral("/notes.txt"), folder + QStringLiteral("/label.txt")));
    const State dropped = drop(folder);
    ASSERT_EQ(dropped.kind, State::Kind::done) << dropped.message.toStdString();

    for (const State& state : {zipped, dropped}) {
        SCOPED_TRACE(state.resultDir.toStdString());
        EXPECT_EQ(QDir(state.resultDir + QStringLiteral("/Images"))
                      .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                  test::numberedNames(QStringLiteral("frame_"), 3));
        EXPECT_FALSE(QFileInfo::exists(state.resultDir + QStringLiteral("/label.txt")));
        EXPECT_FALSE(QFileInfo::exists(state.resultDir + QStringLiteral("/phone_morvel_settings.json")));
    }
    // A frames folder that is itself a link is passed over like a missing one.
    const QString linkedImages = path(QStringLiteral("linked images"));
    QDir().mkpath(linkedImages);
    ASSERT_TRUE(QFile::link(secret, linkedImages + QStringLiteral("/Images")));
    EXPECT_EQ(drop(linkedImages).kind, State::Kind::failed);
    EXPECT_TRUE(unpacked().isEmpty());
}

TEST_F(HostileDropTest, ZipNamesAreTakenLiterallyNotAsPatterns)
{
    const struct
    {
        const char* zip;
        QByteArray label;
    } zips[] = {{"cap*.zip", "star"},
                {"capture-other.zip", "other"},
                {"[1].zip", "brackets"},
                {"1.zip", "one"},
                {"cap?.zip", "question"}};
    for (const auto& z : zips) {
        ASSERT_TRUE(writeZip(path(QString::fromUtf8(z.zip)), captureEntries("c", z.label)));
    }
    for (const auto& z : zips) {
        SCOPED_TRACE(z.zip);
        const State final = drop(path(QString::fromUtf8(z.zip)));
        ASSERT_EQ(final.kind, State::Kind::done) << final.message.toStdString();
        EXPECT_EQ(test::readFile(final.resultDir + QStringLiteral("/label.txt")), z.label);
        EXPECT_EQ(QDir(final.resultDir + QStringLiteral("/Images")).entryList(QDir::Files).size(), 3);
    }
}

TEST(ZipUnpacker, EntriesStayInsideAndOnlyFilesAndFoldersAreWritten)
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("hostile.zip"));
    ASSERT_TRUE(writeZip(zip, {{"../escaped.txt", "out"},
                               {"a/../../escaped2.txt", "out"},
                               {"/abs.txt", "out"},
                               {"ok/./file.txt", "in"},
                               {"ok/file.txt", "second copy"},
                               {"ok/sub", {}, ZipEntry::Type::folder},
                               {"ok/link", {}, ZipEntry::Type::link, "/etc/passwd"}}));
    const QString destination = dir.filePath(QStringLiteral("inside/out"));
    QDir().mkpath(dir.filePath(QStringLiteral("inside")));
    const auto result = ZipUnpacker::unpack(zip, destination);
    ASSERT_TRUE(result) << result.error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("inside/escaped.txt"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escaped.txt"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escaped2.txt"))));
    EXPECT_FALSE(QFileInfo::exists(destination + QStringLiteral("/abs.txt")));
    EXPECT_EQ(test::readFile(destination + QStringLiteral("/ok/file.txt")), QByteArray("in"));
    EXPECT_TRUE(QFileInfo(destination + QStringLiteral("/ok/sub")).isDir());
    EXPECT_FALSE(QFileInfo(destination + QStringLiteral("/ok/link")).isSymLink());
    EXPECT_EQ(QFile::permissions(destination) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
}

TEST(ZipUnpacker, BombsAndZipsPastTheFreeSpaceAreRefusedBeforeAnythingIsWritten)
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("bomb.zip"));
    // 8 MiB of zeros deflate to a few kilobytes: a thousand to one.
    ASSERT_TRUE(writeZip(zip, {{"cap/Images/frame_00000.jpg", QByteArray(8 << 20, '\0')}}));
    ASSERT_LT(QFileInfo(zip).size(), 100 * 1024);

    ZipUnpacker::Limits limits;
    limits.ratioFreeBytes = 1 << 20;
    const QString bombed = dir.filePath(QStringLiteral("bombed"));
    auto result = ZipUnpacker::unpack(zip, bombed, nullptr, limits);
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().startsWith(QStringLiteral("the zip claims to unpack to 8.4 MB from ")))
        << result.error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(bombed));

    limits = {};
    limits.freeBytesOverride = 70LL << 20; // the 64 MiB reserve and the 8 MiB do not fit
    const QString full = dir.filePath(QStringLiteral("full"));
    result = ZipUnpacker::unpack(zip, full, nullptr, limits);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(),
              QStringLiteral("not enough space on %1: the zip unpacks to 8.4 MB and 73 MB are free.")
                  .arg(dir.path()));
    EXPECT_FALSE(QFileInfo::exists(full));

    // Within the limits it unpacks.
    limits.freeBytesOverride = -1;
    EXPECT_TRUE(ZipUnpacker::unpack(zip, dir.filePath(QStringLiteral("fine")), nullptr, limits));
}

TEST_F(HostileDropTest, ABombDropFailsClearlyAndLeavesNothingUnpacked)
{
    // The default limits: 100 MiB from a zip of a few hundred kilobytes.
    ASSERT_TRUE(writeZip(path(QStringLiteral("bomb.zip")),
                         {{"cap/Images/frame_00000.jpg", QByteArray(100 << 20, '\0')}}));
    const State final = drop(path(QStringLiteral("bomb.zip")));
    ASSERT_EQ(final.kind, State::Kind::failed);
    EXPECT_TRUE(
        final.message.startsWith(QStringLiteral("Couldn't unzip: the zip claims to unpack to 105 MB")))
        << final.message.toStdString();
    EXPECT_TRUE(unpacked().isEmpty());
}

// Runs in a mount namespace of its own (this binary started again under unshare) with three 1 MiB
// file systems: a read-only Desktop, a full Desktop and a full temporary folder.
TEST_F(HostileDropTest, FullAndReadOnlyPlacesAreNamedInTheMessage)
{
    const QString mounts = qEnvironmentVariable("TOVARINE_TEST_MOUNTS");
    if (mounts.isEmpty()) {
        const std::optional<bool> passed = test::runInMountNamespace(
            QStringLiteral("HostileDropTest.FullAndReadOnlyPlacesAreNamedInTheMessage"),
            QStringLiteral("for d in ro full tmpfull; do mkdir -p \"$1/$d\"; mount -t tmpfs -o size=1m none "
                           "\"$1/$d\"; done; mount -o remount,ro \"$1/ro\""),
            path(QStringLiteral("mounts")), QStringLiteral("TOVARINE_TEST_MOUNTS"));
        if (!passed) {
            GTEST_SKIP() << "unshare -rm is refused here: no private mounts for the full-disk case";
        }
        EXPECT_TRUE(*passed) << "the run in the mount namespace failed (its output is above)";
        return;
    }

    // Frames that do not compress, 1.8 MB in all: more than a 1 MiB Desktop holds.
    const QString capture = makeCapture(QStringLiteral("big"), 0);
    QByteArray noise(600 * 1000, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(QRandomGenerator::global()->generate());
    }
    for (int i = 0; i < 3; ++i) {
        test::writeFile(capture + QStringLiteral("/Images/frame_0000%1.jpg").arg(i), noise);
    }
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 3; ++i) {
        entries.push_back({"big/Images/frame_0000" + QByteArray::number(i) + ".jpg", noise});
    }
    ASSERT_TRUE(writeZip(path(QStringLiteral("big.zip")), entries));

    const struct
    {
        const char* name;
        QString desktop;
        QString temp;
        QString item;
        QString messageStart;
    } cases[] = {
        {"read-only Desktop", mounts + QStringLiteral("/ro"), path(QStringLiteral("tmp")), capture,
         QStringLiteral("Couldn't stage frames: %1/ro is not writable.").arg(mounts)},
        {"full Desktop", mounts + QStringLiteral("/full"), path(QStringLiteral("tmp")), capture,
         QStringLiteral(
             "Couldn't stage frames: not enough space on %1/full/tovarine/big: the frames need 1.8 MB")
             .arg(mounts)},
        {"full temporary folder", path(QStringLiteral("Desktop")), mounts + QStringLiteral("/tmpfull"),
         path(QStringLiteral("big.zip")),
         QStringLiteral(
             "Couldn't unzip: not enough space on %1/tmpfull/tovarine-%2/tovarine-drop: the zip unpacks "
             "to 1.8 MB")
             .arg(mounts)
             .arg(::geteuid())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DropReconstruction::Environment environment;
        environment.desktopDir = c.desktop;
        environment.tempDir = c.temp;
        environment.sessionFactory = m_engine.factory();
        m_drop = std::make_unique<DropReconstruction>(environment);
        const State final = drop(c.item);
        ASSERT_EQ(final.kind, State::Kind::failed);
        EXPECT_TRUE(final.message.startsWith(c.messageStart)) << final.message.toStdString();
    }
}

TEST(PrivateTempFolder, IsPrivateAndRefusesAFolderPlantedByAnotherUserOrALink)
{
    QTemporaryDir dir;
    const QString expected = dir.filePath(QStringLiteral("tovarine-%1").arg(::geteuid()));
    // A folder left open to everyone is taken back.
    ASSERT_TRUE(QDir().mkpath(expected));
    QFile::setPermissions(expected, QFileDevice::Permissions(0x7777));
    const auto made = PrivateTempFolder::ensure(dir.path());
    ASSERT_TRUE(made) << made.error().toStdString();
    EXPECT_EQ(*made, expected);
    EXPECT_EQ(QFileInfo(expected).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther |
                                                   QFileDevice::ReadGroup | QFileDevice::WriteGroup),
              0);

    // A link in its place (pointing at a folder we own) is not used.
    QTemporaryDir other;
    const QString linked = other.filePath(QStringLiteral("tovarine-%1").arg(::geteuid()));
    ASSERT_TRUE(QFile::link(dir.path(), linked));
    const auto refused = PrivateTempFolder::ensure(other.path());
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(linked)) << refused.error().toStdString();

    // Planted by another user: refused with the path (needs the right to give a folder away).
    QTemporaryDir planted;
    const QString plantedPath = planted.filePath(QStringLiteral("tovarine-%1").arg(::geteuid()));
    ASSERT_TRUE(QDir().mkpath(plantedPath));
    if (::chown(QFile::encodeName(plantedPath).constData(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0) {
        GTEST_SKIP() << "cannot hand a folder to another user here";
    }
    const auto foreign = PrivateTempFolder::ensure(planted.path());
    ASSERT_FALSE(foreign);
    EXPECT_EQ(foreign.error(),
              QStringLiteral("The temporary folder %1 belongs to another user; remove it or ask "
                             "its owner to.")
                  .arg(plantedPath));
}

TEST(PrivateTempFolder, LeftoversOfAKilledRunGoAtTheNextStartButARunningInstanceKeepsItsOwn)
{
    // Another instance of the app, in a temporary folder of its own: holds the private folder's lock and
    // keeps an unpacked zip and a work folder there.
    QTemporaryDir temp;
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "instance killed" : "instance alive");
        const QString tempDir = temp.filePath(killed ? QStringLiteral("killed") : QStringLiteral("alive"));
        QDir().mkpath(tempDir);
        const auto privateDir = PrivateTempFolder::ensure(tempDir);
        ASSERT_TRUE(privateDir);
        QProcess instance;
        instance.start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("exec 9>\"$1/.in-use\"; flock -s 9; mkdir -p \"$1/tovarine-drop/OLD\" "
                                       "\"$1/tovarine-colmap-X\" && echo x > \"$1/tovarine-drop/OLD/f\" && "
                                       "echo ready && exec sleep 30"),
                        QStringLiteral("sh"), *privateDir});
        ASSERT_TRUE(instance.waitForReadyRead(tovarine::test::kHangCeilingMs));
        if (!killed) {
            EXPECT_EQ(PrivateTempFolder::sweepLeftovers(*privateDir), 0);
            EXPECT_TRUE(QFileInfo::exists(*privateDir + QStringLiteral("/tovarine-drop/OLD/f")));
            instance.kill();
            instance.waitForFinished(tovarine::test::kHangCeilingMs);
            continue;
        }
        ::kill(static_cast<pid_t>(instance.processId()), SIGKILL);
        instance.waitForFinished(tovarine::test::kHangCeilingMs);
        EXPECT_EQ(PrivateTempFolder::sweepLeftovers(*privateDir), 2);
        EXPECT_EQ(QDir(*privateDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  (QStringList{QStringLiteral(".in-use"), QStringLiteral("tovarine-drop")}));
        EXPECT_TRUE(QDir(*privateDir + QStringLiteral("/tovarine-drop")).isEmpty());
    }
}

} // namespace
} // namespace tovarine
