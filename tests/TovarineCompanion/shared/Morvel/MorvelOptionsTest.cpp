#include "MorvelDetail.h"
#include "PhoneMorvelRedo.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

TEST(MorvelDetail, LevelsHaveTheirTitlesLimitsAndDictionaries)
{
    EXPECT_EQ(MorvelDetails::title(MorvelDetail::preview), "Preview 600");
    EXPECT_EQ(MorvelDetails::title(MorvelDetail::standard), "Standard 3000");
    EXPECT_EQ(MorvelDetails::title(MorvelDetail::fine), "Fine 8000");
    EXPECT_EQ(MorvelDetails::timeLimitSeconds(MorvelDetail::preview), 300);
    EXPECT_EQ(MorvelDetails::timeLimitSeconds(MorvelDetail::standard), 900);
    EXPECT_EQ(MorvelDetails::timeLimitSeconds(MorvelDetail::fine), 1800);

    EXPECT_EQ(MorvelDetails::options(MorvelDetail::preview),
              parse(R"({"app": "tovarine Companion", "mode": "preview",
        "targetQuads": 600, "decimateTo": 10000, "creaseMode": "after", "preserveSharp": true, "refitPasses": 4,
        "measureLevel": 3, "maxScanSamples": 20000, "limitLevel": 2, "timeBudgetMs": 30000})"));
    EXPECT_EQ(MorvelDetails::options(MorvelDetail::standard), parse(R"({"app": "tovarine Companion",
        "mode": "standard", "targetQuads": 3000, "decimateTo": 0, "creaseMode": "after", "preserveSharp": true,
        "refitPasses": 12, "measureLevel": 3, "maxScanSamples": 100000, "limitLevel": 2, "timeBudgetMs": 300000})"));
    EXPECT_EQ(MorvelDetails::options(MorvelDetail::fine),
              parse(R"({"app": "tovarine Companion", "mode": "fine",
        "targetQuads": 8000, "decimateTo": 0, "creaseMode": "after", "preserveSharp": true, "refitPasses": 12,
        "measureLevel": 3, "maxScanSamples": 100000, "limitLevel": 2, "timeBudgetMs": 600000})"));
    EXPECT_EQ(MorvelPreviewSettings::options().size(), 8);
    EXPECT_FALSE(MorvelPreviewSettings::options().contains("app"));

    EXPECT_EQ(MorvelDetails::fromRawValue("fine"), MorvelDetail::fine);
    EXPECT_EQ(MorvelDetails::fromRawValue("Standard"), std::nullopt);
    EXPECT_EQ(MorvelDetails::fromRawValue(""), std::nullopt);
}

TEST(PhoneMorvelRedo, FilesOfTheWrongShapeGiveNoRedo)
{
    for (const char* text : {"not json", "[]", "{}", R"({"settings": []})", R"({"settings": 3})",
                             R"({"quads": 400})", "\"settings\""}) {
        EXPECT_FALSE(PhoneMorvelRedo::fromJson(text)) << text;
    }
    EXPECT_FALSE(PhoneMorvelRedo::load(QStringLiteral("/nonexistent/folder")));
}

TEST(PhoneMorvelRedo, HintsAdjustTheStandardDictionary)
{
    struct Case
    {
        std::int64_t targetQuads;
        QJsonObject changes; // keys that differ from the standard dictionary besides "mode"
        std::optional<std::int64_t> phoneQuads;
    };
    const QString hint = QStringLiteral(R"({"quads": %2, "settings": {"host": {"macRedo": %1}}})");
    auto redoWith = [&](const char* macRedo, const char* quads = "null") {
        return hint.arg(QLatin1String(macRedo), QLatin1String(quads)).toUtf8();
    };
    const std::vector<std::pair<QByteArray, Case>> cases = {
        {R"({"settings": {}})", {3000, parse(R"({"targetQuads": 3000})"), std::nullopt}},
        {redoWith(R"({"targetQuads": 12})", "412"), {30, parse(R"({"targetQuads": 30})"), 412}},
        {redoWith(R"({"targetQuads": 30})"), {30, parse(R"({"targetQuads": 30})"), std::nullopt}},
        {redoWith(R"({"targetQuads": 3001})"),
         {3001, parse(R"({"targetQuads": 3001, "timeBudgetMs": 600000})"), std::nullopt}},
        {redoWith(R"({"targetQuads": 2500.7})", "411.9"), {2500, parse(R"({"targetQuads": 2500})"), 411}},
        {redoWith(R"({"targetQuads": "5000"})"), {3000, parse(R"({"targetQuads": 3000})"), std::nullopt}},
        {redoWith(R"({"targetQuads": -1e300})"), {30, parse(R"({"targetQuads": 30})"), std::nullopt}},
        {redoWith(R"({"targetQuads": 1e300})"),
         {INT64_MAX, parse(R"({"targetQuads": 9223372036854775807, "timeBudgetMs": 600000})"), std::nullopt}},
        {redoWith(R"({"creaseMode": "Solve", "decimateTo": 0, "refitPasses": -1})"),
         {3000, parse(R"({"targetQuads": 3000})"), std::nullopt}},
        {redoWith(R"({"creaseMode": "solve", "decimateTo": 1, "refitPasses": 0})"),
         {3000, parse(R"({"targetQuads": 3000, "creaseMode": "solve", "decimateTo": 1, "refitPasses": 0})"),
          std::nullopt}},
        {redoWith(R"({"preserveSharp": false, "measureLevel": 9, "app": "x"})"),
         {3000, parse(R"({"targetQuads": 3000})"), std::nullopt}},
        {R"({"settings": {"preserveSharp": false, "host": "phone"}})",
         {3000, parse(R"({"targetQuads": 3000, "preserveSharp": false})"), std::nullopt}},
    };
    for (const auto& [file, expected] : cases) {
        const auto redo = PhoneMorvelRedo::fromJson(file);
        ASSERT_TRUE(redo) << file.constData();
        QJsonObject options = MorvelDetails::options(MorvelDetail::standard);
        options.insert("mode", "redo");
        for (auto it = expected.changes.begin(); it != expected.changes.end(); ++it) {
            options.insert(it.key(), it.value());
        }
        EXPECT_EQ(redo->options, options) << file.constData();
        EXPECT_EQ(redo->targetQuads, expected.targetQuads) << file.constData();
        EXPECT_EQ(redo->phoneQuads, expected.phoneQuads) << file.constData();
    }
}

TEST(PhoneMorvelRedo, LoadsFromTheResultFolder)
{
    QTemporaryDir dir;
    QFile file(QDir(dir.path()).filePath("phone_morvel_settings.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"quads": 412, "settings": {"host": {"macRedo": {"targetQuads": 600}}}})");
    file.close();
    const auto redo = PhoneMorvelRedo::load(dir.path());
    ASSERT_TRUE(redo);
    EXPECT_EQ(redo->targetQuads, 600);
    EXPECT_EQ(redo->phoneQuads, 412);
}
