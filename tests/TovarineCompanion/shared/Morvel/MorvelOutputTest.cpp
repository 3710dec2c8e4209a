#include "MorvelOutput.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

template <class T> QString base64Of(const std::vector<T>& values)
{
    QByteArray bytes(static_cast<qsizetype>(values.size() * 4), Qt::Uninitialized);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t word;
        std::memcpy(&word, &values[i], 4);
        qToLittleEndian(word, bytes.data() + 4 * i);
    }
    return QString::fromLatin1(bytes.toBase64());
}

// A complete reply: one triangle of limit surface, a two-edge cage, the two files.
QJsonObject validReply()
{
    return QJsonObject{
        {"ok", true},
        {"quads", 3000},
        {"route", "quadriflow"},
        {"deviation", QJsonObject{{"scanToLimit", QJsonObject{{"mean", 0.42}, {"p99", 1.87}}}}},
        {"host", QJsonObject{{"solveIn", "worker"}}},
        {"settings", QJsonObject{{"targetQuads", 3000}, {"zeta", "kept"}}},
        {"extra", QJsonArray{1, 2.5, "three"}},
        {"limit", QJsonObject{{"positions", base64Of<float>({0, 0, 0, 1, 0, 0, 0, 1, 0})},
                              {"triangles", base64Of<std::uint32_t>({0, 1, 2})}}},
        {"cage", QJsonObject{{"positions", base64Of<float>({0, 0, 0, 1, 0, 0, 0, 1, 0})},
                             {"edges", base64Of<std::uint32_t>({0, 1, 1, 2})},
                             {"creaseWeights", QJsonArray{0, 3.5}}}},
        {"files", QJsonObject{{"threeDm", QString::fromLatin1(QByteArray("3DM\0\x01\xff", 6).toBase64())},
                              {"vellacot", u"vellacot \u00e9t\u00e9\n"_qs}}},
    };
}

QString text(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray kAppTimings =
    R"J({"app":"tovarine Companion (Linux)","options":{"mode":"standard"},"readMs":5})J";

} // namespace

TEST(MorvelOutput, ValidReplyWritesTheThreeFilesAndThePreview)
{
    QTemporaryDir dir;
    const auto outcome = MorvelOutput::decodeAndWrite(text(validReply()), dir.path(), kAppTimings);
    ASSERT_TRUE(outcome) << outcome.error().toStdString();
    ASSERT_TRUE(outcome->preview);
    EXPECT_FALSE(outcome->writeError);
    EXPECT_EQ(outcome->preview->limitPositions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(outcome->preview->limitTriangles, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(outcome->preview->cageEdges, (std::vector<std::uint32_t>{0, 1, 1, 2}));
    EXPECT_EQ(outcome->preview->creaseWeights, (std::vector<double>{0, 3.5}));

    const QDir folder(dir.path());
    EXPECT_EQ(readFile(folder.filePath("model_morvel.3dm")), QByteArray("3DM\0\x01\xff", 6));
    EXPECT_EQ(readFile(folder.filePath("model_morvel.vellacot")), u"vellacot \u00e9t\u00e9\n"_qs.toUtf8());

    const QByteArray settingsBytes = readFile(folder.filePath("model_morvel_settings.json"));
    const QJsonObject settings = QJsonDocument::fromJson(settingsBytes).object();
    EXPECT_FALSE(settings.contains("limit"));
    EXPECT_FALSE(settings.contains("cage"));
    EXPECT_EQ(settings.value("files").toArray(), (QJsonArray{"model_morvel.3dm", "model_morvel.vellacot"}));
    EXPECT_EQ(settings.value("app").toObject(), QJsonDocument::fromJson(kAppTimings).object());
    EXPECT_EQ(settings.value("extra").toArray(), (QJsonArray{1, 2.5, "three"}));
    EXPECT_EQ(settings.value("settings").toObject().value("zeta").toString(), "kept");
    // Pretty-printed with sorted keys: the top-level keys appear in order, one per line.
    EXPECT_TRUE(settingsBytes.contains("\n    \"app\": {"));
    QStringList keys;
    for (const QByteArray& line : settingsBytes.split('\n')) {
        if (line.startsWith("    \"")) {
            keys << QString::fromUtf8(line.mid(5, line.indexOf('"', 5) - 5));
        }
    }
    EXPECT_EQ(keys, (QStringList{"app", "deviation", "extra", "files", "host", "ok", "quads", "route",
                                 "settings"}));
}

TEST(MorvelOutput, RefusedOrIncompleteRepliesWriteNothing)
{
    QTemporaryDir dir;
    QJsonObject noFiles = validReply();
    noFiles.remove("files");
    QJsonObject notOk = validReply();
    notOk.insert("ok", false);
    for (const QString& reply : {QStringLiteral(R"({"ok": false})"), text(noFiles), text(notOk)}) {
        const auto outcome = MorvelOutput::decodeAndWrite(reply, dir.path(), kAppTimings);
        ASSERT_TRUE(outcome) << reply.toStdString();
        EXPECT_FALSE(outcome->preview);
        EXPECT_EQ(outcome->writeMs, 0);
        EXPECT_FALSE(outcome->writeError);
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(MorvelOutput, UndecodableRepliesFailAndWriteNothing)
{
    QTemporaryDir dir;
    auto with = [](const char* key, const QJsonValue& value) {
        QJsonObject reply = validReply();
        reply.insert(key, value);
        return text(reply);
    };
    QJsonObject limitWithoutTriangles = validReply().value("limit").toObject();
    limitWithoutTriangles.remove("triangles");
    QJsonObject weightsAsText = validReply().value("cage").toObject();
    weightsAsText.insert("creaseWeights", QJsonArray{0, "1"});
    const std::vector<QString> replies = {
        "not json",
        "[1, 2]",
        R"({"quads": 3})",
        R"({"ok": "true"})",
        with("quads", "3000"),
        with("quads", 3000.5),
        with("quads", 1e300),
        with("limit", limitWithoutTriangles),
        with("cage", weightsAsText),
        with("deviation", QJsonObject{{"scanToLimit", QJsonObject{{"mean", 1}}}}),
        with("reason", 5),
    };
    for (const QString& reply : replies) {
        EXPECT_FALSE(MorvelOutput::decodeAndWrite(reply, dir.path(), kAppTimings)) << reply.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // Null members count as absent.
    EXPECT_TRUE(
        MorvelOutput::decodeAndWrite(R"({"ok": true, "quads": null, "limit": null})", dir.path(), {}));
}

// A preview array that names vertices its part does not have, or does not decode while its partner has data,
// empties that part of the preview only: the engine's files are written all the same.
TEST(MorvelOutput, ABadPreviewArrayEmptiesItsPartAndKeepsTheFiles)
{
    const auto part = [](const char* name, const char* key, const QJsonValue& value) {
        QJsonObject reply = validReply();
        QJsonObject changed = reply.value(name).toObject();
        changed.insert(key, value);
        reply.insert(name, changed);
        return text(reply);
    };
    const struct
    {
        const char* name;
        QString reply;
        bool limitShown;
        bool cageShown;
    } cases[] = {
        {"limit index out of range", part("limit", "triangles", base64Of<std::uint32_t>({0, 1, 3})), false,
         true},
        {"limit positions not Base64", part("limit", "positions", "not base64!"), false, true},
        {"cage index out of range", part("cage", "edges", base64Of<std::uint32_t>({0, 3})), true, false},
        {"cage positions not Base64", part("cage", "positions", "%%%%"), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const auto outcome = MorvelOutput::decodeAndWrite(c.reply, dir.path(), kAppTimings);
        ASSERT_TRUE(outcome) << outcome.error().toStdString();
        ASSERT_TRUE(outcome->preview);
        EXPECT_FALSE(outcome->writeError);
        const MorvelPreview& preview = *outcome->preview;
        EXPECT_EQ(!preview.limitPositions.empty() && !preview.limitTriangles.empty(), c.limitShown);
        EXPECT_EQ(preview.limitPositions.empty() && preview.limitTriangles.empty(), !c.limitShown);
        EXPECT_EQ(!preview.cagePositions.empty() && !preview.cageEdges.empty(), c.cageShown);
        EXPECT_EQ(preview.cagePositions.empty() && preview.cageEdges.empty() && preview.creaseWeights.empty(),
                  !c.cageShown);
        const QDir folder(dir.path());
        EXPECT_EQ(readFile(folder.filePath("model_morvel.3dm")), QByteArray("3DM\0\x01\xff", 6));
        EXPECT_TRUE(QFile::exists(folder.filePath("model_morvel.vellacot")));
        EXPECT_TRUE(QFile::exists(folder.filePath("model_morvel_settings.json")));
    }
}

TEST(MorvelOutput, Base64IsStrictAndTrailingBytesAreIgnored)
{
    EXPECT_EQ(MorvelOutput::floats(QString::fromLatin1(QByteArray(10, '\0').toBase64())).size(), 2u);
    EXPECT_TRUE(MorvelOutput::floats(QString::fromLatin1(QByteArray(3, '\1').toBase64())).empty());
    EXPECT_TRUE(MorvelOutput::words("AAAAAA").empty());    // unpadded
    EXPECT_TRUE(MorvelOutput::words("AAAA AAA=").empty()); // a blank inside
    EXPECT_TRUE(MorvelOutput::words("AA=AAAAA").empty());  // padding inside
    EXPECT_TRUE(MorvelOutput::words("AAAA\nAAA=").empty());
    EXPECT_EQ(MorvelOutput::words("AQAAAAIAAAA="), (std::vector<std::uint32_t>{1, 2}));

    // A bad Base64 field of the cage gives an empty array (and so no indices to check); a bad .3dm is a write
    // error that leaves nothing written.
    QTemporaryDir dir;
    QJsonObject reply = validReply();
    QJsonObject cage = reply.value("cage").toObject();
    cage.insert("positions", "@@@@");
    cage.insert("edges", "@@@@");
    reply.insert("cage", cage);
    QJsonObject files = reply.value("files").toObject();
    files.insert("threeDm", "not base64!");
    reply.insert("files", files);
    const auto outcome = MorvelOutput::decodeAndWrite(text(reply), dir.path(), kAppTimings);
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->preview);
    EXPECT_TRUE(outcome->preview->cagePositions.empty());
    ASSERT_TRUE(outcome->writeError);
    EXPECT_TRUE(outcome->writeError->contains("model_morvel.3dm"));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(MorvelOutput, AFailedWriteStopsTheLaterFilesAndIsReported)
{
    QTemporaryDir dir;
    // A folder where the .vellacot file should go makes its write fail after the .3dm was written.
    ASSERT_TRUE(QDir(dir.path()).mkdir("model_morvel.vellacot"));
    const auto outcome = MorvelOutput::decodeAndWrite(text(validReply()), dir.path(), kAppTimings);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->preview);
    ASSERT_TRUE(outcome->writeError);
    EXPECT_TRUE(outcome->writeError->startsWith("model_morvel.vellacot could not be saved"));
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath("model_morvel.3dm")));
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath("model_morvel_settings.json")));

    const auto gone = MorvelOutput::decodeAndWrite(text(validReply()), dir.filePath("missing"), kAppTimings);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->writeError);
}

TEST(MorvelReply, SummaryLine)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    MorvelReply reply;
    reply.quads = 3000;
    reply.deviation = MorvelReply::Deviation{MorvelReply::Stats{0.42, 1.87}};
    EXPECT_EQ(reply.summary(9999, std::nullopt),
              u"3,000 quads \u00B7 mean 0.4 mm from the scan, 99% within 1.9 mm \u00B7 10.0 s"_qs);
    EXPECT_EQ(reply.summary(10000, std::nullopt),
              u"3,000 quads \u00B7 mean 0.4 mm from the scan, 99% within 1.9 mm \u00B7 10 s"_qs);

    MorvelReply bare;
    EXPECT_EQ(bare.summary(1234, std::nullopt), u"0 quads \u00B7 1.2 s"_qs);
    // Exact ties go to the even digit, as C's printf writes them.
    EXPECT_EQ(bare.summary(2250, std::nullopt), u"0 quads \u00B7 2.2 s"_qs);
    EXPECT_EQ(bare.summary(12500, std::nullopt), u"0 quads \u00B7 12 s"_qs);
    bare.route = "fallback-grid";
    bare.host = MorvelReply::Host{"page (no SharedArrayBuffer)"};
    EXPECT_EQ(bare.summary(61000, QStringLiteral("disk full")),
              u"0 quads \u00B7 61 s \u00B7 fallback cage (quad layout refused) \u00B7 solved without a worker"
              u" \u00B7 files not saved: disk full"_qs);
    bare.route = "Fallback";
    bare.host = MorvelReply::Host{"Page"};
    EXPECT_EQ(bare.summary(500, std::nullopt), u"0 quads \u00B7 0.5 s"_qs);

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(reply.summary(9999, std::nullopt).startsWith(u"3.000 quads \u00B7 mean 0.4 mm"_qs));
    QLocale::setDefault(QLocale::c());
}
