#include "NdjsonLineReader.h"
#include "OllamaStreamLine.h"

#include <QJsonDocument>
#include <QList>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// Every line the reader gives for `stream` cut into pieces of `pieceBytes`, the final line included.
QList<QByteArray> readAll(const QByteArray& stream, qsizetype pieceBytes, qsizetype maxLine = 1024,
                          bool* failed = nullptr)
{
    NdjsonLineReader reader(maxLine);
    QList<QByteArray> lines;
    for (qsizetype offset = 0; offset < stream.size(); offset += pieceBytes) {
        reader.append(stream.mid(offset, pieceBytes));
        while (auto line = reader.nextLine()) {
            lines.append(*line);
        }
    }
    if (auto last = reader.finish()) {
        lines.append(*last);
    }
    if (failed) {
        *failed = reader.failed();
    }
    return lines;
}

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

TEST(NdjsonLineReader, GivesTheSameLinesHoweverTheStreamIsCut)
{
    const QByteArray stream = "{\"a\":1}\n{\"b\":2}\r\n\n{\"c\":\"\xc3\xa9\"}\n{\"final\":true}";
    const QList<QByteArray> expected = {"{\"a\":1}", "{\"b\":2}", "", "{\"c\":\"\xc3\xa9\"}", "{\"final\":true}"};
    for (qsizetype piece = 1; piece <= stream.size(); ++piece) {
        EXPECT_EQ(readAll(stream, piece), expected) << "pieces of " << piece;
    }
    // A stream ending with its line feed has no extra final line.
    EXPECT_EQ(readAll("x\ny\n", 1), (QList<QByteArray>{"x", "y"}));
    EXPECT_TRUE(readAll("", 1).isEmpty());
}

TEST(NdjsonLineReader, ACarriageReturnAloneEndsALine)
{
    // CR alone, CR LF and LF mixed; a CR LF pair split between pieces is still one ending.
    const QByteArray stream = "{\"a\":1}\r{\"b\":2}\r\n{\"c\":3}\n\r{\"d\":4}\r";
    const QList<QByteArray> expected = {"{\"a\":1}", "{\"b\":2}", "{\"c\":3}", "", "{\"d\":4}"};
    for (qsizetype piece = 1; piece <= stream.size(); ++piece) {
        EXPECT_EQ(readAll(stream, piece), expected) << "pieces of " << piece;
    }
    // The cap counts from the last ending of either kind.
    bool failed = false;
    EXPECT_EQ(readAll("12345678\r12345678", 5, 8, &failed), (QList<QByteArray>{"12345678", "12345678"}));
    EXPECT_FALSE(failed);
}

TEST(NdjsonLineReader, ALineOverTheCapFailsTheReader)
{
    bool failed = false;
    // Exactly at the cap passes, with or without a carriage return.
    EXPECT_EQ(readAll("12345678\r\nab", 3, 8, &failed), (QList<QByteArray>{"12345678", "ab"}));
    EXPECT_FALSE(failed);
    EXPECT_EQ(readAll("12345678", 3, 8, &failed), (QList<QByteArray>{"12345678"}));
    EXPECT_FALSE(failed);

    // One byte over: in a complete line, in the unfinished final line, and in a line that never ends, which
    // must fail while it arrives, not only at the end.
    for (const QByteArray& stream : {QByteArray("ok\n123456789\nnext\n"), QByteArray("ok\n123456789")}) {
        const QList<QByteArray> lines = readAll(stream, 4, 8, &failed);
        EXPECT_TRUE(failed) << stream.constData();
        EXPECT_EQ(lines, QList<QByteArray>{"ok"});
    }
    NdjsonLineReader endless(8);
    EXPECT_TRUE(endless.append("12345"));
    EXPECT_FALSE(endless.append("6789a"));
    EXPECT_TRUE(endless.failed());
    EXPECT_FALSE(endless.nextLine());
    EXPECT_EQ(endless.bufferedBytes(), 0);
}

TEST(OllamaStreamLine, ParsesOnlyJsonObjects)
{
    EXPECT_TRUE(OllamaStreamLine::parseObject("{\"response\":\"x\"}"));
    for (const QByteArray& line : {QByteArray(""), QByteArray("[1]"), QByteArray("42"), QByteArray("{\"a\":"),
                                   QByteArray("{\"response\":\"\xff\xfe\"}"), QByteArray("data: {}")}) {
        EXPECT_FALSE(OllamaStreamLine::parseObject(line)) << line.toHex().constData();
    }
}

TEST(OllamaStreamLine, PiecesOfGenerationAndChat)
{
    const auto piece = OllamaStreamLine::generatePiece(object(R"({"response":" Hel\n","done":false})"));
    ASSERT_TRUE(piece);
    EXPECT_EQ(piece->text, QStringLiteral(" Hel\n"));
    EXPECT_FALSE(piece->done);
    EXPECT_TRUE(OllamaStreamLine::generatePiece(object(R"({"response":"","done":true})"))->done);
    EXPECT_FALSE(OllamaStreamLine::generatePiece(object(R"({"done":true})")));
    EXPECT_FALSE(OllamaStreamLine::generatePiece(object(R"({"response":3})")));

    EXPECT_EQ(OllamaStreamLine::chatPiece(object(R"({"message":{"role":"assistant","content":"lo"}})"))->text,
              QStringLiteral("lo"));
    EXPECT_FALSE(OllamaStreamLine::chatPiece(object(R"({"message":"lo"})")));
    EXPECT_FALSE(OllamaStreamLine::chatPiece(object(R"({"message":{"role":"assistant"},"done":true})")));
}

TEST(OllamaStreamLine, PullProgressLines)
{
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {R"({"status":"pulling manifest"})", QStringLiteral("pulling manifest")},
        {R"({"status":"pulling a","total":1000,"completed":333})", QStringLiteral("pulling a (33%)")},
        {R"({"status":"pulling a","total":1000,"completed":1000})", QStringLiteral("pulling a (100%)")},
        {R"({"status":"pulling a","total":0,"completed":0})", QStringLiteral("pulling a")},
        {R"({"status":"pulling a","total":1000})", QStringLiteral("pulling a")},
        {R"({"status":"pulling a","total":1000,"completed":"5"})", QStringLiteral("pulling a")},
        {R"({"status":"pulling a","total":1000.5,"completed":5})", QStringLiteral("pulling a")},
        {R"({"status":"verifying","total":4920753328,"completed":4920753327})", QStringLiteral("verifying (99%)")},
        {R"({"error":"pull model manifest: file does not exist"})", std::nullopt},
        {R"({"status":7})", std::nullopt},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(OllamaStreamLine::pullProgress(object(line)), expected) << line;
    }
}

TEST(OllamaStreamLine, ErrorText)
{
    EXPECT_EQ(OllamaStreamLine::errorText(object(R"({"error":"model not found"})")), QStringLiteral("model not found"));
    EXPECT_EQ(OllamaStreamLine::errorText(object(R"({"error":{"code":5}})")), QStringLiteral("{\"code\":5}"));
    EXPECT_EQ(OllamaStreamLine::errorText(object(R"({"error":404})")), QStringLiteral("404"));
    EXPECT_FALSE(OllamaStreamLine::errorText(object(R"({"status":"ok"})")));
}
