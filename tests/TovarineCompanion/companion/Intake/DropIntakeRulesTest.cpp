#include "DropIntakeRules.h"

#include "CaptureStaging.h"
#include "IntakeTestSupport.h"
#include "QStringPrinter.h"
#include "Wordbank.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using namespace DropIntakeRules;

class DropIntakeRulesTest : public ::testing::Test
{
protected:
    QString path(const QString& relative) const { return m_root.filePath(relative); }
    void files(const QString& folder, const QStringList& names)
    {
        test::makeFolderWithFiles(path(folder), names);
    }

    QTemporaryDir m_root;
};

TEST_F(DropIntakeRulesTest, FramesFolderSearch)
{
    using Layout = std::vector<std::pair<const char*, QStringList>>; // folder and the files in it
    const QStringList jpg = {QStringLiteral("frame_00000.jpg")};
    const struct
    {
        const char* name;
        Layout layout;
        const char* root;
        const char* expected; // relative to the temporary root; "" for none
    } cases[] = {
        {"root is Images", {{"a/Images", jpg}}, "a/Images", "a/Images"},
        {"Images inside root", {{"b/Images", jpg}}, "b", "b/Images"},
        {"upper-case extension", {{"c/Images", {"IMG.JPEG"}}}, "c", "c/Images"},
        {"HEIC only", {{"d/Images", {"hires_00000.HEIC"}}}, "d", "d/Images"},
        {"Images of a child", {{"e/capture/Images", jpg}, {"e/notes", {"a.txt"}}}, "e", "e/capture/Images"},
        {"two levels down is too deep", {{"f/x/capture/Images", jpg}}, "f", ""},
        {"Images without frames", {{"g/Images", {"a.png", "jpg"}}}, "g", ""},
        {"root Images without frames, its own Images has them",
         {{"h/Images/Images", jpg}},
         "h/Images",
         "h/Images/Images"},
        {"lower-case images is not the root rule", {{"i/images", jpg}}, "i/images", ""},
        {"empty Images, child has frames",
         {{"j/Images", {}}, {"j/capture/Images", jpg}},
         "j",
         "j/capture/Images"},
        {"a file named Images in a child is skipped",
         {{"k/capture", {"Images"}}, {"k/other/Images", jpg}},
         "k",
         "k/other/Images"},
        {"missing root", {}, "nowhere", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [folder, names] : c.layout) {
            files(QString::fromUtf8(folder), names);
        }
        const QString expected = *c.expected ? path(QString::fromUtf8(c.expected)) : QString();
        EXPECT_EQ(findImagesDir(path(QString::fromUtf8(c.root))), expected);
    }
    EXPECT_FALSE(hasJPEGs(path(QStringLiteral("nowhere"))));
    // A drop that is not a local file has no path; the working directory is never searched instead.
    EXPECT_EQ(findImagesDir(QString()), QString());
}

TEST(DropIntakeNames, CleanOutputName)
{
    const QString uuid = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const QString seventyFive = QString(75, QLatin1Char('x'));
    const struct
    {
        QString root;
        QString name;
        bool generated;
    } cases[] = {
        {QStringLiteral("/x/my teacup, side view"), QStringLiteral("my teacup, side view"), false},
        {QStringLiteral("/x/capture.v2.zip"), QStringLiteral("capture.v2"), false},
        {QStringLiteral("/x/Images"), QStringLiteral("Images"), false},
        {QStringLiteral("/x/20240611"), Wordbank::name(Wordbank::seed(QStringLiteral("20240611"))), true},
        {QStringLiteral("/x/20240611.zip"), Wordbank::name(Wordbank::seed(QStringLiteral("20240611"))), true},
        {QStringLiteral("/tmp/tovarine-drop/") + uuid, Wordbank::name(Wordbank::seed(uuid)), true},
        {QStringLiteral("/"), Wordbank::name(1302), true}, // no name at all: the clock's name
        {QStringLiteral("/x/") + seventyFive, QString(60, QLatin1Char('x')), false},
        {QStringLiteral("/x/") + QString(75, QLatin1Char('a')),
         Wordbank::name(Wordbank::seed(QString(75, QLatin1Char('a')))), true}, // all hex digits
        {QStringLiteral("/x/") + QString(60, QLatin1Char('y')), QString(60, QLatin1Char('y')), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root.toStdString());
        const OutputName name = outputName(c.root, 1302);
        EXPECT_EQ(name.name, c.name);
        EXPECT_EQ(name.generated, c.generated);
        EXPECT_EQ(cleanOutputName(c.root, 1302), c.name);
    }
}

TEST(DropIntakeNames, LongNamesAreCutOnCharacterBoundariesToFitTheFileNameLimit)
{
    // 70 user-perceived characters of two code points each: cut to 60 characters, 120 code units.
    QString combining;
    for (int i = 0; i < 70; ++i) {
        combining += QStringLiteral("e\u0301");
    }
    EXPECT_EQ(cleanOutputName(QStringLiteral("/x/") + combining, 0), combining.left(120));

    // 60 family emoji are 60 characters but 1,500 bytes of UTF-8: cut to whole emoji within 255 bytes.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    ASSERT_EQ(family.toUtf8().size(), 25);
    QString families;
    for (int i = 0; i < 60; ++i) {
        families += family;
    }
    const QString cut = cleanOutputName(QStringLiteral("/x/") + families, 0);
    EXPECT_EQ(cut, families.left(family.size() * 10)); // 10 × 25 = 250 bytes
    EXPECT_LE(cut.toUtf8().size(), 255);

    // Three-byte characters: 60 of them are 180 bytes and stay whole.
    const QString kana = QString(60, QChar(0x30AB));
    EXPECT_EQ(cleanOutputName(QStringLiteral("/x/") + kana, 0), kana);
    EXPECT_EQ(truncatedName(QString(100, QChar(0x30AB)), 200, 255), QString(85, QChar(0x30AB)));
}

// Which folder a capture lands in when its name is taken: a drop name is reused only for the same capture
// (or an empty folder), a generated name never; otherwise "-2", "-3", ...
TEST_F(DropIntakeRulesTest, ResultFolderCollisions)
{
    const QString tovarine = path(QStringLiteral("Desktop/tovarine"));
    const QString frames = path(QStringLiteral("capture/Images"));
    test::writeFile(frames + QStringLiteral("/frame_00000.jpg"), "first frame");
    test::writeFile(frames + QStringLiteral("/frame_00001.jpg"), "second");
    // A name at the file-name limit: 28 letters with four accents each (9 bytes apiece) and "abc", 255 bytes.
    const QString accented = QStringLiteral("e") + QString(4, QChar(0x0301));
    const QString longName = accented.repeated(28) + QStringLiteral("abc");

    using Files = std::vector<std::pair<QString, QByteArray>>; // path under tovarine/, content
    const struct
    {
        const char* name;
        QString outputName;
        bool generated;
        Files existing;
        QString expected; // under tovarine/
    } cases[] = {
        {"free name", "teacup v1", false, {}, "teacup v1"},
        {"same frames by name and size",
         "teacup v1",
         false,
         {{"teacup v1/Images/frame_00000.jpg", "first frame"},
          {"teacup v1/Images/frame_00001.jpg", "second"},
          {"teacup v1/Images/notes.txt", "not a frame"},
          {"teacup v1/model.usdz", "model"}},
         "teacup v1"},
        {"same names, another size",
         "teacup v1",
         false,
         {{"teacup v1/Images/frame_00000.jpg", "first frame"}, {"teacup v1/Images/frame_00001.jpg", "2nd"}},
         "teacup v1-2"},
        {"another frame set",
         "teacup v1",
         false,
         {{"teacup v1/Images/frame_00000.jpg", "first frame"}},
         "teacup v1-2"},
        {"a folder without frames", "Images", false, {{"Images/model.obj", "v 0 0 0"}}, "Images-2"},
        {"an empty folder", "teacup v1", false, {{"teacup v1/", {}}}, "teacup v1"},
        {"a file of that name", "teacup v1", false, {{"teacup v1", "file"}}, "teacup v1-2"},
        {"the second folder holds this capture",
         "teacup v1",
         false,
         {{"teacup v1/Images/frame_00000.jpg", "other"},
          {"teacup v1-2/Images/frame_00000.jpg", "first frame"},
          {"teacup v1-2/Images/frame_00001.jpg", "second"}},
         "teacup v1-2"},
        {"generated names are never reused",
         "quiet-teacup",
         true,
         {{"quiet-teacup/Images/frame_00000.jpg", "first frame"},
          {"quiet-teacup/Images/frame_00001.jpg", "second"},
          {"quiet-teacup-2/", {}}},
         "quiet-teacup-3"},
        {"the suffix keeps a long name within the file-name limit",
         longName,
         false,
         {{longName + QStringLiteral("/a.txt"), "another capture's file"}},
         accented.repeated(28) + QStringLiteral("a-2")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(tovarine).removeRecursively();
        QDir().mkpath(tovarine);
        for (const auto& [relative, content] : c.existing) {
            const QString target = tovarine + QLatin1Char('/') + relative;
            if (target.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(target);
            } else {
                ASSERT_TRUE(test::writeFile(target, content));
            }
        }
        EXPECT_EQ(resultFolderPath(tovarine, {c.outputName, c.generated}, frames),
                  tovarine + QLatin1Char('/') + c.expected);
    }

    // A result folder dropped again is its own capture, under any spelling.
    const QString result = tovarine + QStringLiteral("/teacup v1");
    test::makeFolderWithFiles(result + QStringLiteral("/Images"), {QStringLiteral("frame_00000.jpg")});
    EXPECT_EQ(resultFolderPath(tovarine, {QStringLiteral("teacup v1"), false},
                               tovarine + QStringLiteral("/./teacup v1/Images/")),
              result);
    EXPECT_TRUE(holdsSameCapture(result, result + QStringLiteral("/Images")));
    EXPECT_FALSE(holdsSameCapture(result, path(QStringLiteral("missing"))));
}

TEST_F(DropIntakeRulesTest, LabelAndPhoneSettingsAreCarriedOver)
{
    const QString tovarine = path(QStringLiteral("Desktop/tovarine"));
    const QString result = tovarine + QStringLiteral("/cup");
    test::writeFile(result + QStringLiteral("/label.txt"), "old label");
    test::writeFile(result + QStringLiteral("/phone_morvel_settings.json"), "old settings");

    // A capture with neither: the old label stays, the old settings go.
    QDir().mkpath(path(QStringLiteral("bare")));
    copyLabel(path(QStringLiteral("bare")), result);
    copyPhoneMorvelSettings(path(QStringLiteral("bare")), result, tovarine);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("old label"));
    EXPECT_FALSE(QFileInfo::exists(result + QStringLiteral("/phone_morvel_settings.json")));

    // A capture with both: replaced, settings byte for byte.
    test::writeFile(path(QStringLiteral("full/label.txt")), "teacup");
    test::writeFile(path(QStringLiteral("full/model_morvel_settings.json")), "{\"detail\": \"fine\"}\n");
    copyLabel(path(QStringLiteral("full")), result);
    copyPhoneMorvelSettings(path(QStringLiteral("full")), result, tovarine);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("teacup"));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
              QByteArray("{\"detail\": \"fine\"}\n"));

    // Another result folder as the capture: its model_morvel_settings.json is cage output; the phone's
    // settings are its phone_morvel_settings.json.
    const QString other = tovarine + QStringLiteral("/other");
    test::writeFile(other + QStringLiteral("/model_morvel_settings.json"), "cage output");
    test::writeFile(other + QStringLiteral("/phone_morvel_settings.json"), "phone of other");
    copyPhoneMorvelSettings(other, result, tovarine);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
              QByteArray("phone of other"));

    // The capture folder is the result folder (under another spelling): both stay as they are.
    test::writeFile(result + QStringLiteral("/model_morvel_settings.json"), "cage output");
    const QString respelled = tovarine + QStringLiteral("/../tovarine/./cup/");
    copyLabel(respelled, result);
    copyPhoneMorvelSettings(respelled, result, tovarine);
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("teacup"));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
              QByteArray("phone of other"));
}

TEST_F(DropIntakeRulesTest, CopyFolderKeepsTreeSkipsLinksAndRefusesAnExistingDestination)
{
    files(QStringLiteral("src"), {QStringLiteral("a.jpg"), QStringLiteral(".hidden")});
    files(QStringLiteral("src/sub"), {QStringLiteral("b.jpg")});
    ASSERT_TRUE(QFile::link(QStringLiteral("a.jpg"), path(QStringLiteral("src/link.jpg"))));

    ASSERT_TRUE(CaptureStaging::copyFolder(path(QStringLiteral("src")), path(QStringLiteral("dst"))));
    EXPECT_EQ(test::readFile(path(QStringLiteral("dst/a.jpg"))), QByteArray("a.jpg"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("dst/.hidden"))), QByteArray(".hidden"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("dst/sub/b.jpg"))), QByteArray("b.jpg"));
    // A link is neither followed nor copied: it could point anywhere on the machine.
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("dst/link.jpg"))).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("dst/link.jpg"))));

    const Expected<void, QString> again =
        CaptureStaging::copyFolder(path(QStringLiteral("src")), path(QStringLiteral("dst")));
    ASSERT_FALSE(again);
    EXPECT_TRUE(again.error().contains(path(QStringLiteral("dst")))) << again.error().toStdString();

    // A destination inside the source copies the source as it was.
    ASSERT_TRUE(
        CaptureStaging::copyFolder(path(QStringLiteral("src")), path(QStringLiteral("src/sub/copy"))));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("src/sub/copy/sub/b.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("src/sub/copy/sub/copy"))));
}

} // namespace
} // namespace tovarine
