#include "MorvelDetail.h"
#include "MorvelEngineLocator.h"
#include "MorvelRun.h"
#include "WebTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

struct RunRecord
{
    std::vector<std::pair<QString, double>> steps;
    std::optional<Expected<MorvelRun::Finished, MorvelRun::Failure>> result;
    int finishCalls = 0;
};

class MorvelRunWeb : public ::testing::Test
{
protected:
    void SetUp() override { MorvelEngineLocator::setEngineFolderForTesting(test::standInFolder()); }
    void TearDown() override { MorvelEngineLocator::setEngineFolderForTesting(std::nullopt); }

    RunRecord run(const QString& dir, QJsonObject options, bool cancelAtOnce = false,
                  const QString& meshName = "model.usdz", const QString& cancelOnStep = {})
    {
        RunRecord record;
        MorvelRun::Request request;
        request.meshPath = QDir(dir).filePath(meshName);
        request.dir = dir;
        request.options = options;
        request.timeLimitSeconds = test::kHangCeilingMs / 1000;
        request.appInfo =
            QJsonObject{{"app", "tovarine Companion (Linux)"}, {"options", options}, {"readMs", "replaced"}};
        request.logTag = "tovarine.companion.morvel";
        QPointer<MorvelRun> run;
        run = MorvelRun::make(
            request,
            [&](const QString& text, double fraction) {
                record.steps.emplace_back(text, fraction);
                if (text == cancelOnStep && run) {
                    run->cancel();
                }
            },
            [&](const Expected<MorvelRun::Finished, MorvelRun::Failure>& result) {
                ++record.finishCalls;
                record.result = result;
            });
        if (cancelAtOnce) {
            run->cancel();
        }
        EXPECT_TRUE(test::waitUntil([&] { return record.result.has_value(); }, 60000));
        EXPECT_TRUE(test::waitUntil([&] { return run.isNull(); }, 2000)) << "the run outlived its ending";
        EXPECT_EQ(record.finishCalls, 1);
        return record;
    }
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(MorvelRunWeb, FitFromAResultFolderWritesTheThreeFiles)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    const QJsonObject options = MorvelDetails::options(MorvelDetail::standard);
    const RunRecord record = run(folder, options);
    ASSERT_TRUE(record.result->hasValue()) << record.result->error().localizedDescription.toStdString();
    const MorvelRun::Finished& finished = record.result->value();
    ASSERT_TRUE(finished.outcome.preview);
    EXPECT_FALSE(finished.outcome.writeError);
    EXPECT_EQ(finished.outcome.preview->cagePositions.size(), 24u);
    EXPECT_EQ(finished.outcome.preview->cageEdges.size(), 24u);
    EXPECT_GE(finished.totalMs, 0);

    ASSERT_EQ(record.steps.size(), 10u);
    EXPECT_EQ(record.steps.front(), std::make_pair(u"Starting the engine\u2026"_qs, 0.05));
    EXPECT_EQ(record.steps.back().first, u"Writing .3dm and .vellacot\u2026"_qs);

    EXPECT_EQ(readFile(QDir(folder).filePath("model_morvel.3dm")),
              "STAND-IN PLACEHOLDER: not a real .3dm file\n");
    EXPECT_TRUE(readFile(QDir(folder).filePath("model_morvel.vellacot")).startsWith("STAND-IN PLACEHOLDER"));
    const QJsonObject settings =
        QJsonDocument::fromJson(readFile(QDir(folder).filePath("model_morvel_settings.json"))).object();
    const QJsonObject app = settings.value("app").toObject();
    EXPECT_EQ(app.value("app").toString(), "tovarine Companion (Linux)");
    EXPECT_EQ(app.value("options").toObject(), options);
    EXPECT_TRUE(app.value("readMs").isDouble());
    EXPECT_TRUE(app.value("engineWallMs").isDouble());
    EXPECT_EQ(app.value("scanTriangles").toInt(), 14);
    EXPECT_EQ(app.value("scanVertices").toInt(), 8);
    EXPECT_EQ(app.value("scanVerticesBeforeWeld").toInt(), 12);
    EXPECT_TRUE(app.value("device").isString());
    EXPECT_EQ(settings.value("settings").toObject(), options); // the stand-in echoes the options it got
    EXPECT_FALSE(settings.contains("limit"));
}

TEST_F(MorvelRunWeb, RefusalEndsWithoutFilesAndABadPreviewArrayKeepsThem)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    RunRecord record = run(folder, {{"standinMode", "refuse"}});
    ASSERT_TRUE(record.result->hasValue());
    EXPECT_FALSE(record.result->value().outcome.reply.ok);
    EXPECT_FALSE(record.result->value().outcome.preview);

    // A preview array with a bad index only costs its part of the preview: the engine's files are written.
    record = run(folder, {{"standinMode", "badIndices"}});
    ASSERT_TRUE(record.result->hasValue());
    ASSERT_TRUE(record.result->value().outcome.preview);
    EXPECT_TRUE(record.result->value().outcome.preview->limitTriangles.empty());
    EXPECT_FALSE(record.result->value().outcome.preview->cageEdges.empty());
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("model_morvel.3dm")));
}

TEST_F(MorvelRunWeb, MissingEngineOrScanFailWithTheirTexts)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    MorvelEngineLocator::setEngineFolderForTesting(QString());
    RunRecord record = run(folder, {});
    ASSERT_FALSE(record.result->hasValue());
    EXPECT_EQ(record.result->error().localizedDescription, "engine missing from this build");

    MorvelEngineLocator::setEngineFolderForTesting(test::standInFolder());
    record = run(folder, {}, false, "absent.usdz");
    ASSERT_FALSE(record.result->hasValue());
    EXPECT_EQ(record.result->error().localizedDescription, "the scan file could not be read");
    EXPECT_TRUE(record.steps.empty());
}

TEST_F(MorvelRunWeb, StopDuringTheScanReadEndsBeforeTheEngine)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    const RunRecord record = run(folder, {}, true);
    ASSERT_FALSE(record.result->hasValue());
    EXPECT_TRUE(record.result->error().isCancellation());
    EXPECT_EQ(record.result->error().kind, MorvelRun::Failure::Kind::cancelled);
    EXPECT_TRUE(record.steps.empty()) << "the engine was started";
}

TEST_F(MorvelRunWeb, StopInsideTheStartingStepNeverBuildsTheEngine)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    // A page that never answers: had the engine been started, only the time limit would end the run, and
    // with a time-limit failure, not a cancellation.
    const RunRecord record =
        run(folder, {{"standinMode", "hang"}}, false, "model.usdz", u"Starting the engine\u2026"_qs);
    ASSERT_FALSE(record.result->hasValue());
    EXPECT_TRUE(record.result->error().isCancellation());
    EXPECT_EQ(record.result->error().engine, EngineFailure::cancelled());
    EXPECT_EQ(record.steps.size(), 1u);
}

namespace {
QMutex g_logMutex;
QStringList* g_logLines = nullptr;
void collectLog(QtMsgType, const QMessageLogContext&, const QString& line)
{
    QMutexLocker lock(&g_logMutex);
    if (g_logLines) {
        g_logLines->append(line);
    }
}
} // namespace

TEST_F(MorvelRunWeb, LogLinesCarryTheTagAndThePageTextsVerbatim)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    QStringList lines;
    g_logLines = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(collectLog);
    const RunRecord record = run(folder, {{"standinMode", "oddStageName"}});
    qInstallMessageHandler(previous);
    {
        QMutexLocker lock(&g_logMutex);
        g_logLines = nullptr;
    }
    ASSERT_TRUE(record.result->hasValue());

    const QStringList ours = lines.filter(QRegularExpression("^tovarine\\.companion\\.morvel: "));
    ASSERT_GE(ours.size(), 4);
    EXPECT_TRUE(ours.front().contains(QRegularExpression(
        R"(^tovarine\.companion\.morvel: scan read 14 triangles, 8 vertices \(12 before weld\) in \d+ ms$)")))
        << ours.front().toStdString();
    EXPECT_TRUE(ours.contains("tovarine.companion.morvel: engine ready (morvel stand-in)"));
    EXPECT_TRUE(
        ours.contains("tovarine.companion.morvel: worker probe: no worker: stand-in runs on the page"));
    EXPECT_TRUE(ours.contains("tovarine.companion.morvel: stage 50%1 done 7 ms"));
    EXPECT_TRUE(ours.back().startsWith("tovarine.companion.morvel: done, total "))
        << ours.back().toStdString();
    EXPECT_TRUE(
        ours.back().contains(QRegularExpression(R"(total \d+ ms \(read \d+, engine \d+, write \d+\)$)")))
        << ours.back().toStdString();
}
