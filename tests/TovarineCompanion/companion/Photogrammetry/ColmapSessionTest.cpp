#include "ColmapPhotogrammetrySession.h"
#include "ColmapProgress.h"
#include "DropReconstruction.h"
#include "SceneFixtures.h"
#include "TestSupport.h"
#include "UsdzFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace tovarine;
using Session = ColmapPhotogrammetrySession;
using Output = PhotogrammetrySession::Output;
using Kind = PhotogrammetrySession::Output::Kind;
using Detail = PhotogrammetrySession::Detail;
using Stage = ColmapProgress::Stage;

namespace {

const char* const kFakeVariables[] = {
    "FAKE_COLMAP_FAIL",        "FAKE_COLMAP_CRASH",           "FAKE_COLMAP_SLEEP",
    "FAKE_COLMAP_IGNORE_TERM", "FAKE_COLMAP_NO_INITIAL_PAIR", "FAKE_COLMAP_NO_OUTPUT",
    "FAKE_COLMAP_PIDS",        "FAKE_COLMAP_UNDECODABLE"};

// True once `pid` has ended (a zombie waiting for its reaper counts as ended), waiting up to `timeoutMs`.
bool processEnds(qint64 pid, int timeoutMs = test::kHangCeilingMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            return true;
        }
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close >= 0 && line.mid(close + 2, 1) == "Z") {
            return true;
        }
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QThread::msleep(20);
    }
}

// The "<tool pid> <sleeper pid>" lines the fake colmap wrote to FAKE_COLMAP_PIDS.
std::vector<qint64> recordedPids(const QString& file)
{
    QFile f(file);
    std::vector<qint64> pids;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& word : f.readAll().simplified().split(' ')) {
            if (!word.isEmpty()) {
                pids.push_back(word.toLongLong());
            }
        }
    }
    return pids;
}

struct RunResult
{
    std::vector<Output> outputs;
    int ended = 0;
    int failed = 0;
    QString failure;
    bool timedOut = false;

    std::vector<double> progress() const
    {
        std::vector<double> values;
        for (const Output& o : outputs) {
            if (o.kind == Kind::requestProgress) {
                values.push_back(o.fractionComplete);
            }
        }
        return values;
    }
    int count(Kind kind) const
    {
        return static_cast<int>(
            std::count_if(outputs.begin(), outputs.end(), [&](const Output& o) { return o.kind == kind; }));
    }
    Kind last() const { return outputs.empty() ? Kind::other : outputs.back().kind; }
};

class ColmapSessionTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_frames = m_dir.filePath(QStringLiteral("capture/Images"));
        ASSERT_TRUE(QDir().mkpath(m_frames));
        writeFrames(12);
        m_frameCountAfter = 12;
        const QString modelDir = m_dir.filePath(QStringLiteral("sparse"));
        ASSERT_TRUE(test::writeTextModel(test::sphereOnGroundModel(), modelDir));
        const QString mesh = m_dir.filePath(QStringLiteral("mesh.ply"));
        ASSERT_TRUE(test::writeAsciiPly(test::untidySphereSurface(), mesh));
        m_workRoot = m_dir.filePath(QStringLiteral("work"));
        m_systemTemp = m_dir.filePath(QStringLiteral("tmp"));
        ASSERT_TRUE(QDir().mkpath(m_workRoot));
        ASSERT_TRUE(QDir().mkpath(m_systemTemp));
        m_calls = m_dir.filePath(QStringLiteral("calls.txt"));
        qputenv("FAKE_COLMAP_CALLS", m_calls.toLocal8Bit());
        qputenv("FAKE_COLMAP_MODEL_DIR", modelDir.toLocal8Bit());
        qputenv("FAKE_COLMAP_MESH", mesh.toLocal8Bit());
        m_savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_systemTemp.toLocal8Bit());
        for (const char* name : kFakeVariables) {
            qunsetenv(name);
        }
        m_options.colmapProgram = QStringLiteral(TOVARINE_SOURCE_ROOT "/tools/fake-colmap/colmap");
        m_options.workRoot = m_workRoot;
        m_options.maxThreads = 2;
        m_options.terminateGraceMs = 300;
    }

    void TearDown() override
    {
        for (const char* name : kFakeVariables) {
            qunsetenv(name);
        }
        if (m_savedTmp.isNull()) {
            qunsetenv("TMPDIR");
        } else {
            qputenv("TMPDIR", m_savedTmp);
        }
    }

    void writeFrames(int count)
    {
        QDir(m_frames).removeRecursively();
        QDir().mkpath(m_frames);
        for (int i = 0; i < count; ++i) {
            QFile frame(
                QDir(m_frames).filePath(QStringLiteral("frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0'))));
            ASSERT_TRUE(frame.open(QIODevice::WriteOnly));
            frame.write(tovarine::test::jpegFrameHeader(4032, 3024));
        }
    }

    // Cuts the first `count` frames short, as an interrupted transfer leaves them: their last byte missing.
    void cutFramesShort(int count)
    {
        const QStringList names = QDir(m_frames).entryList(QDir::Files, QDir::Name);
        for (const QString& name : names.mid(0, count)) {
            QFile frame(QDir(m_frames).filePath(name));
            ASSERT_TRUE(frame.open(QIODevice::ReadWrite));
            ASSERT_TRUE(frame.resize(frame.size() - 1));
        }
    }

    QString modelPath() const { return m_dir.filePath(QStringLiteral("capture/model.usdz")); }

    QStringList calls() const
    {
        QFile file(m_calls);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString callOf(const QString& subcommand) const
    {
        for (const QString& call : calls()) {
            if (call.startsWith(subcommand + QLatin1Char(' '))) {
                return call;
            }
        }
        return {};
    }

    // Runs one request to its end. `onOutput` sees each output as it arrives (it may cancel).
    RunResult run(Detail detail, PhotogrammetrySession::Configuration configuration = {},
                  std::function<void(Session&, const Output&)> onOutput = {},
                  bool cancelBeforeProcess = false)
    {
        RunResult result;
        m_session = std::make_unique<Session>(m_frames, configuration, m_options);
        Session& session = *m_session;
        QEventLoop loop;
        QObject::connect(&session, &PhotogrammetrySession::output, &session, [&](const Output& o) {
            result.outputs.push_back(o);
            if (onOutput) {
                onOutput(session, o);
            }
        });
        QObject::connect(&session, &PhotogrammetrySession::outputsEnded, &loop, [&] {
            ++result.ended;
            loop.quit();
        });
        QObject::connect(&session, &PhotogrammetrySession::outputsFailed, &loop, [&](const QString& message) {
            ++result.failed;
            result.failure = message;
            loop.quit();
        });
        if (cancelBeforeProcess) {
            session.cancel();
        }
        const auto accepted = session.process(modelPath(), detail);
        EXPECT_TRUE(accepted.hasValue());
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
            result.timedOut = true;
            loop.quit();
        });
        timeout.start(test::kHangCeilingMs);
        loop.exec();
        // Anything emitted after the end would show up here.
        QCoreApplication::processEvents();
        return result;
    }

    // What every ending must hold: one final output, last; one stream end; progress rising within 0...1; the
    // work folder gone and nothing left in the system's temporary folder (COLMAP's logs included).
    void expectCleanEnding(const RunResult& result, Kind final)
    {
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.ended, 1);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(result.last(), final);
        EXPECT_EQ(result.count(Kind::requestError) + result.count(Kind::processingComplete) +
                      result.count(Kind::processingCancelled),
                  1);
        const std::vector<double> progress = result.progress();
        for (std::size_t i = 0; i < progress.size(); ++i) {
            EXPECT_GE(progress[i], 0.0);
            EXPECT_LE(progress[i], 1.0);
            if (i > 0) {
                EXPECT_GT(progress[i], progress[i - 1]) << "progress went back or repeated at " << i;
            }
        }
        EXPECT_TRUE(QDir(m_workRoot).isEmpty()) << "work folder left behind";
        EXPECT_TRUE(QDir(m_systemTemp).isEmpty()) << "files left in the temporary folder";
        EXPECT_EQ(QDir(m_frames).entryList(QDir::Files).size(), m_frameCountAfter)
            << "the capture's frames changed";
        if (final != Kind::processingComplete) {
            EXPECT_FALSE(QFile::exists(modelPath()));
        }
    }

    QTemporaryDir m_dir;
    QString m_frames;
    QString m_workRoot;
    QString m_systemTemp;
    QString m_calls;
    QByteArray m_savedTmp;
    qsizetype m_frameCountAfter = 12;
    Session::Options m_options;
    std::unique_ptr<Session> m_session;
};

} // namespace

TEST_F(ColmapSessionTest, CompletesWithTheObjectAloneAndRisingProgress)
{
    const RunResult result = run(Detail::full);
    expectCleanEnding(result, Kind::processingComplete);
    ASSERT_FALSE(result.progress().empty());
    EXPECT_DOUBLE_EQ(result.progress().back(), 1.0);
    EXPECT_GE(result.progress().size(), 8u) << "each stage reports";

    const auto model = UsdzFile::read(modelPath());
    ASSERT_TRUE(model.hasValue()) << model.error().toStdString();
    // Less the triangles on the sphere's poles, which have no area.
    EXPECT_EQ(model->triangleCount(), 24u * 48u * 2u - 2u * 48u) << "only the object's surface is kept";
    EXPECT_EQ(model->colors.size(), model->positions.size());
    EXPECT_EQ(m_session->report().triangleCount, model->triangleCount());
    EXPECT_EQ(m_session->report().registeredCount, 24);

    // Full runs the dense chain; the stand-in colmap cannot undistort, so the surface comes from the sparse
    // points and the run's log says so.
    const QStringList expectedOrder{QStringLiteral("feature_extractor"),
                                    QStringLiteral("exhaustive_matcher"),
                                    QStringLiteral("mapper"),
                                    QStringLiteral("model_converter"),
                                    QStringLiteral("image_undistorter"),
                                    QStringLiteral("poisson_mesher")};
    QStringList order;
    for (const QString& call : calls()) {
        order.append(call.section(QLatin1Char(' '), 0, 0));
    }
    EXPECT_EQ(order, expectedOrder);
    // Nor can its frames be decoded, so no texture is baked: the model keeps its vertex colours, and the log
    // says why.
    ASSERT_EQ(m_session->report().notes.size(), 2);
    EXPECT_TRUE(
        m_session->report().notes.first().startsWith(QStringLiteral("Dense stereo gave no usable points")));
    EXPECT_TRUE(m_session->report().notes.last().startsWith(QStringLiteral(
        "The model keeps its vertex colours without a texture: None of the 24 frames could be read")));
    EXPECT_FALSE(model->hasTexture());
    EXPECT_EQ(m_session->report().textureSizePx, 0);
    EXPECT_TRUE(
        callOf(QStringLiteral("image_undistorter")).contains(QStringLiteral("--max_image_size 1600")));
    EXPECT_TRUE(
        callOf(QStringLiteral("feature_extractor")).contains(QStringLiteral("--SiftExtraction.use_gpu 0")));
    EXPECT_TRUE(
        callOf(QStringLiteral("exhaustive_matcher")).contains(QStringLiteral("--SiftMatching.use_gpu 0")));
}

TEST_F(ColmapSessionTest, ArgumentsFollowTheDetailLevelAndTheCapture)
{
    const struct
    {
        Detail detail;
        int frames;
        PhotogrammetrySession::SampleOrdering ordering;
        const char* imageSize;
        const char* features;
        const char* depth;
        const char* matcher;
    } cases[] = {
        {Detail::preview, 12, PhotogrammetrySession::SampleOrdering::sequential, "640", "1024", "8",
         "exhaustive_matcher"},
        {Detail::reduced, 12, PhotogrammetrySession::SampleOrdering::sequential, "1024", "2048", "9",
         "exhaustive_matcher"},
        {Detail::medium, 12, PhotogrammetrySession::SampleOrdering::sequential, "1600", "4096", "9",
         "exhaustive_matcher"},
        {Detail::full, 61, PhotogrammetrySession::SampleOrdering::sequential, "3200", "8192", "10",
         "sequential_matcher"},
        {Detail::full, 61, PhotogrammetrySession::SampleOrdering::unordered, "3200", "8192", "10",
         "exhaustive_matcher"},
        {Detail::raw, 12, PhotogrammetrySession::SampleOrdering::sequential, "4032", "16384", "10",
         "exhaustive_matcher"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("detail %1, %2 frames")
                         .arg(static_cast<int>(c.detail))
                         .arg(c.frames)
                         .toStdString());
        QFile::remove(m_calls);
        writeFrames(c.frames);
        m_frameCountAfter = c.frames;
        PhotogrammetrySession::Configuration configuration;
        configuration.sampleOrdering = c.ordering;
        const RunResult result = run(c.detail, configuration);
        expectCleanEnding(result, Kind::processingComplete);
        const QString extractor = callOf(QStringLiteral("feature_extractor"));
        EXPECT_TRUE(
            extractor.contains(QStringLiteral("--SiftExtraction.max_image_size %1").arg(c.imageSize)));
        EXPECT_TRUE(
            extractor.contains(QStringLiteral("--SiftExtraction.max_num_features %1").arg(c.features)));
        EXPECT_TRUE(extractor.contains(QStringLiteral("--ImageReader.single_camera 1")));
        EXPECT_TRUE(callOf(QStringLiteral("poisson_mesher"))
                        .contains(QStringLiteral("--PoissonMeshing.depth %1").arg(c.depth)));
        EXPECT_FALSE(callOf(QLatin1String(c.matcher)).isEmpty());
        // Full-size frames: memory allows one or two extraction threads, never more than asked.
        const QString threads =
            extractor.section(QStringLiteral("--SiftExtraction.num_threads "), 1).section(' ', 0, 0);
        EXPECT_GE(threads.toInt(), 1);
        EXPECT_LE(threads.toInt(), 2);
    }

    // Custom: the raw settings with the custom detail's polygon limit.
    QFile::remove(m_calls);
    PhotogrammetrySession::Configuration custom;
    custom.customDetailSpecification.maximumPolygonCount = 300;
    const RunResult result = run(Detail::custom, custom);
    expectCleanEnding(result, Kind::processingComplete);
    EXPECT_TRUE(
        callOf(QStringLiteral("feature_extractor")).contains(QStringLiteral("max_num_features 16384")));
    const auto model = UsdzFile::read(modelPath());
    ASSERT_TRUE(model.hasValue());
    EXPECT_LE(model->triangleCount(), 300u);
    EXPECT_GT(model->triangleCount(), 50u);
}

TEST_F(ColmapSessionTest, EveryFailureEndsInOneRequestErrorThatSaysWhatHappened)
{
    const struct
    {
        const char* name;
        std::function<void(ColmapSessionTest&)> arrange;
        QStringList expected;
    } cases[] = {
        {"colmap missing",
         [](ColmapSessionTest& t) { t.m_options.colmapProgram = QStringLiteral("/nonexistent/colmap"); },
         {QStringLiteral("colmap is not installed")}},
        {"no frames",
         [](ColmapSessionTest& t) {
             t.writeFrames(0);
             t.m_frameCountAfter = 0;
         },
         {QStringLiteral("No jpg, jpeg or heic frames")}},
        {"two frames",
         [](ColmapSessionTest& t) {
             t.writeFrames(2);
             t.m_frameCountAfter = 2;
         },
         {QStringLiteral("At least 3 frames")}},
        {"frames of random bytes",
         [](ColmapSessionTest& t) {
             for (const QString& name : QDir(t.m_frames).entryList(QDir::Files)) {
                 QFile frame(QDir(t.m_frames).filePath(name));
                 ASSERT_TRUE(frame.open(QIODevice::ReadWrite));
                 const qint64 size = frame.size();
                 frame.seek(0);
                 frame.write(QByteArray(size, '\x5A'));
             }
         },
         {QStringLiteral("The frames could not be read: 12 of 12 are not JPEG images (frame_00000.jpg, "
                         "frame_00001.jpg")}},
        {"frames cut short",
         [](ColmapSessionTest& t) { t.cutFramesShort(10); },
         {QStringLiteral("The frames could not be read: 10 of 12 are cut short (frame_00000.jpg, "
                         "frame_00001.jpg, frame_00002.jpg, frame_00003.jpg, frame_00004.jpg and 5 more).")}},
        {"frames colmap cannot decode",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_UNDECODABLE", "10"); },
         {QStringLiteral("The frames could not be read: 10 of 12 could not be decoded (frame_00000.jpg, "
                         "frame_00001.jpg, frame_00002.jpg, frame_00003.jpg, frame_00004.jpg and 5 more).")}},
        {"extractor fails",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_FAIL", "feature_extractor:1"); },
         {QStringLiteral("feature extraction step failed"), QStringLiteral("exited with code 1"),
          QStringLiteral("Check failed")}},
        {"extractor writes nothing",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_NO_OUTPUT", "feature_extractor"); },
         {QStringLiteral("No features could be extracted")}},
        {"matcher crashes",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_CRASH", "exhaustive_matcher"); },
         {QStringLiteral("The frames could not be matched"), QStringLiteral("crashed")}},
        {"no initial pair",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_NO_INITIAL_PAIR", "1"); },
         {QStringLiteral("No good initial image pair found; only 0 of 12 frames could be placed")}},
        {"mapper builds nothing",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_NO_OUTPUT", "mapper"); },
         {QStringLiteral("The frames could not be matched")}},
        {"only two frames placed",
         [](ColmapSessionTest& t) {
             SparseModel model = test::sphereOnGroundModel();
             model.images.resize(2);
             const QString folder = t.m_dir.filePath(QStringLiteral("small"));
             test::writeTextModel(model, folder);
             qputenv("FAKE_COLMAP_MODEL_DIR", folder.toLocal8Bit());
         },
         {QStringLiteral("No good initial image pair found; only 2 of 12 frames could be placed")}},
        {"converter fails",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_FAIL", "model_converter:2"); },
         {QStringLiteral("model conversion step failed")}},
        {"poisson writes nothing",
         [](ColmapSessionTest&) { qputenv("FAKE_COLMAP_NO_OUTPUT", "poisson_mesher"); },
         {QStringLiteral("The surface could not be reconstructed")}},
        {"surface outside the object",
         [](ColmapSessionTest& t) {
             PlyMesh far = test::untidySphereSurface();
             for (std::size_t i = 0; i < far.positions.size(); i += 3) {
                 far.positions[i] += 5.0f;
             }
             const QString path = t.m_dir.filePath(QStringLiteral("far.ply"));
             test::writeAsciiPly(far, path);
             qputenv("FAKE_COLMAP_MESH", path.toLocal8Bit());
         },
         {QStringLiteral("The surface could not be reconstructed")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange(*this);
        const RunResult result = run(Detail::medium);
        expectCleanEnding(result, Kind::requestError);
        ASSERT_EQ(result.count(Kind::requestError), 1);
        const QString message = result.outputs.back().errorDescription;
        for (const QString& part : c.expected) {
            EXPECT_TRUE(message.contains(part)) << message.toStdString();
        }
        TearDown();
    }
}

// Frames the extractor cannot decode are left out as long as enough remain to build from.
TEST_F(ColmapSessionTest, AFewFramesColmapCannotDecodeAreLeftOut)
{
    qputenv("FAKE_COLMAP_UNDECODABLE", "9");
    const RunResult result = run(Detail::medium);
    expectCleanEnding(result, Kind::processingComplete);
}

// Frames cut short are left out of the run, and its log says how many and which.
TEST_F(ColmapSessionTest, AFewFramesCutShortAreLeftOutAndCounted)
{
    cutFramesShort(2);
    const RunResult result = run(Detail::medium);
    expectCleanEnding(result, Kind::processingComplete);
    EXPECT_EQ(m_session->report().frameCount, 10);
    const QString note =
        QStringLiteral("2 of 12 frames were left out: 2 are cut short (frame_00000.jpg, frame_00001.jpg).");
    EXPECT_TRUE(m_session->report().notes.contains(note))
        << m_session->report().notes.join(QLatin1Char('\n')).toStdString();
    // The person is told with the finished model, not only in the log.
    EXPECT_EQ(result.outputs.back().note, note);
}

TEST_F(ColmapSessionTest, CancelEndsEveryStageWithOneCancelledOutputAndNothingLeft)
{
    // Stages run by colmap: cancel once the child is busy (it sleeps far longer than the test waits).
    // Our own stages: cancel as the stage announces itself.
    const struct
    {
        Stage stage;
        const char* sleeping;
    } cases[] = {
        {Stage::prepare, nullptr},
        {Stage::extract, "feature_extractor"},
        {Stage::match, "exhaustive_matcher"},
        {Stage::map, "mapper"},
        {Stage::convert, "model_converter"},
        {Stage::points, nullptr},
        {Stage::mesh, "poisson_mesher"},
        {Stage::cleanup, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.stage));
        SetUp();
        if (c.sleeping) {
            qputenv("FAKE_COLMAP_SLEEP", QByteArray(c.sleeping) + ":60");
        }
        bool cancelled = false;
        const double start = ColmapProgress::stageStart(c.stage);
        const RunResult result = run(Detail::medium, {}, [&](Session& session, const Output& o) {
            if (cancelled || o.kind != Kind::requestProgress || o.fractionComplete < start) {
                return;
            }
            cancelled = true;
            if (c.sleeping) {
                QTimer::singleShot(400, &session, [&session] { session.cancel(); });
            } else {
                session.cancel();
            }
        });
        EXPECT_TRUE(cancelled);
        expectCleanEnding(result, Kind::processingCancelled);
        for (const Output& o : result.outputs) {
            if (o.kind == Kind::requestProgress) {
                EXPECT_LT(o.fractionComplete, ColmapProgress::stageEnd(c.stage) + 1e-9)
                    << "ran past the stage";
            }
        }
        TearDown();
    }
}

TEST_F(ColmapSessionTest, CancelBeforeProcessTwiceOrWhenTheChildIgnoresTerminate)
{
    {
        SCOPED_TRACE("before process");
        const RunResult result = run(Detail::medium, {}, {}, true);
        expectCleanEnding(result, Kind::processingCancelled);
        EXPECT_TRUE(calls().isEmpty()) << "colmap ran after an early cancel";
    }
    {
        SCOPED_TRACE("child ignores terminate, cancelled twice");
        qputenv("FAKE_COLMAP_SLEEP", "mapper:60");
        qputenv("FAKE_COLMAP_IGNORE_TERM", "1");
        const QString pidFile = m_dir.filePath(QStringLiteral("pids.txt"));
        qputenv("FAKE_COLMAP_PIDS", pidFile.toLocal8Bit());
        const RunResult result = run(Detail::medium, {}, [](Session& session, const Output& o) {
            if (o.kind == Kind::requestProgress &&
                o.fractionComplete >= ColmapProgress::stageStart(Stage::map)) {
                QTimer::singleShot(300, &session, [&session] {
                    session.cancel();
                    session.cancel();
                });
            }
        });
        expectCleanEnding(result, Kind::processingCancelled);
        // The cancel ends the step's whole process group: the tool's own child is not left orphaned.
        const std::vector<qint64> pids = recordedPids(pidFile);
        ASSERT_EQ(pids.size(), 2u);
        EXPECT_TRUE(processEnds(pids[0])) << "the tool outlived the cancel";
        EXPECT_TRUE(processEnds(pids[1])) << "the tool's child outlived the cancel";
        qunsetenv("FAKE_COLMAP_PIDS");
    }
    {
        SCOPED_TRACE("after the end");
        qunsetenv("FAKE_COLMAP_SLEEP");
        qunsetenv("FAKE_COLMAP_IGNORE_TERM");
        const RunResult result = run(Detail::preview);
        expectCleanEnding(result, Kind::processingComplete);
        m_session->cancel();
        QCoreApplication::processEvents();
        EXPECT_TRUE(QFile::exists(modelPath())) << "a late cancel removed a finished model";
    }
}

TEST_F(ColmapSessionTest, SecondRequestIsRefusedAndDestroyingARunningSessionCleansUp)
{
    qputenv("FAKE_COLMAP_SLEEP", "mapper:60");
    auto session = std::make_unique<Session>(m_frames, PhotogrammetrySession::Configuration{}, m_options);
    ASSERT_TRUE(session->process(modelPath(), Detail::medium).hasValue());
    EXPECT_FALSE(session->process(modelPath(), Detail::medium).hasValue());
    QEventLoop loop;
    QObject::connect(session.get(), &PhotogrammetrySession::output, &loop, [&](const Output& o) {
        if (o.kind == Kind::requestProgress && o.fractionComplete >= ColmapProgress::stageStart(Stage::map)) {
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
        }
    });
    QTimer::singleShot(test::kHangCeilingMs, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_FALSE(callOf(QStringLiteral("mapper")).isEmpty());
    session.reset();
    EXPECT_TRUE(QDir(m_workRoot).isEmpty());
    EXPECT_FALSE(QFile::exists(modelPath()));
}

// The whole road of a drop with this engine behind the driver: staged frames, real progress, the model and
// its OBJ export in the result folder.
TEST_F(ColmapSessionTest, DroppedCaptureFolderBecomesAResultFolderThroughTheDriver)
{
    QTemporaryDir settings;
    test::useTemporarySettings(settings);
    DropReconstruction::Environment environment;
    environment.desktopDir = m_dir.filePath(QStringLiteral("desktop"));
    environment.tempDir = m_dir.filePath(QStringLiteral("droptemp"));
    environment.sessionFactory = Session::factory(m_options);
    QDir().mkpath(environment.desktopDir);
    QDir().mkpath(environment.tempDir);
    DropReconstruction drop(environment);

    std::vector<DropReconstruction::State> states;
    QEventLoop loop;
    QObject::connect(&drop, &DropReconstruction::stateChanged, &loop,
                     [&](const DropReconstruction::State& state) {
                         states.push_back(state);
                         if (state.kind == DropReconstruction::State::Kind::done ||
                             state.kind == DropReconstruction::State::Kind::failed) {
                             loop.quit();
                         }
                     });
    QTimer::singleShot(test::kHangCeilingMs, &loop, &QEventLoop::quit);
    drop.ingest(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("capture"))), QStringLiteral("reduced"));
    loop.exec();

    ASSERT_FALSE(states.empty());
    ASSERT_EQ(states.back().kind, DropReconstruction::State::Kind::done)
        << states.back().message.toStdString();
    double previous = -1.0;
    int reconstructing = 0;
    for (const DropReconstruction::State& state : states) {
        if (state.kind == DropReconstruction::State::Kind::reconstructing &&
            state.message.startsWith(QStringLiteral("Reconstructing · "))) {
            EXPECT_GE(state.fraction, previous);
            previous = state.fraction;
            ++reconstructing;
        }
    }
    EXPECT_GE(reconstructing, 5);
    const QDir result(states.back().resultDir);
    const auto model = UsdzFile::read(result.filePath(QStringLiteral("model.usdz")));
    ASSERT_TRUE(model.hasValue()) << model.error().toStdString();
    EXPECT_GT(model->triangleCount(), 0u);
    QFile obj(result.filePath(QStringLiteral("model.obj")));
    ASSERT_TRUE(obj.open(QIODevice::ReadOnly));
    EXPECT_TRUE(obj.readAll().contains("\nf "));
    EXPECT_TRUE(QDir(m_workRoot).isEmpty());
}

// The app is killed (kill -9) in the middle of a step: the step dies with it, and the next start removes
// the work folder it left. The "app" is this test binary run again in the role below.
TEST_F(ColmapSessionTest, KilledAppLeavesNoStepRunningAndNothingAfterTheNextStart)
{
    if (qEnvironmentVariableIsSet("TOVARINE_TEST_APP_ROLE")) {
        // The app's role: start a run with the default (private) work folder and wait to be killed. SetUp
        // reset the fake's variables; the parent's come through under other names.
        qputenv("FAKE_COLMAP_SLEEP", qgetenv("TOVARINE_TEST_APP_SLEEP"));
        qputenv("FAKE_COLMAP_PIDS", qgetenv("TOVARINE_TEST_APP_PIDS"));
        qputenv("TMPDIR", qgetenv("TOVARINE_TEST_APP_TMPDIR"));
        m_options.workRoot.clear();
        m_session = std::make_unique<Session>(m_frames, PhotogrammetrySession::Configuration{}, m_options);
        ASSERT_TRUE(m_session->process(modelPath(), Detail::medium).hasValue());
        QEventLoop loop;
        QTimer::singleShot(test::kHangCeilingMs, &loop, &QEventLoop::quit);
        loop.exec();
        return;
    }
    const QString pidFile = m_dir.filePath(QStringLiteral("pids.txt"));
    QProcess app;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOVARINE_TEST_APP_ROLE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("TOVARINE_TEST_APP_SLEEP"), QStringLiteral("feature_extractor:60"));
    environment.insert(QStringLiteral("TOVARINE_TEST_APP_PIDS"), pidFile);
    environment.insert(QStringLiteral("TOVARINE_TEST_APP_TMPDIR"), m_systemTemp);
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral(
            "--gtest_filter=ColmapSessionTest.KilledAppLeavesNoStepRunningAndNothingAfterTheNextStart")});
    ASSERT_TRUE(app.waitForStarted(tovarine::test::kHangCeilingMs));
    QElapsedTimer clock;
    clock.start();
    while (recordedPids(pidFile).size() < 2 && clock.elapsed() < test::kHangCeilingMs) {
        QThread::msleep(20);
    }
    const std::vector<qint64> pids = recordedPids(pidFile);
    ASSERT_EQ(pids.size(), 2u) << "the step never started";
    const QString privateDir = QDir(m_systemTemp).filePath(QStringLiteral("tovarine-%1").arg(::geteuid()));
    EXPECT_EQ(QDir(privateDir).entryList({QStringLiteral("tovarine-colmap-*")}, QDir::Dirs).size(), 1);

    ::kill(static_cast<pid_t>(app.processId()), SIGKILL);
    ASSERT_TRUE(app.waitForFinished(tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(processEnds(pids[0])) << "the COLMAP step outlived the app";
    ::kill(static_cast<pid_t>(pids[1]), SIGKILL); // the fake tool's own sleeper; the real tool has none

    // The next start (the main window's drop model) sweeps what the killed run left.
    DropReconstruction::Environment next;
    next.desktopDir = m_dir.filePath(QStringLiteral("desktop"));
    next.tempDir = m_systemTemp;
    {
        DropReconstruction drop(next);
    }
    EXPECT_TRUE(QDir(privateDir).entryList({QStringLiteral("tovarine-*")}, QDir::Dirs).isEmpty());
}

// A work folder on a nearly full file system (a 1 MiB tmpfs in a mount namespace of its own, this binary
// started again under unshare): the run fails before COLMAP starts, naming the folder.
TEST_F(ColmapSessionTest, AFullWorkFolderIsNamedInTheMessage)
{
    const QString mount = qEnvironmentVariable("TOVARINE_TEST_WORK_MOUNT");
    if (mount.isEmpty()) {
        const std::optional<bool> passed = test::runInMountNamespace(
            QStringLiteral("ColmapSessionTest.AFullWorkFolderIsNamedInTheMessage"),
            QStringLiteral("mkdir -p \"$1\"; mount -t tmpfs -o size=1m none \"$1\""),
            m_dir.filePath(QStringLiteral("small")), QStringLiteral("TOVARINE_TEST_WORK_MOUNT"));
        if (!passed) {
            GTEST_SKIP() << "unshare -rm is refused here: no private mounts for the full-disk case";
        }
        EXPECT_TRUE(*passed) << "the run in the mount namespace failed (its output is above)";
        return;
    }
    m_options.workRoot = mount;
    const RunResult result = run(Detail::medium);
    ASSERT_EQ(result.count(Kind::requestError), 1);
    const QString message = result.outputs.back().errorDescription;
    EXPECT_TRUE(message.startsWith(
        QStringLiteral("not enough space on %1 for the reconstruction's work files: 1.0 MB are free")
            .arg(mount)))
        << message.toStdString();
    EXPECT_TRUE(calls().isEmpty()) << "colmap ran without room for its work";
}
