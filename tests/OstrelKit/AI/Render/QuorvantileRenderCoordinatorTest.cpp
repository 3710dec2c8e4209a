#include "QuorvantileRenderCoordinator.h"

#include "HangCeiling.h"
#include "LoopbackAgents.h"
#include "Quorvantile.h"
#include "QuorvantileManifest.h"
#include "QuorvantileRenderPaths.h"
#include "StandInRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

using renderstandin::loopbackNode;
using renderstandin::toolsFolder;
using renderstandin::waitFor;

// Frames of the first video stream, counted by decoding.
int frameCount(const QString& movie)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                 QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=nb_read_frames"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                 movie});
    probe.waitForFinished(tovarine::test::kHangCeilingMs);
    return probe.exitCode() == 0 ? probe.readAllStandardOutput().trimmed().toInt() : -1;
}

// A render across this machine and two machines on loopback addresses: an HTTP agent (a fake agent process
// that runs the stand-in renderer) and a machine reached over fake ssh and scp on PATH, whose remote /tmp is
// a folder here. Each machine renders one colour.
class RenderCoordinatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            << "ffmpeg is needed";
        source = work.filePath(QStringLiteral("source.mov"));
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 's'));
        file.close();
        sshRoot = work.filePath(QStringLiteral("ssh"));
        QDir().mkpath(sshRoot);
        qputenv("FAKE_SSH_ROOT", sshRoot.toUtf8());
        savedPath = qgetenv("PATH");
        qputenv("PATH", (toolsFolder() + QStringLiteral("/fakessh:")).toUtf8() + savedPath);
        port = renderstandin::freeAgentPort();
        ASSERT_NE(port, 0);
        segments = work.filePath(QStringLiteral("segments"));
        QDir().mkpath(segments);
    }

    void TearDown() override
    {
        qputenv("PATH", savedPath);
        for (auto& agent : agents) {
            agent->kill();
            agent->waitForFinished(tovarine::test::kHangCeilingMs);
        }
    }

    void startAgent(const QString& host, const QStringList& extra = {})
    {
        auto agent =
            renderstandin::startFakeAgent(host, port, work.filePath(QStringLiteral("agent-") + host), extra);
        ASSERT_TRUE(agent);
        agents.push_back(std::move(agent));
    }

    // A machine reachable over the fake ssh; with a renderer at its /tmp/Sarvek.app unless `renderer` is
    // empty.
    void sshMachine(const QString& host, const QString& renderer)
    {
        const QString root = sshRoot + QLatin1Char('/') + host;
        QDir().mkpath(root + QStringLiteral("/Sarvek.app/Contents/MacOS"));
        if (!renderer.isEmpty()) {
            const QString script = root + QStringLiteral("/Sarvek.app/Contents/MacOS/Sarvek");
            QFile file(script);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(renderer.toUtf8());
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    QuorvantileRenderCoordinator::Options options(QList<QuorvantileNode> nodes)
    {
        QuorvantileRenderCoordinator::Options o;
        o.renderPort = port;
        o.probeTimeoutMs = 2000;
        o.http.pollIntervalMs = 100;
        o.segmentDirectory = segments;
        o.remoteNodes = [nodes] { return nodes; };
        o.localManifest = [] { return std::optional<QuorvantileManifest>(); };
        return o;
    }

    QuorvantileRenderResult<QStringList>
    render(QuorvantileRenderCoordinator& coordinator, std::int64_t frames,
           const QStringList& localArguments = {QStringLiteral("--color"), QStringLiteral("red")},
           RenderParams params = {})
    {
        std::optional<QuorvantileRenderResult<QStringList>> result;
        coordinator.distributeRender(
            source, params, frames, [&](double p, std::int64_t, std::int64_t) { progress.append(p); },
            renderstandin::standInRenderer(renderstandin::standInProgram(), work.path(), localArguments),
            [&](const auto& r) { result = r; });
        EXPECT_TRUE(waitFor([&] { return result.has_value(); }, tovarine::test::kHangCeilingMs));
        return result.value_or(QuorvantileRenderResult<QStringList>::failure(QStringLiteral("timed out")));
    }

    // Collects the facade's render status lines, each change once, into `statuses`.
    void watchRenderStatus()
    {
        QObject::connect(&Quorvantile::shared(), &Quorvantile::changed, &statusWatcher, [this] {
            const auto status = Quorvantile::shared().renderStatus();
            if (status && (statuses.isEmpty() || statuses.last() != *status)) {
                statuses.append(*status);
            }
        });
    }

    // Joins `segmentFiles` into one movie and counts its frames; -1 when the join fails.
    int joinedFrames(QuorvantileRenderCoordinator& coordinator, const QStringList& segmentFiles)
    {
        const QString movie = work.filePath(QStringLiteral("joined.mov"));
        std::optional<QuorvantileRenderFileResult> joined;
        coordinator.concatenate(segmentFiles, 24.0, movie,
                                [&](const QuorvantileRenderFileResult& r) { joined = r; });
        EXPECT_TRUE(waitFor([&] { return joined.has_value(); }, tovarine::test::kHangCeilingMs));
        if (!joined || !joined->ok()) {
            ADD_FAILURE() << "join failed: " << (joined ? joined->message.toStdString() : "timed out");
            return -1;
        }
        return frameCount(movie);
    }

    QTemporaryDir work;
    QStringList statuses;
    QObject statusWatcher;
    QString source;
    QString sshRoot;
    QString segments;
    QByteArray savedPath;
    quint16 port = 0;
    std::vector<std::unique_ptr<QProcess>> agents;
    QList<double> progress;
};

const QString kSshRenderer = QStringLiteral("#!/bin/sh\nQUORVANTILE_STANDIN_COLOR=blue exec ");

} // namespace

TEST_F(RenderCoordinatorTest, TwoMachinesOneFailingGiveOneMovieWithEveryFrame)
{
    startAgent(QStringLiteral("127.0.0.2"), {QStringLiteral("--color"), QStringLiteral("green")});
    sshMachine(QStringLiteral("127.0.0.3"), QStringLiteral("#!/bin/sh\nexit 3\n")); // its renderer breaks
    QuorvantileRenderCoordinator coordinator(
        options({loopbackNode(QStringLiteral("studio.local"), QStringLiteral("127.0.0.2")),
                 loopbackNode(QStringLiteral("attic"), QStringLiteral("127.0.0.3"))}));
    watchRenderStatus();
    const std::int64_t jobsBefore = Quorvantile::shared().stats().renderJobs();

    const auto result = render(coordinator, 96);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    ASSERT_EQ(result.value->size(), 3);
    EXPECT_TRUE(
        statuses.contains(QStringLiteral("splitting 96 frames across 3 machines (studio.local, attic)")));
    EXPECT_TRUE(statuses.contains(QStringLiteral("attic failed — finishing that segment on this computer")));
    EXPECT_TRUE(statuses.contains(QStringLiteral("uploading 0MB to studio.local…")));
    // The HTTP agent's segment came back into the segment folder.
    EXPECT_TRUE((*result.value)[1].startsWith(segments));

    const auto& comparison = coordinator.speedComparison();
    ASSERT_TRUE(comparison);
    EXPECT_EQ(comparison->workerCount, 3);
    ASSERT_EQ(comparison->perWorker.size(), 3);
    EXPECT_EQ(comparison->perWorker[0].name, QStringLiteral("this computer"));
    EXPECT_EQ(comparison->perWorker[1].name, QStringLiteral("studio"));
    EXPECT_EQ(comparison->perWorker[2].name, QStringLiteral("attic"));
    EXPECT_EQ(coordinator.distributionSummary(), comparison->summary());
    EXPECT_EQ(Quorvantile::shared().lastSpeedComparison()->summary(), comparison->summary());
    EXPECT_EQ(Quorvantile::shared().stats().renderJobs(), jobsBefore + 1);
    EXPECT_FALSE(coordinator.isDistributing());
    EXPECT_DOUBLE_EQ(coordinator.overallProgress(), 1.0);
    EXPECT_FALSE(progress.isEmpty());
    // The closing reset clears the facade's render fields after the call.
    EXPECT_TRUE(waitFor(
        [] {
            return !Quorvantile::shared().renderStatus() && Quorvantile::shared().workerProgress().isEmpty();
        },
        2000));

    EXPECT_EQ(joinedFrames(coordinator, *result.value), 96);
}

TEST_F(RenderCoordinatorTest, AResultCutShortIsRenderedHereAndNotKept)
{
    // The agent renders, answers 200 with the whole segment's Content-Length, and closes halfway through.
    startAgent(QStringLiteral("127.0.0.2"),
               {QStringLiteral("--color"), QStringLiteral("green"), QStringLiteral("--cut-result")});
    QuorvantileRenderCoordinator coordinator(
        options({loopbackNode(QStringLiteral("studio"), QStringLiteral("127.0.0.2"))}));
    watchRenderStatus();
    const auto result = render(coordinator, 60);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    ASSERT_EQ(result.value->size(), 2);
    EXPECT_TRUE(statuses.contains(QStringLiteral("studio failed — finishing that segment on this computer")));
    // The second segment is this computer's, and the half download is nowhere among the segments.
    EXPECT_FALSE((*result.value)[1].startsWith(segments));
    EXPECT_EQ(QDir(segments).entryList(QDir::Files | QDir::Hidden), QStringList());

    EXPECT_EQ(joinedFrames(coordinator, *result.value), 60);
}

TEST_F(RenderCoordinatorTest, ASegmentThatIsNotWholeOrNotBoundedIsRenderedHere)
{
    // Agents that answer /result with 200 and a segment HTTP alone cannot judge (coded and cut, read to
    // close and cut, announced short), or that never finish sending it (a trickle, an endless body). Small
    // bounds: 1 s for the download, 256 KiB + 4 KiB per frame (the stand-in's frames take some 100 bytes).
    const char* styles[] = {"gzip-cut", "close-cut", "short-length", "trickle", "endless"};
    for (const char* style : styles) {
        SCOPED_TRACE(style);
        for (auto& agent : agents) {
            agent->kill();
            agent->waitForFinished(tovarine::test::kHangCeilingMs);
        }
        agents.clear();
        statuses.clear();
        startAgent(QStringLiteral("127.0.0.2"), {QStringLiteral("--color"), QStringLiteral("green"),
                                                 QStringLiteral("--result-style"), QLatin1String(style)});
        auto o = options({loopbackNode(QStringLiteral("studio"), QStringLiteral("127.0.0.2"))});
        o.http.result.baseTimeMs = 1000;
        o.http.result.timePerFrameMs = 0;
        o.http.result.baseBytes = 256 * 1024;
        o.http.result.bytesPerFrame = 4096;
        QuorvantileRenderCoordinator coordinator(o);
        QObject::disconnect(&Quorvantile::shared(), nullptr, &statusWatcher, nullptr);
        watchRenderStatus();
        const auto result = render(coordinator, 60);
        ASSERT_TRUE(result.ok()) << result.message.toStdString();
        ASSERT_EQ(result.value->size(), 2);
        EXPECT_TRUE(
            statuses.contains(QStringLiteral("studio failed — finishing that segment on this computer")));
        EXPECT_FALSE((*result.value)[1].startsWith(segments));
        EXPECT_EQ(QDir(segments).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(joinedFrames(coordinator, *result.value), 60);
        QFile::remove(work.filePath(QStringLiteral("joined.mov")));
    }
}

TEST_F(RenderCoordinatorTest, AnSshSegmentThatIsNotWholeOrNotBoundedIsRenderedHere)
{
    // Remote renderers (arguments: --render-segment SOURCE --job JOB --output OUT) whose segment is half a
    // movie, or one that trickles or never ends when scp copies it. Small bounds: 1 s for the copy,
    // 256 KiB in all.
    const QString standIn =
        QStringLiteral("#!/bin/sh\nQUORVANTILE_STANDIN_COLOR=blue ") + renderstandin::standInProgram();
    const struct
    {
        const char* what;
        QString renderer;
        QString message; // of the copy step; empty: the copy succeeds and the check refuses the segment
    } cases[] = {
        {"half a movie",
         standIn + QStringLiteral(" \"$@\" && head -c $(($(stat -c %s \"$6\") / 2)) \"$6\" > \"$6.h\" && "
                                  "mv \"$6.h\" \"$6\"\n"),
         {}},
        {"a trickle",
         QStringLiteral("#!/bin/sh\nmkfifo \"$6\"\n(while :; do printf x; sleep 0.2; done > \"$6\") "
                        ">/dev/null 2>&1 &\n"),
         QStringLiteral("Segment copy took longer than 1 s")},
        {"no end", QStringLiteral("#!/bin/sh\nln -s /dev/zero \"$6\"\n"),
         QStringLiteral("Segment copy sent more than 262144 bytes")},
    };
    QuorvantileSegmentBounds bounds;
    bounds.baseTimeMs = 1000;
    bounds.timePerFrameMs = 0;
    bounds.baseBytes = 256 * 1024;
    bounds.bytesPerFrame = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(sshRoot).removeRecursively();
        sshMachine(QStringLiteral("127.0.0.3"), c.renderer);
        auto o = options({loopbackNode(QStringLiteral("attic"), QStringLiteral("127.0.0.3"))});
        o.ssh.segment = bounds;
        QuorvantileRenderCoordinator coordinator(o);
        statuses.clear();
        QObject::disconnect(&Quorvantile::shared(), nullptr, &statusWatcher, nullptr);
        watchRenderStatus();
        const auto result = render(coordinator, 60);
        ASSERT_TRUE(result.ok()) << result.message.toStdString();
        EXPECT_TRUE(
            statuses.contains(QStringLiteral("attic failed — finishing that segment on this computer")));
        EXPECT_EQ(QDir(segments).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(joinedFrames(coordinator, *result.value), 60);
        QFile::remove(work.filePath(QStringLiteral("joined.mov")));
        if (c.message.isEmpty()) {
            continue;
        }
        // The copy itself ends at its bound, and no more than the bound reached the disk.
        QDir(sshRoot).removeRecursively();
        sshMachine(QStringLiteral("127.0.0.3"), c.renderer);
        QuorvantileRenderSshDispatch::Options sshOptions;
        sshOptions.segment = bounds;
        QuorvantileRenderSshDispatch dispatch(sshOptions, {[](QuorvantileRenderStatus) {}});
        std::optional<QuorvantileRenderFileResult> copied;
        dispatch.finished = [&](const QuorvantileRenderFileResult& r) { copied = r; };
        const QString segment = work.filePath(QStringLiteral("ssh-segment.mov"));
        dispatch.start(QuorvantileRenderJob(QUuid::createUuid(), 0, 30, 60, {}, 4096), source,
                       QStringLiteral("127.0.0.3"), segment);
        ASSERT_TRUE(waitFor([&] { return copied.has_value(); }, tovarine::test::kHangCeilingMs));
        EXPECT_EQ(copied->message, c.message);
        EXPECT_LE(QFileInfo(segment).size(), bounds.baseBytes);
        QFile::remove(segment);
    }
}

TEST_F(RenderCoordinatorTest, SshMachineRendersWithTheFixedRemoteCommandLine)
{
    sshMachine(QStringLiteral("127.0.0.3"),
               kSshRenderer + renderstandin::standInProgram() + QStringLiteral(" \"$@\"\n"));
    RenderParams params;
    params.multiplier = 2;
    QuorvantileRenderCoordinator coordinator(
        options({loopbackNode(QStringLiteral("attic"), QStringLiteral("127.0.0.3"))}));
    const auto result = render(coordinator, 30, {QStringLiteral("--color"), QStringLiteral("red")}, params);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    ASSERT_EQ(result.value->size(), 2);
    EXPECT_EQ(frameCount(result.value->at(0)) + frameCount(result.value->at(1)), 60);

    QFile log(sshRoot + QStringLiteral("/calls.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList calls = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(calls.size(), 4);
    const QString id =
        QFileInfo(result.value->at(1)).completeBaseName().remove(QStringLiteral("quorvantile_segment_"));
    const QString options =
        QStringLiteral("-o BatchMode=yes -o StrictHostKeyChecking=accept-new -o ConnectTimeout=10 "
                       "-o ServerAliveInterval=15 -o ServerAliveCountMax=4 --");
    EXPECT_EQ(calls[0],
              QStringLiteral("scp %1 %2 127.0.0.3:/tmp/quorvantile_source_%3.mov").arg(options, source, id));
    EXPECT_EQ(calls[1],
              QStringLiteral("ssh %1 127.0.0.3 cat > /tmp/quorvantile_job_%2.json").arg(options, id));
    EXPECT_EQ(calls[2],
              QStringLiteral("ssh %1 127.0.0.3 /tmp/Sarvek.app/Contents/MacOS/Sarvek --render-segment "
                             "/tmp/quorvantile_source_%2.mov --job /tmp/quorvantile_job_%2.json --output "
                             "/tmp/quorvantile_segment_%2.mov")
                  .arg(options, id));
    EXPECT_EQ(calls[3], QStringLiteral("scp %1 127.0.0.3:/tmp/quorvantile_segment_%2.mov %3")
                            .arg(options, id, result.value->at(1)));
    // The speed-up is judged on source frames: the multiplier shows in the frames, not in the estimate.
    const auto& comparison = *coordinator.speedComparison();
    EXPECT_EQ(comparison.perWorker[0].frames + comparison.perWorker[1].frames, 60);
    const std::int64_t localSourceFrames = comparison.perWorker[0].frames / 2;
    EXPECT_NEAR(comparison.estimatedSoloSeconds,
                30.0 * comparison.perWorker[0].seconds / static_cast<double>(localSourceFrames), 1e-6);
}

TEST_F(RenderCoordinatorTest, LocalFailureCancellationAndRefusals)
{
    // Nothing to split.
    QuorvantileRenderCoordinator lone(options({}));
    bool rendered = false;
    std::optional<QuorvantileRenderResult<QStringList>> none;
    lone.distributeRender(
        source, {}, 0, {},
        [&](const QString&, const QuorvantileRenderJob&, QuorvantileSegmentTask) { rendered = true; },
        [&](const auto& r) { none = r; });
    ASSERT_TRUE(none);
    EXPECT_EQ(none->error, QuorvantileRenderError::noFrames);
    EXPECT_FALSE(rendered);
    EXPECT_EQ(lone.distributionSummary(), QStringLiteral("Splitting across 1 machine"));

    // The local job fails while the remote one renders over ssh: the ssh child is killed, the render fails
    // with the local error, and the cancelled sibling starts no local render.
    sshMachine(QStringLiteral("127.0.0.3"), QStringLiteral("#!/bin/sh\nsleep 30; exit 3\n"));
    QuorvantileRenderCoordinator coordinator(
        options({loopbackNode(QStringLiteral("attic"), QStringLiteral("127.0.0.3"))}));
    int localCalls = 0;
    std::optional<QuorvantileRenderResult<QStringList>> failed;
    QElapsedTimer clock;
    clock.start();
    coordinator.distributeRender(
        source, {}, 20, {},
        [&](const QString&, const QuorvantileRenderJob&, QuorvantileSegmentTask task) {
            ++localCalls;
            QTimer::singleShot(1000, [task] {
                task.finish(QuorvantileRenderFileResult::failure(QStringLiteral("disk full")));
            });
        },
        [&](const auto& r) { failed = r; });
    // A second render while one runs is refused at once.
    std::optional<QuorvantileRenderResult<QStringList>> refused;
    coordinator.distributeRender(source, {}, 20, {}, {}, [&](const auto& r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->ok());
    ASSERT_TRUE(waitFor([&] { return failed.has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(failed->message, QStringLiteral("disk full"));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(localCalls, 1);
    EXPECT_FALSE(coordinator.speedComparison());

    // The host cancels: the local render sees its flag and the call ends with a cancellation.
    std::optional<QuorvantileSegmentTask> running;
    std::optional<QuorvantileRenderResult<QStringList>> cancelled;
    QuorvantileRenderCoordinator single(options({}));
    single.distributeRender(
        source, {}, 10, {},
        [&](const QString&, const QuorvantileRenderJob&, QuorvantileSegmentTask task) { running = task; },
        [&](const auto& r) { cancelled = r; });
    ASSERT_TRUE(running);
    single.cancel();
    EXPECT_TRUE(running->cancelled->load());
    EXPECT_TRUE(single.isDistributing()); // until the renderer has stopped
    running->finish(QuorvantileRenderFileResult::cancellation());
    ASSERT_TRUE(waitFor([&] { return cancelled.has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(cancelled->cancelled);
    EXPECT_FALSE(single.isDistributing());
}

TEST_F(RenderCoordinatorTest, OneMachineRendersAloneAndLateFramesLeaveItComplete)
{
    QuorvantileRenderCoordinator coordinator(options({}));
    const std::int64_t before = Quorvantile::shared().stats().totalRenderedFrames();
    std::optional<QuorvantileRenderResult<QStringList>> result;
    QUuid jobID;
    coordinator.distributeRender(
        source, {}, 120, {},
        [&](const QString&, const QuorvantileRenderJob& job, QuorvantileSegmentTask task) {
            jobID = job.jobID();
            EXPECT_EQ(job.startFrame(), 0);
            EXPECT_EQ(job.endFrame(), 120);
            task.reportFrames(60);
            task.finish(QuorvantileRenderFileResult::success(QStringLiteral("/tmp/segment.mov")));
            task.reportFrames(61); // arrives after the end
        },
        [&](const auto& r) { result = r; });
    EXPECT_EQ(coordinator.distributionSummary(), QStringLiteral("Splitting across 1 machine"));
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(result->ok());
    EXPECT_EQ(*result->value, QStringList{QStringLiteral("/tmp/segment.mov")});
    QCoreApplication::processEvents();
    const QuorvantileRenderProgress record = coordinator.segmentProgress().value(jobID);
    EXPECT_EQ(record.status, QuorvantileRenderStatus::complete);
    EXPECT_EQ(record.framesComplete, 120);
    EXPECT_EQ(Quorvantile::shared().stats().totalRenderedFrames(), before + 120);
    EXPECT_TRUE(
        waitFor([] { return !Quorvantile::shared().renderStatus(); }, tovarine::test::kHangCeilingMs));
}
