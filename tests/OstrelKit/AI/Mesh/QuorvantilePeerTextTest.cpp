#include "QuorvantilePeerText.h"

#include "QuorvantileDiscovery.h"

#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
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

// "ld" is read by machines in any locale: its decimal sign is "." whatever this process's locale says.
TEST(QuorvantileTxtRecord, LoadUsesAPointUnderACommaLocale)
{
    // A German locale compiled for this test alone (the system may have none installed).
    QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                                  QStringLiteral("UTF-8"), locales.filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(120000) || localedef.exitStatus() != QProcess::NormalExit
        || !QFileInfo::exists(locales.filePath(QStringLiteral("de_DE.UTF-8")))) {
        GTEST_SKIP() << "localedef could not build de_DE.UTF-8 here";
    }
    const QByteArray oldLocPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    const QLocale previousQt;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 0.25);
    const QString comma = QString::fromLatin1(probe);

    const QuorvantileManifest loaded(bare().nodeID(), "a", QuorvantilePlatform::linux, {}, "", 1, 1, std::nullopt,
                                     std::nullopt, false, 0.25);
    const QString ld = QuorvantileDiscovery::manifestToTXTDict(loaded).value("ld");

    std::setlocale(LC_ALL, previous.c_str());
    QLocale::setDefault(previousQt);
    if (oldLocPath.isNull()) {
        qunsetenv("LOCPATH");
    } else {
        qputenv("LOCPATH", oldLocPath);
    }
    EXPECT_EQ(comma, "0,25"); // the locale is in force
    EXPECT_EQ(ld, "0.25");
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

TEST(QuorvantilePeerText, ModelListDropsJunkNamesAndKeepsAtMostTheCap)
{
    EXPECT_EQ(text::cleanModelNames({"llama3.1:8b", "", "a\x07" "b", QString(300, 'x'), "ok"}),
              QStringList({"llama3.1:8b", "ok"}));
    QStringList many;
    for (int i = 0; i < text::kMaxModels + 5; ++i) {
        many.append(QStringLiteral("m%1").arg(i));
    }
    const QStringList kept = text::cleanModelNames(many);
    ASSERT_EQ(kept.size(), text::kMaxModels);
    EXPECT_EQ(kept.first(), "m0");
    EXPECT_EQ(kept.last(), QStringLiteral("m%1").arg(text::kMaxModels - 1));
}

TEST(QuorvantilePeerText, OnlyPlainHostsAndAddressLiteralsGoIntoUrls)
{
    for (const char* good : {"192.168.1.20", "fe80::1c2b:3aff:fe11:2233", "studio.local", "my-mac", "::1"}) {
        EXPECT_TRUE(text::isSafeHost(good)) << good;
    }
    // A link-local IPv6 address keeps its zone (the interface): the system cannot connect without it.
    for (const char* zoned : {"fe80::1%eth0", "fe80::2c0:ffee%3", "fe80::1%veth-a.1"}) {
        EXPECT_TRUE(text::isSafeHost(zoned)) << zoned;
    }
    for (const char* bad : {"", "evil.com/x", "a@b", "host:80", "a..b", "sp ace", "x?y", "a#b", "studio.local.",
                            "fe80::1%", "fe80::1%eth0/x", "fe80::1%eth0]x", "fe80::1%a%b", "10.0.0.1%eth0",
                            "2001:db8::1%eth0", "studio%eth0"}) {
        EXPECT_FALSE(text::isSafeHost(bad)) << bad;
    }
}
