#include "OllamaError.h"
#include "OllamaModelInfo.h"
#include "OllamaOptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <limits>

using namespace ostrel;

namespace {

QJsonValue parse(const char* json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
}

} // namespace

TEST(OllamaError, DescriptionsAreTheUserFacingTexts)
{
    const std::pair<OllamaError, QString> cases[] = {
        {OllamaError::httpError(404, QStringLiteral("Pull failed")), QStringLiteral("HTTP 404: Pull failed")},
        {OllamaError::httpError(500, QString()), QStringLiteral("HTTP 500: ")},
        {OllamaError::httpError(0, QStringLiteral("Stream error")), QStringLiteral("HTTP 0: Stream error")},
        {OllamaError::notRunning(), QStringLiteral("Ollama is not running")},
        {OllamaError::decodingFailed(), QStringLiteral("Failed to decode response")},
        {OllamaError::noResponse(), QStringLiteral("No response from Ollama")},
        {OllamaError::noModel(), QStringLiteral("No Ollama model available. Run Install_AI.command.")},
        {OllamaError::transport(QNetworkReply::ConnectionRefusedError, QStringLiteral("Connection refused")),
         QStringLiteral("Connection refused")},
    };
    for (const auto& [error, text] : cases) {
        EXPECT_EQ(error.errorDescription(), text);
    }
}

TEST(OllamaModelInfo, DisplaySizeAndVisionFlag)
{
    OllamaModelInfo info;
    EXPECT_EQ(info.displaySize(), QStringLiteral("?"));
    info.size = 0;
    EXPECT_EQ(info.displaySize(), QStringLiteral("0.0GB"));
    info.size = static_cast<qint64>(4.58 * 1073741824.0);
    EXPECT_EQ(info.displaySize(), QStringLiteral("4.6GB"));

    const std::pair<const char*, bool> names[] = {
        {"LLaVA:13b", true},        {"MiniCPM-V:8b", true}, {"bakllava", true}, {"qwen2-vl:7b", true},
        {"moondream:latest", true}, {"llama3.1:8b", false}, {"minicpm:8b", false},
    };
    for (const auto& [name, vision] : names) {
        info.name = QString::fromLatin1(name);
        EXPECT_EQ(info.isVisionCapable(), vision) << name;
        EXPECT_EQ(info.id(), info.name);
    }
}

TEST(OllamaModelInfo, DecodesEntriesAndModelLists)
{
    const auto full = OllamaModelInfo::fromJson(
        parse(R"({"name":"llama3.1:8b","size":4920753328,"digest":"x","details":{"family":"llama","parameter_size":"8.0B"}})"));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->name, QStringLiteral("llama3.1:8b"));
    EXPECT_EQ(full->size, std::optional<qint64>(4920753328LL));
    ASSERT_TRUE(full->details);
    EXPECT_EQ(full->details->family, QStringLiteral("llama"));
    EXPECT_EQ(full->details->parameter_size, QStringLiteral("8.0B"));
    // Encoding writes what is present, and the result decodes to the same entry.
    EXPECT_EQ(OllamaModelInfo::fromJson(full->toJson()), full);

    const auto bare = OllamaModelInfo::fromJson(parse(R"({"name":"phi3","size":null})"));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->size);
    EXPECT_FALSE(bare->details);
    EXPECT_EQ(bare->toJson(), (QJsonObject{{QStringLiteral("name"), QStringLiteral("phi3")}}));

    // Entries that fail: no name, a name of the wrong type, a size that is not a whole number.
    for (const char* bad : {R"({"size":1})", R"({"name":7})", R"({"name":"a","size":"big"})",
                            R"({"name":"a","size":1.5})", R"({"name":"a","details":{"family":3}})"}) {
        EXPECT_FALSE(OllamaModelInfo::fromJson(parse(bad))) << bad;
    }

    const auto empty = OllamaModelInfo::decodeTagsResponse(parse(R"({"models":[]})"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
    const auto two = OllamaModelInfo::decodeTagsResponse(parse(R"({"models":[{"name":"a"},{"name":"b"}]})"));
    ASSERT_TRUE(two);
    ASSERT_EQ(two->size(), 2);
    EXPECT_EQ(two->at(1).name, QStringLiteral("b"));
    // One bad entry fails the whole list; so does a body without "models".
    for (const char* bad : {R"({"models":[{"name":"a"},{"size":1}]})", R"({"model":[]})", R"({"models":{}})", "[]"}) {
        EXPECT_FALSE(OllamaModelInfo::decodeTagsResponse(parse(bad))) << bad;
    }
}

TEST(OllamaOptions, DictionaryHoldsOnlyTheSetFields)
{
    EXPECT_TRUE(OllamaOptions().dictionary().isEmpty());

    OllamaOptions stopOnly;
    stopOnly.stop = QStringList();
    EXPECT_EQ(stopOnly.dictionary(), (QJsonObject{{QStringLiteral("stop"), QJsonArray()}}));

    const OllamaOptions two(0.2, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 4096, std::nullopt);
    EXPECT_EQ(two.dictionary(), (QJsonObject{{QStringLiteral("temperature"), 0.2}, {QStringLiteral("num_ctx"), 4096}}));

    const OllamaOptions all(0.5, 0.9, 40, 1.1, 128, 2048, QStringList{QStringLiteral("\n\n")});
    const QJsonObject dictionary = all.dictionary();
    EXPECT_EQ(dictionary.keys(), (QStringList{"num_ctx", "num_predict", "repeat_penalty", "stop", "temperature",
                                              "top_k", "top_p"}));
    EXPECT_EQ(dictionary.value(QStringLiteral("top_k")).toInteger(), 40);
    EXPECT_EQ(dictionary.value(QStringLiteral("stop")).toArray().first().toString(), QStringLiteral("\n\n"));
    EXPECT_TRUE(all.nonFiniteField().isEmpty());

    OllamaOptions notANumber;
    notANumber.topP = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(notANumber.nonFiniteField(), QStringLiteral("top_p"));
}
