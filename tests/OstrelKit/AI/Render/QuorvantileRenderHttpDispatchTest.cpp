#include "QuorvantileRenderHttpDispatch.h"

#include "FakeModelServer.h"
#include "LoopbackAgents.h"
#include "QuorvantileAgentReply.h"
#include "QuorvantileManifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;
using renderstandin::waitFor;
using tovarine::test::FakeModelReply;
using tovarine::test::FakeModelServer;

namespace {

FakeModelReply status(const char* state, int frames, int total = 20, const char* error = nullptr)
{
    QJsonObject body{{QStringLiteral("status"), QLatin1String(state)},
                     {QStringLiteral("framesComplete"), frames},
                     {QStringLiteral("totalFrames"), total}};
    if (error) {
        body.insert(QStringLiteral("error"), QLatin1String(error));
    }
    return FakeModelReply::json(body);
}

// One dispatch against the scripted agent; the routes for upload, submit and result answer well unless a test
// scripts them otherwise.
class HttpDispatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(agent.listen());
        script();
    }

    // Answers that let a dispatch succeed.
    void script()
    {
        for (const char* ext : {"mov", "MP4", "m%20v%26x%3D1"}) {
            agent.setReply("POST", uploadPath(QLatin1String(ext)), FakeModelReply::json({}));
        }
        agent.setReply("POST", QStringLiteral("/render/submit"), FakeModelReply::json({}, 202));
        agent.setReply("GET", resultPath(), FakeModelReply::text(200, "MOVIE"));
        agent.setReply("GET", statusPath(), status("complete", 20));
    }

    QString uploadPath(const QString& ext) const
    {
        return QStringLiteral("/source/upload?id=%1&ext=%2").arg(quorvantileUuidText(job.jobID()), ext);
    }
    QString statusPath() const
    {
        return QStringLiteral("/render/") + quorvantileUuidText(job.jobID()) + QStringLiteral("/status");
    }
    QString resultPath() const
    {
        return QStringLiteral("/render/") + quorvantileUuidText(job.jobID()) + QStringLiteral("/result");
    }

    QString sourceNamed(const QString& name)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(3000, 'v'));
        return path;
    }

    QuorvantileRenderFileResult run(const QString& source,
                                    QuorvantileRenderHttpDispatch::Options options = fastOptions())
    {
        QuorvantileRenderHttpDispatch::Hooks hooks;
        hooks.segmentStatus = [this](QuorvantileRenderStatus s) { statuses.append(s); };
        hooks.framesReported = [this](std::int64_t f) { frames.append(f); };
        hooks.renderStatus = [this](const QString& text) { lines.append(text); };
        QuorvantileRenderHttpDispatch dispatch(&network, options, hooks);
        std::optional<QuorvantileRenderFileResult> result;
        dispatch.finished = [&](const QuorvantileRenderFileResult& r) { result = r; };
        dispatch.start(job, source, agent.baseUrl(), QStringLiteral("studio"),
                       folder.filePath(QStringLiteral("segment.mov")));
        EXPECT_TRUE(waitFor([&] { return result.has_value(); }));
        return result.value_or(QuorvantileRenderFileResult::failure(QStringLiteral("timed out")));
    }

    static QuorvantileRenderHttpDispatch::Options fastOptions()
    {
        QuorvantileRenderHttpDispatch::Options options;
        options.pollIntervalMs = 20;
        return options;
    }

    QList<QString> requestPaths() const
    {
        QList<QString> paths;
        for (const auto& request : agent.requests()) {
            paths.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path);
        }
        return paths;
    }

    FakeModelServer agent;
    QNetworkAccessManager network;
    QTemporaryDir folder;
    RenderParams params = [] {
        RenderParams p;
        p.multiplier = 2;
        return p;
    }();
    QuorvantileRenderJob job{QUuid::createUuid(), 0, 10, 30, params, 3000};
    QList<QuorvantileRenderStatus> statuses;
    QList<std::int64_t> frames;
    QList<QString> lines;
};

} // namespace

TEST_F(HttpDispatchTest, UploadsSubmitsPollsAndDownloads)
{
    agent.enqueueReply("GET", statusPath(), FakeModelReply::text(502, "<html>bad gateway</html>"));
    agent.enqueueReply("GET", statusPath(),
                       status("rendering", 5, 10)); // counts source frames: 5 of 10 is 10 of 20
    agent.enqueueReply("GET", statusPath(), status("queued", 3, 20));
    const auto result = run(sourceNamed(QStringLiteral("take 1.MP4")));
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    QFile segment(*result.value);
    ASSERT_TRUE(segment.open(QIODevice::ReadOnly));
    EXPECT_EQ(segment.readAll(), QByteArray("MOVIE"));

    const QString id = quorvantileUuidText(job.jobID());
    ASSERT_GE(agent.requests().size(), 4);
    EXPECT_EQ(requestPaths().first(), QStringLiteral("POST /source/upload?id=%1&ext=MP4").arg(id));
    const auto& upload = agent.requests().first();
    EXPECT_EQ(upload.headers.value("content-type"), QByteArray("application/octet-stream"));
    EXPECT_EQ(upload.body.size(), 3000);
    EXPECT_FALSE(upload.headers.contains("expect"));
    EXPECT_EQ(agent.requests()[1].body, job.toCompactJson());
    EXPECT_EQ(agent.requests()[1].headers.value("content-type"), QByteArray("application/json"));
    EXPECT_EQ(frames, (QList<std::int64_t>{10, 3, 20}));
    EXPECT_EQ(statuses, (QList<QuorvantileRenderStatus>{QuorvantileRenderStatus::transferring,
                                                        QuorvantileRenderStatus::rendering,
                                                        QuorvantileRenderStatus::complete}));
    EXPECT_EQ(lines, QList<QString>{QStringLiteral("uploading 0MB to studio…")});
}

TEST_F(HttpDispatchTest, ExtensionsAreEncoded)
{
    const QString id = quorvantileUuidText(job.jobID());
    ASSERT_TRUE(run(sourceNamed(QStringLiteral("clip"))).ok());
    ASSERT_TRUE(run(sourceNamed(QStringLiteral("odd.m v&x=1"))).ok());
    const QList<QString> paths = requestPaths();
    EXPECT_TRUE(paths.contains(QStringLiteral("POST /source/upload?id=%1&ext=mov").arg(id)));
    EXPECT_TRUE(paths.contains(QStringLiteral("POST /source/upload?id=%1&ext=m%20v%26x%3D1").arg(id)));
}

TEST_F(HttpDispatchTest, AgentFailuresEndTheCallWithTheirError)
{
    struct Case
    {
        const char* what;
        QByteArray method;
        QString path;
        FakeModelReply reply;
        std::optional<QuorvantileRenderError> error;
        QString message;
    };
    const Case cases[] = {
        {"refused upload", "POST", uploadPath(QStringLiteral("mov")), FakeModelReply::text(500, "no"),
         QuorvantileRenderError::transferFailed, QStringLiteral("Failed to transfer source file")},
        {"refused submit", "POST", QStringLiteral("/render/submit"), FakeModelReply::text(400, "no"),
         QuorvantileRenderError::remoteRejected, QStringLiteral("Remote node rejected the render job")},
        {"failure without a reason", "GET", statusPath(), status("failed", 0),
         QuorvantileRenderError::remoteFailed, QStringLiteral("Remote render failed: unknown")},
        {"failure with a reason", "GET", statusPath(), status("failed", 0, 20, "GPU lost"),
         QuorvantileRenderError::remoteFailed, QStringLiteral("Remote render failed: GPU lost")},
        {"empty result", "GET", resultPath(), FakeModelReply::text(200, ""),
         QuorvantileRenderError::remoteFailed, QStringLiteral("Remote render failed")},
        {"missing result", "GET", resultPath(), FakeModelReply::text(404, "gone"),
         QuorvantileRenderError::remoteFailed, QStringLiteral("Remote render failed")},
    };
    const QString source = sourceNamed(QStringLiteral("a.mov"));
    for (const Case& c : cases) {
        agent.setReply(c.method, c.path, c.reply);
        const auto result = run(source);
        EXPECT_FALSE(result.ok()) << c.what;
        EXPECT_EQ(result.error, c.error) << c.what;
        EXPECT_EQ(result.message, c.message) << c.what;
        script();
    }
    // A source that cannot be read, and an agent that is gone.
    EXPECT_FALSE(run(folder.filePath(QStringLiteral("missing.mov"))).ok());
    agent.close();
    const auto gone = run(source);
    EXPECT_FALSE(gone.ok());
    EXPECT_FALSE(gone.error.has_value());
}

TEST_F(HttpDispatchTest, AResultCutShortIsAFailureAndLeavesNoFile)
{
    // Each answer starts "200 OK" and ends before the segment is whole.
    const auto cut = [](const QByteArray& raw, FakeModelReply::Ending ending) {
        FakeModelReply reply;
        reply.notHttp = true;
        reply.pieces = {raw};
        reply.ending = ending;
        return reply;
    };
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: video/quicktime\r\nConnection: close\r\n";
    const struct
    {
        const char* what;
        FakeModelReply reply;
    } cases[] = {
        {"closed before the announced length",
         cut(head + "Content-Length: 10\r\n\r\nMOVI", FakeModelReply::Ending::close)},
        {"reset before the announced length",
         cut(head + "Content-Length: 10\r\n\r\nMOVI", FakeModelReply::Ending::reset)},
        {"chunks without the closing chunk",
         cut(head + "Transfer-Encoding: chunked\r\n\r\n4\r\nMOVI\r\n", FakeModelReply::Ending::close)},
    };
    const QString source = sourceNamed(QStringLiteral("a.mov"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        agent.setReply("GET", resultPath(), c.reply);
        statuses.clear();
        const auto result = run(source);
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.message.isEmpty());
        EXPECT_FALSE(statuses.contains(QuorvantileRenderStatus::complete));
        // Neither the segment nor a part of it is left behind.
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("a.mov")});
    }
}

TEST_F(HttpDispatchTest, EveryAnswerIsHeldToItsBytesAndTime)
{
    // Small limits, so that a test meets them at once: every request 300 ms in all, other answers 64 KiB,
    // the segment (20 output frames) 1000 + 20 x 10 bytes.
    auto options = fastOptions();
    options.uploadBaseTimeMs = 300;
    options.uploadMinBytesPerSecond = 1 << 30;
    options.submitTimeoutMs = 300;
    options.statusTimeLimitMs = 300;
    options.result.baseTimeMs = 300;
    options.result.timePerFrameMs = 0;
    options.result.baseBytes = 1000;
    options.result.bytesPerFrame = 10;
    // A byte every 50 ms for 5 s: never idle, but far past the time limit.
    const auto trickle = [](const QByteArray& body) {
        FakeModelReply reply = FakeModelReply::text(200, body.repeated(1 + 100 / body.size()).left(100));
        reply.splitEvery(1);
        reply.pieceDelayMs = 50;
        return reply;
    };
    const auto chunkedFlood = [] {
        FakeModelReply reply = FakeModelReply::text(200, QByteArray(200'000, 'x'));
        reply.splitEvery(10'000);
        reply.chunked = true;
        return reply;
    };
    // "MOVIE" in gzip, as an agent that codes what it sends whatever it was asked.
    const QByteArray gzipped(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xf3\xf5\x0f\xf3\x74\x05\x00\xdf\x30\x0a"
        "\xea\x05\x00\x00\x00",
        25);
    FakeModelReply coded;
    coded.notHttp = true;
    coded.pieces = {"HTTP/1.1 200 OK\r\nContent-Type: video/quicktime\r\nContent-Encoding: gzip\r\n"
                    "Content-Length: 25\r\nConnection: close\r\n\r\n" +
                    gzipped};
    const struct
    {
        const char* what;
        QByteArray method;
        QString path;
        FakeModelReply reply;
        QString message;
    } cases[] = {
        {"upload answer trickles", "POST", uploadPath(QStringLiteral("mov")), trickle("{}"),
         "Upload took longer than 0.3 s"},
        {"upload answer too large", "POST", uploadPath(QStringLiteral("mov")),
         FakeModelReply::text(200, QByteArray(100'000, 'x')), "Upload sent more than 65536 bytes"},
        {"submit answer trickles", "POST", QStringLiteral("/render/submit"), trickle("{}"),
         "Submit took longer than 0.3 s"},
        {"submit answer too large", "POST", QStringLiteral("/render/submit"), chunkedFlood(),
         "Submit sent more than 65536 bytes"},
        {"status answer trickles", "GET", statusPath(), trickle("{}"),
         "Status request took longer than 0.3 s"},
        {"status answer too large", "GET", statusPath(), FakeModelReply::text(200, QByteArray(100'000, ' ')),
         "Status request sent more than 65536 bytes"},
        {"segment trickles", "GET", resultPath(), trickle("MOVIE"),
         "Segment download took longer than 0.3 s"},
        {"segment larger than the job can be, announced", "GET", resultPath(),
         FakeModelReply::text(200, QByteArray(5000, 'm')), "Segment download sent more than 1200 bytes"},
        {"segment larger than the job can be, read to its end", "GET", resultPath(), chunkedFlood(),
         "Segment download sent more than 1200 bytes"},
        {"segment coded", "GET", resultPath(), coded,
         "Segment download refused: the agent coded it as gzip, which was not asked for"},
    };
    const QString source = sourceNamed(QStringLiteral("a.mov"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Only the first answer is odd: after it the agent would answer well.
        agent.enqueueReply(c.method, c.path, c.reply);
        statuses.clear();
        const auto result = run(source, options);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.message, c.message) << result.message.toStdString();
        EXPECT_FALSE(statuses.contains(QuorvantileRenderStatus::complete));
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("a.mov")});
        script();
    }
    // Every request asked for its body as it is, uncoded.
    ASSERT_FALSE(agent.requests().isEmpty());
    for (const auto& request : agent.requests()) {
        EXPECT_EQ(request.headers.value("accept-encoding"), QByteArray("identity"))
            << request.path.toStdString();
    }
}

TEST_F(HttpDispatchTest, StallsCountOnlyWhileRenderingAfterTheFirstFrame)
{
    auto options = fastOptions();
    options.stallTimeoutMs = 300;
    // No frame yet: no limit; the poll goes on until the agent reports completion.
    for (int i = 0; i < 25; ++i) {
        agent.enqueueReply("GET", statusPath(), status("rendering", 0));
    }
    EXPECT_TRUE(run(sourceNamed(QStringLiteral("a.mov")), options).ok());

    // Frames stuck at 4 while rendering: failed once the limit passes; a count going down is no growth.
    agent.enqueueReply("GET", statusPath(), status("rendering", 4));
    agent.setReply("GET", statusPath(), status("rendering", 3));
    const auto stalled = run(sourceNamed(QStringLiteral("a.mov")), options);
    EXPECT_EQ(stalled.error, QuorvantileRenderError::remoteFailed);
    EXPECT_TRUE(frames.contains(3));
}

TEST_F(HttpDispatchTest, AnAgentThatNeverMovesOnIsLeftAfterTheProgressLimit)
{
    // Whatever the agent keeps answering without a new frame, the wait ends and the segment fails (to be
    // rendered here); frames that keep coming are never cut short by it.
    auto options = fastOptions();
    options.progressTimeoutMs = 300;
    const struct
    {
        const char* what;
        FakeModelReply reply;
    } endless[] = {
        {"queued", status("queued", 0)},
        {"queued with frames", status("queued", 4)},
        {"rendering before the first frame", status("rendering", 0)},
        {"not JSON", FakeModelReply::text(200, "<html>busy</html>")},
    };
    for (const auto& c : endless) {
        SCOPED_TRACE(c.what);
        agent.setReply("GET", statusPath(), c.reply);
        const auto result = run(sourceNamed(QStringLiteral("a.mov")), options);
        EXPECT_EQ(result.error, QuorvantileRenderError::remoteFailed);
        EXPECT_TRUE(result.message.endsWith(QStringLiteral(": no new frames"))) << result.message.toStdString();
    }

    agent.setReply("GET", statusPath(), status("complete", 20));
    for (int f = 1; f <= 19; ++f) {
        agent.enqueueReply("GET", statusPath(), status("rendering", f, 20));
    }
    options.pollIntervalMs = 30; // 19 polls take longer than the limit, each bringing a new frame
    EXPECT_TRUE(run(sourceNamed(QStringLiteral("a.mov")), options).ok());
}

TEST_F(HttpDispatchTest, ReportedFramesStayWithinTheSegment)
{
    // The segment has 20 output frames; the agent claims more, and fewer than none.
    agent.enqueueReply("GET", statusPath(), status("rendering", 500, 20));
    agent.enqueueReply("GET", statusPath(), status("rendering", -3, 20));
    agent.enqueueReply("GET", statusPath(), status("rendering", 7, 20));
    ASSERT_TRUE(run(sourceNamed(QStringLiteral("a.mov"))).ok());
    EXPECT_EQ(frames, (QList<std::int64_t>{20, 0, 7, 20}));
}

TEST_F(HttpDispatchTest, ProbeWantsStatus200)
{
    for (const auto& [code, expected] :
         {std::pair{200, true}, std::pair{204, false}, std::pair{500, false}}) {
        agent.setReply("GET", QStringLiteral("/health"), FakeModelReply::text(code, ""));
        std::optional<bool> available;
        QObject context;
        QuorvantileRenderHttpDispatch::probe(&network, agent.baseUrl(), 2000, &context,
                                             [&](bool a) { available = a; });
        ASSERT_TRUE(waitFor([&] { return available.has_value(); }));
        EXPECT_EQ(*available, expected) << code;
    }
}

TEST_F(HttpDispatchTest, AProbeAnswerThatTricklesOrDoesNotEndMeansNoAgent)
{
    FakeModelReply trickle = FakeModelReply::text(200, QByteArray(100, 'o'));
    trickle.splitEvery(1);
    trickle.pieceDelayMs = 50; // never idle for the 300 ms limit, and 5 s in all
    FakeModelReply flood = FakeModelReply::text(200, QByteArray(1'000'000, 'o'));
    flood.splitEvery(10'000);
    flood.chunked = true;
    for (const auto& [what, reply] : {std::pair{"trickle", trickle}, std::pair{"flood", flood}}) {
        agent.setReply("GET", QStringLiteral("/health"), reply);
        std::optional<bool> available;
        QObject context;
        QuorvantileRenderHttpDispatch::probe(&network, agent.baseUrl(), 300, &context,
                                             [&](bool a) { available = a; });
        ASSERT_TRUE(waitFor([&] { return available.has_value(); }));
        EXPECT_FALSE(*available) << what;
    }
}

TEST(QuorvantileAgentStatus, ReadsWhatAnAgentAnswers)
{
    // A segment of 40 output frames (20 source frames at a multiplier of 2).
    const struct
    {
        const char* body;
        bool read;
        QString status;
        std::optional<std::int64_t> frames;
        QString error;
    } cases[] = {
        {R"({"status":"rendering","framesComplete":12,"totalFrames":40})", true, "rendering", 12, "unknown"},
        {R"({"status":"rendering","framesComplete":10,"totalFrames":20})", true, "rendering", 20, "unknown"},
        {R"({"status":"queued"})", true, "queued", std::nullopt, "unknown"},
        {R"({"status":"failed","error":"renderer missing"})", true, "failed", std::nullopt,
         "renderer missing"},
        {R"({"status":"rendering","framesComplete":2.5})", true, "rendering", std::nullopt, "unknown"},
        {R"({"status":"rendering","framesComplete":8e15,"totalFrames":1e-300})", true, "rendering",
         8'000'000'000'000'000, "unknown"},
        {R"({"status":"rendering","framesComplete":8e15,"totalFrames":1})", true, "rendering", std::nullopt,
         "unknown"},
        {R"({"status":7})", false, {}, std::nullopt, {}},
        {"<html>502 Bad Gateway</html>", false, {}, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto reply = quorvantileParseAgentStatus(QByteArray(c.body), 40);
        ASSERT_EQ(reply.has_value(), c.read);
        if (reply) {
            EXPECT_EQ(reply->status, c.status);
            EXPECT_EQ(reply->frames, c.frames);
            EXPECT_EQ(reply->error, c.error);
        }
    }
}
