#include "QuorvantileManifest.h"

#include "QuorvantileNode.h"
#include "QuorvantileScore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const QUuid kId = QUuid::fromString(QStringLiteral("{6f1c2b3a-0d4e-4f5a-9b8c-7d6e5f4a3b2c}"));

QuorvantileManifest manifest(QStringList models, std::optional<std::int64_t> vram = std::nullopt,
                             double load = 0.0, QString name = QStringLiteral("studio"))
{
    return QuorvantileManifest(kId, name, QuorvantilePlatform::macOS, models,
                               QStringLiteral("http://studio:11434"), 8, 16384, std::nullopt, vram, false,
                               load);
}

QuorvantileNode node(const QuorvantileManifest& m, QString host = QStringLiteral("192.168.1.20"))
{
    return QuorvantileNode(m.nodeID(), m, host, 11434, QDateTime::currentDateTime(), false);
}

} // namespace

TEST(QuorvantileManifest, JsonRoundTripKeepsEveryFieldAndLeavesOutAbsentGpu)
{
    const QuorvantileManifest full(kId, QStringLiteral("büro"), QuorvantilePlatform::linux,
                                   {QStringLiteral("llama3.1:8b"), QStringLiteral("qwen2.5:7b")},
                                   QStringLiteral("http://10.0.0.2:11434"), 16, 65536,
                                   QStringLiteral("Radeon"), int64_t{8192}, true, 0.25);
    const QJsonObject json = full.toJson();
    EXPECT_EQ(json.value("nodeID").toString(), "6F1C2B3A-0D4E-4F5A-9B8C-7D6E5F4A3B2C");
    EXPECT_EQ(json.value("platform").toString(), "linux");
    const auto back = QuorvantileManifest::fromJson(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toJson(), json);

    const QJsonObject bare = manifest({}).toJson();
    EXPECT_FALSE(bare.contains("gpuName"));
    EXPECT_FALSE(bare.contains("gpuVRAMMB"));
    const auto read = QuorvantileManifest::fromJson(bare);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->gpuName());
    EXPECT_FALSE(read->gpuVRAMMB());
}

TEST(QuorvantileManifest, DecodingRejectsBadValuesWithAReason)
{
    const QJsonObject good = manifest({QStringLiteral("a")}, 4096).toJson();
    struct Case
    {
        const char* what;
        const char* key;
        QJsonValue value; // undefined removes the key
    };
    const Case cases[] = {
        {"platform in lower case", "platform", "macos"},
        {"unknown platform", "platform", "beos"},
        {"missing name", "nodeName", QJsonValue::Undefined},
        {"id not a UUID", "nodeID", "studio"},
        {"cores as text", "cpuCores", "8"},
        {"fractional memory", "ramMB", 1.5},
        {"models not strings", "ollamaModels", QJsonValue(QJsonArray({1, 2}))},
        {"metal as number", "hasMetal", 1},
        {"vram as text", "gpuVRAMMB", "big"},
        {"missing load", "currentLoad", QJsonValue::Undefined},
    };
    for (const Case& c : cases) {
        QJsonObject json = good;
        if (c.value.isUndefined()) {
            json.remove(c.key);
        } else {
            json.insert(c.key, c.value);
        }
        QString error;
        EXPECT_FALSE(QuorvantileManifest::fromJson(json, &error)) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
    QJsonObject nulls = good;
    nulls.insert("gpuName", QJsonValue::Null);
    nulls.insert("gpuVRAMMB", QJsonValue::Null);
    nulls.insert("extra", "ignored");
    EXPECT_TRUE(QuorvantileManifest::fromJson(nulls));
}

TEST(QuorvantilePlatform, RawValuesAreExactAndCaseSensitive)
{
    EXPECT_EQ(quorvantilePlatformFromRawValue("windows"), QuorvantilePlatform::windows);
    EXPECT_FALSE(quorvantilePlatformFromRawValue("Linux"));
    EXPECT_FALSE(quorvantilePlatformFromRawValue(""));
    EXPECT_EQ(quorvantilePlatformRawValue(QuorvantilePlatform::macOS), "macOS");
}

TEST(QuorvantileNode, UrlBracketsAnyHostWithAColonAndNamesThePlatform)
{
    const QuorvantileManifest m = manifest({});
    EXPECT_EQ(node(m).ollamaURL(), "http://192.168.1.20:11434");
    EXPECT_EQ(node(m, "fe80::1c2b:3aff:fe11:2233").ollamaURL(), "http://[fe80::1c2b:3aff:fe11:2233]:11434");
    EXPECT_EQ(node(m, "localhost").ollamaURL(), "http://localhost:11434");
    EXPECT_EQ(node(m, "not:an-address").ollamaURL(), "http://[not:an-address]:11434");
    EXPECT_EQ(node(m).displayName(), "studio (macOS)");

    // A link-local address keeps its zone, written "%25" in the URL, and the URL gives it back whole.
    const QString zoned = node(m, "fe80::1c2b:3aff:fe11:2233%eth0").ollamaURL();
    EXPECT_EQ(zoned, "http://[fe80::1c2b:3aff:fe11:2233%25eth0]:11434");
    const QUrl url(zoned + "/api/tags", QUrl::StrictMode);
    ASSERT_TRUE(url.isValid()) << url.errorString().toStdString();
    EXPECT_EQ(url.host(), "fe80::1c2b:3aff:fe11:2233%eth0");
    EXPECT_EQ(url.port(), 11434);
}

TEST(QuorvantileScore, WorkedValues)
{
    const QStringList preferred{"llama3.1:8b", "qwen2.5:14b"};
    const QuorvantileNode qwen = node(manifest({"qwen2.5:7b"}, 8192, 0.2));
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(qwen, preferred, false), 50.0);
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(qwen, preferred, true), 60.0);

    const QuorvantileNode llama = node(manifest({"llama3.1:8b", "mistral:7b"}));
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(llama, {"llama3.1:70b"}, false), 69.0);
    // Only the earliest preferred family counts.
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(llama, {"mistral", "llama3.1"}, false), 69.0);
}

TEST(QuorvantileScore, NoScoreWithoutPreferencesOrMatchingModels)
{
    EXPECT_FALSE(QuorvantileScore::score(node(manifest({"llama3.1:8b"})), {}, false));
    EXPECT_FALSE(QuorvantileScore::score(node(manifest({})), {"llama3.1:8b"}, false));
    EXPECT_FALSE(QuorvantileScore::score(node(manifest({})), {""}, false));
    EXPECT_FALSE(QuorvantileScore::score(node(manifest({"Llama3.1:8b"})), {"llama3.1:8b"}, false));
    // An empty preference matches any model, at its own position.
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(node(manifest({"x"})), {"nope", ""}, false), 20.0 + 4.0 + 25.0);
    // A repeated name scores at its first position.
    EXPECT_DOUBLE_EQ(*QuorvantileScore::score(node(manifest({"b:1"})), {"b", "a", "b"}, false),
                     40.0 + 4.0 + 25.0);
}

TEST(QuorvantileScore, MemoryAndLoadTerms)
{
    struct Case
    {
        std::optional<std::int64_t> vram;
        double load;
        double expected;
    };
    const Case cases[] = {
        {std::nullopt, 0.0, 69.0}, {0, 0.0, 69.0},     {-5, 0.0, 69.0},           {8192, 0.0, 75.0},
        {16384, 0.0, 85.0},        {32768, 0.0, 85.0}, {std::nullopt, 2.0, 19.0}, {std::nullopt, -1.0, 94.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(*QuorvantileScore::score(node(manifest({"m"}, c.vram, c.load)), {"m"}, false),
                         c.expected)
            << (c.vram ? *c.vram : -1) << " " << c.load;
    }
}

TEST(QuorvantileScore, ModelBase)
{
    EXPECT_EQ(QuorvantileScore::modelBase("llama3.1:8b"), "llama3.1");
    EXPECT_EQ(QuorvantileScore::modelBase(":latest"), "latest");
    EXPECT_EQ(QuorvantileScore::modelBase("::"), "::");
    EXPECT_EQ(QuorvantileScore::modelBase(""), "");
}
