#include "QuorvantileRenderJob.h"

#include "QuorvantileRenderSplitter.h"

#include <QJsonDocument>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ostrel;

namespace {

const QByteArray kJob =
    R"({"jobID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","startFrame":10,"endFrame":25,"totalFrames":300,)"
    R"("params":{"agitation":0.5,"exposure":1,"fixer":0,"colorDrift":0.25,"echo":0,"grain":0.1,"multiplier":3,)"
    R"("upscale":2,"userPrompt":"rainy street","interpolation":"optical","hyperreal":true,"fps":24,)"
    R"("directiveHueShift":-0.2,"directiveWarmth":0.3,"directiveDreaminess":0,"directiveSaturation":1.1,)"
    R"("directiveMood":"calm","custom":{"lens":"35mm"}},"sourceFileSize":536870912,"renderer":"sarvek"})";

QJsonObject jobObject()
{
    return QJsonDocument::fromJson(kJob).object();
}

RenderParams paramsWithMultiplier(std::int64_t multiplier)
{
    RenderParams params;
    params.multiplier = multiplier;
    return params;
}

} // namespace

TEST(QuorvantileRenderJobTest, WireJobDecodesAndReencodesToTheSameBytes)
{
    QString error;
    const auto job = QuorvantileRenderJob::fromJsonBytes(kJob, &error);
    ASSERT_TRUE(job) << error.toStdString();
    EXPECT_EQ(job->frameCount(), 15);
    EXPECT_EQ(job->outputFrameCount(), 45);
    EXPECT_EQ(job->params().custom.value(QStringLiteral("lens")), QStringLiteral("35mm"));
    EXPECT_EQ(job->toCompactJson(), kJob);

    // Lower-case ids are read; the encoder writes upper case.
    QByteArray lower = kJob;
    lower.replace("6F9619FF-8B86-D011-B42D-00C04FC964FF", "6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ASSERT_TRUE(QuorvantileRenderJob::fromJsonBytes(lower));
    EXPECT_EQ(QuorvantileRenderJob::fromJsonBytes(lower)->toCompactJson(), kJob);
}

TEST(QuorvantileRenderJobTest, OptionalKeysReadTheirDefaultsAndAreWrittenBack)
{
    QJsonObject json = jobObject();
    json.remove(QStringLiteral("renderer"));
    QJsonObject params = json.value(QStringLiteral("params")).toObject();
    params.remove(QStringLiteral("custom"));
    json.insert(QStringLiteral("params"), params);
    const auto job = QuorvantileRenderJob::fromJson(json);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->renderer(), QStringLiteral("sarvek"));
    EXPECT_TRUE(job->toCompactJson().contains(R"("renderer":"sarvek")"));
    EXPECT_TRUE(job->toCompactJson().contains(R"("custom":{})"));

    json.insert(QStringLiteral("renderer"), QJsonValue::Null);
    EXPECT_EQ(QuorvantileRenderJob::fromJson(json)->renderer(), QStringLiteral("sarvek"));
    json.insert(QStringLiteral("renderer"), QString());
    EXPECT_EQ(QuorvantileRenderJob::fromJson(json)->renderer(), QString());
}

TEST(QuorvantileRenderJobTest, BadJobsAreRefusedWithAReason)
{
    struct Case
    {
        const char* what;
        const char* key;
        QJsonValue value; // undefined removes the key
    };
    const double huge = 9007199254740992.0;
    const Case cases[] = {
        {"missing start", "startFrame", QJsonValue(QJsonValue::Undefined)},
        {"start as text", "startFrame", QStringLiteral("10")},
        {"fractional end", "endFrame", 25.5},
        {"end before start", "endFrame", 5},
        {"id not a UUID", "jobID", QStringLiteral("job-1")},
        {"renderer of the wrong type", "renderer", 7},
        {"params not an object", "params", QStringLiteral("{}")},
        {"frame count times multiplier overflows", "endFrame", huge},
    };
    for (const Case& c : cases) {
        QJsonObject json = jobObject();
        if (c.value.isUndefined()) {
            json.remove(QLatin1String(c.key));
        } else {
            json.insert(QLatin1String(c.key), c.value);
        }
        if (QLatin1String(c.key) == QLatin1String("endFrame") && c.value.toDouble() == huge) {
            QJsonObject params = json.value(QStringLiteral("params")).toObject();
            params.insert(QStringLiteral("multiplier"), huge);
            json.insert(QStringLiteral("params"), params);
        }
        QString error;
        EXPECT_FALSE(QuorvantileRenderJob::fromJson(json, &error)) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
    EXPECT_FALSE(QuorvantileRenderJob::fromJsonBytes("[1,2]"));
    EXPECT_FALSE(QuorvantileRenderJob::fromJsonBytes(kJob.left(kJob.size() - 1)));

    // A params object short of any of its seventeen required keys, or with a custom value that is not text.
    QJsonObject params = jobObject().value(QStringLiteral("params")).toObject();
    for (const QString& key : params.keys()) {
        if (key == QLatin1String("custom")) {
            continue;
        }
        QJsonObject shorter = params;
        shorter.remove(key);
        EXPECT_FALSE(RenderParams::fromJson(shorter)) << key.toStdString();
    }
    params.insert(QStringLiteral("custom"), QJsonObject{{QStringLiteral("n"), 1}});
    EXPECT_FALSE(RenderParams::fromJson(params));
}

TEST(QuorvantileRenderJobTest, ComputedCounts)
{
    EXPECT_EQ(QuorvantileRenderJob({}, 10, 25, 100, paramsWithMultiplier(0), 0).outputFrameCount(), 15);
    EXPECT_EQ(QuorvantileRenderJob({}, 10, 25, 100, paramsWithMultiplier(-2), 0).outputFrameCount(), 15);
    EXPECT_DOUBLE_EQ(QuorvantileRenderJob({}, 0, 5, 0, {}, 0).segmentFraction(), 5.0);
    EXPECT_DOUBLE_EQ(QuorvantileRenderJob({}, 0, 25, 100, {}, 0).segmentFraction(), 0.25);

    QuorvantileRenderProgress progress;
    progress.framesComplete = 12;
    progress.totalFrames = 10;
    EXPECT_DOUBLE_EQ(progress.fraction(), 1.2);
    progress.totalFrames = 0;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.0);
}

TEST(QuorvantileRenderJobTest, ProgressRoundTripsAndRefusesUnknownStatus)
{
    const QByteArray wire =
        R"({"jobID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","status":"transferring","framesComplete":3,"totalFrames":15,"elapsedSeconds":1.5})";
    const auto progress = QuorvantileRenderProgress::fromJson(QJsonDocument::fromJson(wire).object());
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->status, QuorvantileRenderStatus::transferring);
    EXPECT_FALSE(progress->estimatedRemainingSeconds);
    EXPECT_EQ(progress->toCompactJson(), wire);

    QuorvantileRenderProgress withEstimate = *progress;
    withEstimate.estimatedRemainingSeconds = 4.0;
    EXPECT_EQ(QuorvantileRenderProgress::fromJson(withEstimate.toJson()), withEstimate);

    QByteArray unknown = wire;
    unknown.replace("transferring", "paused");
    EXPECT_FALSE(QuorvantileRenderProgress::fromJson(QJsonDocument::fromJson(unknown).object()));
    QByteArray missing = wire;
    missing.replace(R"(,"elapsedSeconds":1.5)", "");
    EXPECT_FALSE(QuorvantileRenderProgress::fromJson(QJsonDocument::fromJson(missing).object()));
}

namespace {

struct SplitCase
{
    std::int64_t totalFrames;
    std::int64_t workers;
    std::optional<QList<double>> weights;
    QList<std::pair<std::int64_t, std::int64_t>> segments;
};

QList<std::pair<std::int64_t, std::int64_t>> segmentsOf(const QList<QuorvantileRenderJob>& jobs)
{
    QList<std::pair<std::int64_t, std::int64_t>> segments;
    for (const auto& job : jobs) {
        segments.append({job.startFrame(), job.endFrame()});
    }
    return segments;
}

} // namespace

TEST(QuorvantileRenderSplitterTest, SharesFollowTheWeightsAndCoverEveryFrameOnce)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const SplitCase cases[] = {
        {100, 3, QList<double>{5.0, 4.0, 1.2}, {{0, 49}, {49, 88}, {88, 100}}},
        {10, 3, QList<double>{1, 1, 1}, {{0, 4}, {4, 7}, {7, 10}}},
        {5, 2, QList<double>{1, 1}, {{0, 2}, {2, 5}}},
        {7, 3, QList<double>{1.0, 1.2, 1.2}, {{0, 2}, {2, 5}, {5, 7}}},
        {10, 3, std::nullopt, {{0, 3}, {3, 6}, {6, 10}}},
        {2, 3, std::nullopt, {{0, 2}}},
        {2, 4, QList<double>{1, 1, 1, 1}, {{0, 1}, {1, 2}}},
        {50, 1, QList<double>{0.1, 99}, {{0, 50}}},
        {10, 3, QList<double>{1, 1}, {{0, 3}, {3, 6}, {6, 10}}},      // wrong length
        {10, 3, QList<double>{0, 0, 0}, {{0, 3}, {3, 6}, {6, 10}}},   // zero sum
        {10, 3, QList<double>{nan, 1, 1}, {{0, 3}, {3, 6}, {6, 10}}}, // not a number
        {10, 3, QList<double>{inf, 1, 1}, {{0, 3}, {3, 6}, {6, 10}}}, // infinite
        {10, 3, QList<double>{-1, 3, 1}, {{0, 3}, {3, 6}, {6, 10}}},  // negative
        {0, 3, std::nullopt, {}},
        {-5, 3, std::nullopt, {}},
        {10, 0, std::nullopt, {}},
    };
    RenderParams params;
    params.multiplier = 2;
    for (const SplitCase& c : cases) {
        const auto jobs = QuorvantileRenderSplitter::split(c.totalFrames, c.workers, params, 77, c.weights);
        EXPECT_EQ(segmentsOf(jobs), c.segments) << c.totalFrames << " frames, " << c.workers << " workers";
        for (const auto& job : jobs) {
            EXPECT_EQ(job.totalFrames(), c.totalFrames);
            EXPECT_EQ(job.sourceFileSize(), 77);
            EXPECT_EQ(job.params(), params);
            EXPECT_EQ(job.renderer(), QStringLiteral("sarvek"));
        }
    }
    const auto a = QuorvantileRenderSplitter::split(100, 3, {}, 0, QList<double>{5.0, 4.0, 1.2}, 0);
    const auto b = QuorvantileRenderSplitter::split(100, 3, {}, 0, QList<double>{5.0, 4.0, 1.2}, 40);
    EXPECT_EQ(segmentsOf(a), segmentsOf(b));
    EXPECT_NE(a[0].jobID(), b[0].jobID());
}

TEST(QuorvantileRenderSplitterTest, WeightsComeFromGraphicsMemory)
{
    const auto manifest = [](std::optional<std::int64_t> vram) {
        return QuorvantileManifest(QUuid::createUuid(), QStringLiteral("m"), QuorvantilePlatform::linux, {},
                                   {}, 8, 16384, std::nullopt, vram, false, 0.0);
    };
    EXPECT_EQ(QuorvantileRenderSplitter::speedWeights(std::nullopt, {}), QList<double>{1.0});
    const auto weights = QuorvantileRenderSplitter::speedWeights(
        manifest(std::nullopt),
        {manifest(8192), manifest(std::nullopt), manifest(65536), manifest(1), manifest(0)});
    ASSERT_EQ(weights.size(), 6);
    EXPECT_DOUBLE_EQ(weights[0], 1.0);
    EXPECT_DOUBLE_EQ(weights[1], 4.0);
    EXPECT_DOUBLE_EQ(weights[2], 1.2);
    EXPECT_DOUBLE_EQ(weights[3], 5.0);
    EXPECT_GT(weights[4], 3.0);
    EXPECT_LT(weights[4], 3.001);
    EXPECT_DOUBLE_EQ(weights[5], 1.2);
}
