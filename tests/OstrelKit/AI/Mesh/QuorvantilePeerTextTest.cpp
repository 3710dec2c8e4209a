#include "QuorvantilePeerText.h"

#include "QuorvantileDiscovery.h"

#include <gtest/gtest.h>

using namespace ostrel;
namespace text = ostrel::QuorvantilePeerText;

namespace {

QuorvantileManifest bare(QStringList models = {})
{
    return QuorvantileManifest(QUuid::fromString(QStringLiteral("{0a1b2c3d-4e5f-6789-abcd-ef0123456789}")),
                               QStringLiteral("studio"), QuorvantilePlatform::linux, models,
                               QStringLiteral("http://localhost:11434"), 12, 32000, std::nullopt,
                               std::nullopt, false, 0.0);
}

} // namespace

TEST(QuorvantileTxtRecord, ElevenEntriesWithEmptyValuesForAbsentFacts)
{
    const auto dict = QuorvantileDiscovery::manifestToTXTDict(bare());
    const QMap<QString, QString> expected{{"id", "0A1B2C3D-4E5F-6789-ABCD-EF0123456789"},
                                          {"nm", "studio"},
                                          {"pl", "linux"},
                                          {"md", ""},
                                          {"url", "http://localhost:11434"},
                                          {"cpu", "12"},
                                          {"ram", "32000"},
                                          {"gpu", ""},
                                          {"vr", ""},
                                          {"mt", "0"},
                                          {"ld", "0.00"}};
    EXPECT_EQ(dict, expected);
    const QuorvantileManifest loaded(bare().nodeID(), "a", QuorvantilePlatform::macOS, {"x:1", "y:2"}, "", 1,
                                     1, QStringLiteral("Radeon"), int64_t{8192}, true, 0.256);
    const auto other = QuorvantileDiscovery::manifestToTXTDict(loaded);
    EXPECT_EQ(other.value("md"), "x:1,y:2");
    EXPECT_EQ(other.value("ld"), "0.26");
    EXPECT_EQ(other.value("vr"), "8192");
    EXPECT_EQ(other.value("mt"), "1");
}

TEST(QuorvantileTxtRecord, LongModelListIsShortenedAtACommaSoTheRecordStaysPublishable)
{
    QStringList models;
    for (int i = 0; i < 40; ++i) {
        models.append(QStringLiteral("model-%1:latest").arg(i));
    }
    const auto record = text::txtRecord(QuorvantileDiscovery::manifestToTXTDict(bare(models)));
    const QByteArray md = record.value("md");
    EXPECT_LE(md.size() + 3, text::kMaxTxtEntryBytes);
    EXPECT_TRUE(md.endsWith("latest")) << md.constData(); // whole names only
    EXPECT_TRUE(QString::fromUtf8(md).split(u',').size() < models.size());
    EXPECT_TRUE(models.join(u',').startsWith(QString::fromUtf8(md)));

    // Another overlong value is cut without splitting a character.
    const auto cut = text::txtRecord({{"nm", QString(300, QChar(0x00E9))}});
    EXPECT_LE(cut.value("nm").size() + 3, text::kMaxTxtEntryBytes);
    EXPECT_EQ(QString::fromUtf8(cut.value("nm")).toUtf8(), cut.value("nm"));
}

TEST(QuorvantilePeerText, NameFromAPeerIsReadSafely)
{
    EXPECT_EQ(text::txtValue({{"NM", "studio"}}, "nm"), "studio");
    EXPECT_FALSE(text::txtValue({{"nm", "\xff\xfe"}}, "nm"));
    EXPECT_FALSE(text::txtValue({{"id", "x"}}, "nm"));
    EXPECT_EQ(text::cleanNodeName("  stu\x01"
                                  "dio\n "),
              "studio");
    EXPECT_EQ(text::cleanNodeName(QString(200, 'x')).size(), text::kMaxNodeNameChars);
    EXPECT_TRUE(text::cleanNodeName("\t\r").isEmpty());
}

TEST(QuorvantilePeerText, TagListNeedsModelsWithNamesAndDropsJunkNames)
{
    EXPECT_EQ(text::parseTagList(R"({"models":[{"name":"llama3.1:8b","size":1},{"name":"qwen"}],"x":1})"),
              QStringList({"llama3.1:8b", "qwen"}));
    EXPECT_EQ(text::parseTagList(R"({"models":[]})"), QStringList());
    for (const char* bad : {"", "[]", "{}", R"({"models":{}})", R"({"models":[{"id":1}]})",
                            R"({"models":[1]})", R"({"models":[{"name":5}]})", "{\"models\":["}) {
        EXPECT_FALSE(text::parseTagList(bad)) << bad;
    }
    const QByteArray junk = QByteArray(R"({"models":[{"name":""},{"name":"a\u0007b"},{"name":")") +
                            QByteArray(300, 'x') + R"("},{"name":"ok"}]})";
    EXPECT_EQ(text::parseTagList(junk), QStringList({"ok"}));
}

TEST(QuorvantilePeerText, OnlyPlainHostsAndAddressLiteralsGoIntoUrls)
{
    for (const char* good : {"192.168.1.20", "fe80::1c2b:3aff:fe11:2233", "studio.local", "my-mac", "::1"}) {
        EXPECT_TRUE(text::isSafeHost(good)) << good;
    }
    for (const char* bad : {"", "evil.com/x", "a@b", "host:80", "fe80::1%eth0", "a..b", "sp ace", "x?y",
                            "a#b", "studio.local."}) {
        EXPECT_FALSE(text::isSafeHost(bad)) << bad;
    }
}
