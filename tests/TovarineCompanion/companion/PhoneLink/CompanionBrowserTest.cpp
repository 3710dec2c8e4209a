#include "CompanionBrowser.h"

#include "ColmapPhotogrammetrySession.h"
#include "FakePhotogrammetrySession.h"
#include "HangCeiling.h"
#include "LoopbackPeerNetwork.h"
#include "ScratchWorkingFolder.h"
#include "TestPhone.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <malloc.h>

namespace tovarine {
namespace {

using test::FakeStep;
using test::TestPhone;
using Kind = ServerStatus::Kind;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A receiver on a loopback network with a scripted engine, and phones that talk to it. Everything the
// receiver writes lands under <root>/data; the phones keep their files under <root>/phone-*.
class CompanionBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_engine.script = {FakeStep::progress(0.25), FakeStep::progress(0.5), FakeStep::complete(),
                           FakeStep::end()};
        // Every session made counts as running until its first final output.
        m_liveRuns = 0;
        m_mostLiveRuns = 0;
        PhotogrammetrySessionFactory counted = [this, inner = m_factory ? *m_factory : m_engine.factory()](
                                                   const QString& input,
                                                   const PhotogrammetrySession::Configuration& configuration)
            -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
            auto made = inner(input, configuration);
            if (made) {
                m_mostLiveRuns = std::max(m_mostLiveRuns, ++m_liveRuns);
                auto ended = std::make_shared<bool>(false);
                const auto end = [this, ended] {
                    if (!std::exchange(*ended, true)) {
                        --m_liveRuns;
                    }
                };
                QObject::connect(made->get(), &PhotogrammetrySession::output,
                                 [end](const PhotogrammetrySession::Output& output) {
                                     using K = PhotogrammetrySession::Output::Kind;
                                     if (output.kind != K::requestProgress && output.kind != K::other) {
                                         end();
                                     }
                                 });
                QObject::connect(made->get(), &PhotogrammetrySession::outputsEnded, end);
                QObject::connect(made->get(), &PhotogrammetrySession::outputsFailed, end);
                QObject::connect(made->get(), &QObject::destroyed, end);
            }
            return made;
        };
        m_receiver = std::make_unique<CompanionBrowser>(CompanionBrowser::Environment{
            m_network, counted, m_root.filePath(QStringLiteral("data")), QStringLiteral("studio")});
        QObject::connect(m_receiver.get(), &CompanionBrowser::statusChanged,
                         [this](const ServerStatus& status) { m_statuses.append(status); });
    }

    void TearDown() override
    {
        m_phones.clear();
        m_receiver.reset();
    }

    QString data(const QString& relative = {}) const
    {
        return m_root.filePath(QStringLiteral("data/") + relative);
    }

    // Frame files with distinct contents.
    QList<TestPhone::Frame> frames(int count, const QString& prefix = QStringLiteral("frame_"))
    {
        QDir().mkpath(m_root.filePath(QStringLiteral("source")));
        QList<TestPhone::Frame> list;
        for (int i = 0; i < count; ++i) {
            const QString name = prefix + QStringLiteral("%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
            const QString path = m_root.filePath(QStringLiteral("source/") + name);
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("\xff\xd8 frame ") + name.toUtf8() + QByteArray(1000 + i, 'x'));
            list.append({name, path});
        }
        return list;
    }

    TestPhone& phone(TestPhone::Script script, const QString& name = QStringLiteral("phone"))
    {
        const QString dir = m_root.filePath(QStringLiteral("phone-%1").arg(m_phonesMade++));
        m_phones.push_back(std::make_unique<TestPhone>(*m_network, name, dir, std::move(script)));
        return *m_phones.back();
    }

    // Starts the phone and the peer search and waits for the phone's exchange to end.
    void play(TestPhone& phone)
    {
        phone.start();
        m_receiver->browser().startBrowsing();
        ASSERT_TRUE(QTest::qWaitFor([&] { return phone.isFinished(); }, tovarine::test::kHangCeilingMs));
        settle();
    }

    // Lets queued work on both ends run out.
    void settle() { QTest::qWait(50); }

    // Every file under the receiver's data folder, relative to it.
    QStringList writtenFiles() const
    {
        QStringList files;
        QDirIterator it(data(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files.append(QDir(data()).relativeFilePath(it.next()));
        }
        files.sort();
        return files;
    }

    QTemporaryDir m_root;
    std::shared_ptr<LoopbackPeerNetwork> m_network = std::make_shared<LoopbackPeerNetwork>();
    test::FakeEngine m_engine;
    std::optional<PhotogrammetrySessionFactory> m_factory; // another engine than m_engine, when set
    int m_liveRuns = 0;                                    // engine runs under way
    int m_mostLiveRuns = 0;                                // the most there were at once
    std::unique_ptr<CompanionBrowser> m_receiver;
    std::vector<std::unique_ptr<TestPhone>> m_phones;
    int m_phonesMade = 0;
    QList<ServerStatus> m_statuses;
};

TEST_F(CompanionBrowserTest, CaptureGoesInAndTheModelComesBack)
{
    const QList<TestPhone::Frame> sent = frames(3);
    TestPhone& p = phone({.stamp = QStringLiteral("S1"), .detail = QStringLiteral("FULL"), .frames = sent});
    play(p);

    const TestPhone::Outcome& out = p.outcome();
    EXPECT_TRUE(out.connected);
    EXPECT_TRUE(out.errors.isEmpty());
    EXPECT_EQ(out.order, (QStringList{"ready", "progress", "progress", "result", "model"}));
    ASSERT_TRUE(out.ready);
    EXPECT_EQ(*out.ready, (CaptureReadyAck{"S1", 3}));
    ASSERT_EQ(out.progress.size(), 2);
    EXPECT_EQ(out.progress[0], (ReconstructionProgress{"S1", 0.25, "Reconstructing on computer · 25%"}));
    EXPECT_EQ(out.progress[1].message, QStringLiteral("Reconstructing on computer · 50%"));

    const QString model = data(QStringLiteral("Inbox/S1/model.usdz"));
    ASSERT_TRUE(out.result);
    EXPECT_EQ(*out.result,
              (ReconstructionResultHeader{"S1", "result/S1/model.usdz", QFileInfo(model).size()}));
    EXPECT_FALSE(readAll(model).isEmpty());
    EXPECT_EQ(readAll(out.modelPath), readAll(model)) << "the model reaches the phone byte for byte";
    for (const TestPhone::Frame& frame : sent) {
        EXPECT_EQ(readAll(data(QStringLiteral("Inbox/S1/Images/") + frame.filename)), readAll(frame.path));
    }
    EXPECT_EQ(m_engine.record->detail, PhotogrammetrySession::Detail::full);

    ASSERT_EQ(m_receiver->completed().size(), 1);
    const CompletedCapture& done = m_receiver->completed().front();
    EXPECT_EQ(done.stamp, QStringLiteral("S1"));
    EXPECT_EQ(done.frameCount, 3);
    EXPECT_EQ(done.meshPath, model);
    EXPECT_EQ(m_statuses, (QList<ServerStatus>{
                              ServerStatus::receiving("S1", 0, 3, "phone"),
                              ServerStatus::receiving("S1", 1, 3, "phone"),
                              ServerStatus::receiving("S1", 2, 3, "phone"),
                              ServerStatus::receiving("S1", 3, 3, "phone"),
                              ServerStatus::reconstructing("S1", 0.0, "phone"),
                              ServerStatus::reconstructing("S1", 0.25, "phone"),
                              ServerStatus::reconstructing("S1", 0.5, "phone"),
                              ServerStatus::sending("S1", "phone"),
                              ServerStatus::idle(),
                          }));
    ASSERT_TRUE(m_receiver->latestFrame());
    EXPECT_TRUE(m_receiver->latestFrame()->startsWith("\xff\xd8\xff\xe0preview"));
    ASSERT_TRUE(m_receiver->connectedPeer());
    EXPECT_EQ(m_receiver->connectedPeer()->displayName(), QStringLiteral("phone"));
    EXPECT_EQ(m_receiver->discoveredPeers().size(), 1);
    EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty()) << "no received file is left behind";
}

TEST_F(CompanionBrowserTest, OnlyFiniteProgressIsReported)
{
    m_engine.script = {FakeStep::progress(std::numeric_limits<double>::quiet_NaN()),
                       FakeStep::progress(std::numeric_limits<double>::infinity()), FakeStep::progress(0.999),
                       FakeStep::complete(), FakeStep::end()};
    TestPhone& p = phone({.frames = frames(1)});
    play(p);
    ASSERT_EQ(p.outcome().progress.size(), 1);
    EXPECT_EQ(p.outcome().progress[0].message, QStringLiteral("Reconstructing on computer · 99%"));
    EXPECT_EQ(p.outcome().order, (QStringList{"ready", "progress", "result", "model"}));
}

TEST(MoveReceivedFile, FallsBackToCopyAcrossFileSystems)
{
    QTemporaryDir disk;
    QTemporaryDir memory(QStringLiteral("/dev/shm/tovarine-move-XXXXXX"));
    if (!memory.isValid() || QStorageInfo(memory.path()).device() == QStorageInfo(disk.path()).device()) {
        GTEST_SKIP() << "no second file system in /dev/shm";
    }
    const QString from = memory.filePath(QStringLiteral("frame.part"));
    const QString to = disk.filePath(QStringLiteral("frame.jpg"));
    QFile file(from);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("frame bytes");
    file.close();
    QFile old(to);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older frame of the same name");
    old.close();

    ASSERT_TRUE(moveReceivedFile(from, to));
    EXPECT_EQ(readAll(to), QByteArray("frame bytes"));
    EXPECT_FALSE(QFileInfo::exists(from));

    EXPECT_FALSE(moveReceivedFile(memory.filePath(QStringLiteral("missing")), to));
}

TEST_F(CompanionBrowserTest, EachFailingStepSendsItsError)
{
    const struct
    {
        const char* what;
        QList<FakeStep> engine;
        bool failModelTransfer = false;
        bool imagesFolderBlocked = false;
        QStringList order;
        QString message;
        bool engineWritesNothing = false;
    } cases[] = {
        {"frame cannot be stored", {}, false, true, {"error"}, "Computer couldn't save a frame: "},
        {"too few frames",
         {FakeStep::requestError("Not enough samples"), FakeStep::end()},
         false,
         false,
         {"ready", "error"},
         "Not enough usable frames — try scanning slower so the camera stays sharp."},
        {"engine fails",
         {FakeStep::requestError("Disk full"), FakeStep::end()},
         false,
         false,
         {"ready", "error"},
         "Reconstruction failed: Disk full"},
        {"no completion",
         {FakeStep::progress(0.5), FakeStep::end()},
         false,
         false,
         {"ready", "progress", "error"},
         "Reconstruction failed: "},
        {"model transfer fails",
         {FakeStep::complete(), FakeStep::end()},
         true,
         false,
         {"ready", "result", "error"},
         "Couldn't deliver result: link broke"},
        {"model file missing",
         {FakeStep::complete(), FakeStep::end()},
         false,
         false,
         {"ready", "error"},
         "Reconstruction failed: The reconstruction ended without writing a model file.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        m_statuses.clear();
        QDir(data()).removeRecursively();
        m_network = std::make_shared<LoopbackPeerNetwork>();
        m_engine = test::FakeEngine();
        if (c.failModelTransfer) {
            m_network->setFaults({.resourceError = [](const QString& name) -> std::optional<PeerError> {
                if (name.startsWith(QLatin1String("result/"))) {
                    return PeerError{"PeerLink", 9, "link broke"};
                }
                return std::nullopt;
            }});
        }
        SetUp();
        if (!c.engine.isEmpty()) {
            m_engine.script = c.engine;
        }
        if (c.engineWritesNothing) {
            m_engine.writeModel = [](const QString&) {};
        }
        if (c.imagesFolderBlocked) {
            // No capture folder can be made: the inbox is a file.
            QDir(data(QStringLiteral("Inbox"))).removeRecursively();
            QFile blocker(data(QStringLiteral("Inbox")));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        TestPhone& p = phone({.frames = frames(2)});
        play(p);
        EXPECT_EQ(p.outcome().order, c.order);
        ASSERT_EQ(p.outcome().errors.size(), 1);
        EXPECT_EQ(p.outcome().errors[0].stamp, QStringLiteral("S1"));
        EXPECT_TRUE(p.outcome().errors[0].message.startsWith(c.message))
            << p.outcome().errors[0].message.toStdString();
        // The phone learns nothing of this computer's folders.
        for (const QString& local : {m_root.path(), QStringLiteral("data/"), QStringLiteral("Inbox"),
                                     QStringLiteral("Images"), QStringLiteral("Incoming")}) {
            EXPECT_FALSE(p.outcome().errors[0].message.contains(local))
                << p.outcome().errors[0].message.toStdString();
        }
        EXPECT_TRUE(m_receiver->completed().isEmpty());
        if (c.engineWritesNothing) {
            EXPECT_FALSE(p.outcome().result) << "no result is offered for a model that was never written";
        }
        EXPECT_EQ(m_receiver->status(), ServerStatus::idle());
        EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty());
    }
}

TEST_F(CompanionBrowserTest, CancelledRunSendsNothingFurther)
{
    m_engine.script = {FakeStep::progress(0.1), FakeStep::cancelled(), FakeStep::end()};
    TestPhone& p = phone({.frames = frames(1)});
    p.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_statuses.size() >= 4 && m_statuses.back() == ServerStatus::idle(); },
                        tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_EQ(p.outcome().order, (QStringList{"ready", "progress"}));
    EXPECT_FALSE(p.isFinished());
}

TEST_F(CompanionBrowserTest, HostileNamesAndCountsWriteNothingOutsideTheInbox)
{
    const struct
    {
        const char* what;
        QString manifestStamp;
        QString resourceStamp;
        QString filename;
        qint64 frameCount;
        QString refusal; // error sent for the manifest; empty: the frame is dropped silently
    } cases[] = {
        {"stamp ..", "..", "..", "x.jpg", 1, "Capture refused: its name can't be used as a folder name."},
        {"stamp with /", "a/b", "a", "x.jpg", 1, "Capture refused: its name can't be used as a folder name."},
        {"stamp with control", QStringLiteral("S\x01"), QStringLiteral("S\x01"), "x.jpg", 1,
         "Capture refused: its name can't be used as a folder name."},
        {"long stamp", QString(256, u's'), QString(256, u's'), "x.jpg", 1,
         "Capture refused: its name can't be used as a folder name."},
        {"negative count", "S1", "S1", "x.jpg", -1, "Capture refused: a capture holds at most 10000 frames."},
        {"absurd count", "S1", "S1", "x.jpg", 10001,
         "Capture refused: a capture holds at most 10000 frames."},
        {"filename ..", "S1", "S1", "..", 1, ""},
        {"filename climbs", "S1", "S1", "../../escape.jpg", 1, ""},
        {"filename with folder", "S1", "S1", "a/b.jpg", 1, ""},
        {"filename with backslash", "S1", "S1", "..\\escape.jpg", 1, ""},
        {"filename with NUL", "S1", "S1", QStringLiteral("x") + QChar(0) + QStringLiteral(".jpg"), 1, ""},
    };
    const QList<TestPhone::Frame> source = frames(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        m_statuses.clear();
        QDir(data()).removeRecursively();
        SetUp();
        TestPhone& p = phone({.frames = {{c.filename, source[0].path}},
                              .frameCount = c.frameCount,
                              .manifestStamp = c.manifestStamp,
                              .resourceStamp = c.resourceStamp,
                              .previews = false});
        p.start();
        m_receiver->browser().startBrowsing();
        ASSERT_TRUE(QTest::qWaitFor([&] { return p.outcome().connected; }, tovarine::test::kHangCeilingMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !c.refusal.isEmpty() ? p.isFinished() : true; },
                                    tovarine::test::kHangCeilingMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return p.outcome().framesDelivered == 1; },
                                    tovarine::test::kHangCeilingMs));
        settle(); // the receiver's handling of the frame
        if (!c.refusal.isEmpty()) {
            ASSERT_EQ(p.outcome().errors.size(), 1);
            EXPECT_EQ(p.outcome().errors[0].message, c.refusal);
            EXPECT_EQ(m_receiver->status(), ServerStatus::idle());
        } else {
            EXPECT_TRUE(p.outcome().errors.isEmpty());
            EXPECT_EQ(m_receiver->status(), ServerStatus::receiving("S1", 0, 1, "phone"))
                << "the frame is not counted";
        }
        EXPECT_EQ(writtenFiles(), QStringList()) << "nothing is written, inside the inbox or out";
        EXPECT_TRUE(QFileInfo::exists(m_root.filePath(QStringLiteral("source/frame_00000.jpg"))));
        EXPECT_FALSE(QFileInfo::exists(m_root.filePath(QStringLiteral("escape.jpg"))));
    }
}

// A stamp or file name beginning with ':' is a Qt resource path to QDir::filePath; the capture still goes
// into its own inbox folder and nothing appears in the working folder.
TEST_F(CompanionBrowserTest, NamesBeginningWithAColonStayInTheInbox)
{
    const test::ScratchWorkingFolder working;
    const QList<TestPhone::Frame> source = frames(3);
    const QStringList names = {":x.jpg", ":evil.jpg", "::"};
    QList<TestPhone::Frame> sent;
    for (int i = 0; i < names.size(); ++i) {
        sent.append({names[i], source[i].path});
    }
    TestPhone& p = phone({.stamp = QStringLiteral(":evil"), .frames = sent});
    play(p);

    EXPECT_TRUE(p.outcome().errors.isEmpty());
    ASSERT_TRUE(p.outcome().result);
    for (const TestPhone::Frame& frame : sent) {
        EXPECT_EQ(readAll(data(QStringLiteral("Inbox/:evil/Images/") + frame.filename)), readAll(frame.path));
    }
    ASSERT_EQ(m_receiver->completed().size(), 1);
    EXPECT_EQ(m_receiver->completed().front().meshPath, data(QStringLiteral("Inbox/:evil/model.usdz")));
    EXPECT_EQ(working.entries(), QStringList());
}

TEST_F(CompanionBrowserTest, DroppedConnectionMidCaptureLeavesNoTemporaryFile)
{
    // The phone leaves after one of three frames; a later frame of another phone fails half-way.
    m_network->setFaults({.resourceError = [](const QString& name) -> std::optional<PeerError> {
        if (name.endsWith(QLatin1String("broken.jpg"))) {
            return PeerError{"PeerLink", 9, "connection reset"};
        }
        return std::nullopt;
    }});
    TestPhone& p = phone({.frames = frames(3), .cancelAfterFrames = 1});
    play(p);
    EXPECT_TRUE(p.outcome().cancelled);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::idle(); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_FALSE(m_receiver->connectedPeer());
    EXPECT_EQ(writtenFiles(), (QStringList{"Inbox/S1/Images/frame_00000.jpg"})) << "the inbox stays";

    TestPhone& q =
        phone({.stamp = "S2", .frames = {{"broken.jpg", frames(1)[0].path}}, .previews = false}, "other");
    q.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return q.outcome().frameSendErrors.size() == 1; },
                                tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty());
    EXPECT_EQ(m_receiver->status(), ServerStatus::receiving("S2", 0, 1, "other"));
}

TEST_F(CompanionBrowserTest, CountingRules)
{
    // A frame sent twice counts twice; a manifest with no frames starts at the first stored frame; a second
    // manifest of the same stamp starts the count again in a folder of its own and leaves the first's files.
    m_engine.script = {FakeStep::hold()};
    const QList<TestPhone::Frame> f = frames(2);
    TestPhone& p = phone({.frames = {}, .frameCount = 3, .previews = false});
    p.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("S1", 0, 3, "phone"); },
                        tovarine::test::kHangCeilingMs));
    p.sendResource(f[0].path, "capture/S1/a.jpg");
    p.sendResource(f[1].path, "capture/S1/a.jpg");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("S1", 2, 3, "phone"); },
                        tovarine::test::kHangCeilingMs));
    EXPECT_EQ(readAll(data("Inbox/S1/Images/a.jpg")), readAll(f[1].path))
        << "the later file replaces the earlier";

    const auto manifest = [](qint64 count) {
        return CaptureTransferEnvelope::make(
                   CaptureTransferKind::manifest,
                   CaptureManifest{"S1", count, {}, "medium", QDateTime::currentDateTimeUtc(), "1"})
            ->encode();
    };
    p.sendData(manifest(0));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("S1", 0, 0, "phone"); },
                        tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(QFileInfo::exists(data("Inbox/S1/Images/a.jpg")));
    p.sendResource(f[0].path, "capture/S1/b.jpg");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(data("Inbox/S1 2/Images/b.jpg")); },
                                tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return p.outcome().ready.has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(*p.outcome().ready, (CaptureReadyAck{"S1", 1}));

    // While the run holds, frames and manifests of the stamp change nothing and leave no file.
    const QList<ServerStatus> before = m_statuses;
    p.sendResource(f[0].path, "capture/S1/c.jpg");
    p.sendData(manifest(5));
    settle();
    EXPECT_EQ(m_statuses, before);
    EXPECT_FALSE(QFileInfo::exists(data("Inbox/S1/Images/c.jpg")));
    EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty());
    EXPECT_EQ(m_engine.madeCount, 1) << "one reconstruction per stamp";
    m_engine.session->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::idle(); },
                                tovarine::test::kHangCeilingMs));
}

TEST_F(CompanionBrowserTest, AReusedStampNeverTouchesTheEarlierCapture)
{
    // Each model written says which capture folder it was made in (the engine writes it into a hidden folder
    // of that capture folder until the run has completed).
    m_engine.writeModel = [](const QString& path) {
        QFile model(path);
        ASSERT_TRUE(model.open(QIODevice::WriteOnly));
        QDir folder = QFileInfo(path).dir();
        while (folder.dirName().startsWith(QLatin1Char('.'))) {
            folder.cdUp();
        }
        model.write("model of " + folder.dirName().toUtf8());
    };
    const QList<TestPhone::Frame> first = frames(2);
    play(phone({.frames = first}));
    ASSERT_EQ(m_receiver->completed().size(), 1);
    const QByteArray firstModel = readAll(data("Inbox/S1/model.usdz"));
    ASSERT_EQ(firstModel, QByteArray("model of S1"));
    m_phones.clear(); // the phone leaves

    // A peer posing as a phone sends a capture of the same stamp and file names, twice.
    QList<TestPhone::Frame> forged = frames(2);
    for (TestPhone::Frame& frame : forged) {
        frame.path = m_root.filePath(QStringLiteral("forged-") + frame.filename);
        QFile file(frame.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("forged");
    }
    for (const QString& folder : {QStringLiteral("S1 2"), QStringLiteral("S1 3")}) {
        SCOPED_TRACE(folder.toStdString());
        TestPhone& impostor = phone({.frames = forged}, "phone");
        play(impostor);
        ASSERT_TRUE(impostor.outcome().result);
        EXPECT_EQ(impostor.outcome().result->resourceName, QStringLiteral("result/S1/model.usdz"))
            << "the wire still names the capture by its stamp";
        EXPECT_EQ(readAll(impostor.outcome().modelPath), "model of " + folder.toUtf8());
        EXPECT_EQ(readAll(data("Inbox/" + folder + "/Images/frame_00000.jpg")), QByteArray("forged"));
        EXPECT_EQ(m_receiver->completed().back().meshPath, data("Inbox/" + folder + "/model.usdz"));
        m_phones.clear();
    }
    // The first capture's frames and model are as they were.
    EXPECT_EQ(readAll(data("Inbox/S1/model.usdz")), firstModel);
    for (const TestPhone::Frame& frame : first) {
        EXPECT_EQ(readAll(data("Inbox/S1/Images/") + frame.filename), readAll(frame.path));
    }
    EXPECT_EQ(m_engine.madeCount, 3);
}

TEST_F(CompanionBrowserTest, AStampAsLongAsAFileNameCanBeReceivedAgain)
{
    // Stamps that fill a file name to its last byte or one short of it, in one-, two- and four-byte
    // characters: each capture is received twice, and the second gets a folder of its own whose name fits.
    const QString emoji = QString::fromUtf8("\xf0\x9f\x93\xb7"); // four bytes, two UTF-16 units
    const struct
    {
        const char* what;
        QString stamp;
    } cases[] = {
        {"255 ASCII bytes", QString(255, u's')},
        {"254 ASCII bytes", QString(254, u's')},
        {"255 bytes of two-byte characters and one ASCII", QString(127, QChar(0xe9)) + QLatin1Char('a')},
        {"254 bytes of two-byte characters", QString(127, QChar(0xe9))},
        {"255 bytes ending in four-byte characters", QString(251, u's') + emoji},
        {"252 bytes of four-byte characters", emoji.repeated(63)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_LE(c.stamp.toUtf8().size(), 255);
        ASSERT_GE(c.stamp.toUtf8().size(), 252);
        const int completedBefore = static_cast<int>(m_receiver->completed().size());
        for (int round = 0; round < 2; ++round) {
            TestPhone& p = phone({.stamp = c.stamp, .frames = frames(1)});
            play(p);
            EXPECT_TRUE(p.outcome().errors.isEmpty()) << p.outcome().errors.value(0).message.toStdString();
            ASSERT_TRUE(p.outcome().result) << "round " << round;
            m_phones.clear();
        }
        ASSERT_EQ(m_receiver->completed().size(), completedBefore + 2);
        const QString first = QFileInfo(m_receiver->completed()[completedBefore].meshPath).dir().dirName();
        const QString second =
            QFileInfo(m_receiver->completed()[completedBefore + 1].meshPath).dir().dirName();
        EXPECT_EQ(first, c.stamp);
        // "<the stamp, or as much of it as fits> <n>" (n is 3 where a longer stamp cut to the same text took
        // 2).
        EXPECT_NE(second, first);
        EXPECT_LE(second.toUtf8().size(), 255);
        const qsizetype space = second.lastIndexOf(QLatin1Char(' '));
        EXPECT_GE(second.mid(space + 1).toInt(), 2) << second.toStdString();
        EXPECT_TRUE(c.stamp.startsWith(second.left(space))) << second.toStdString();
        EXPECT_FALSE(second.contains(QChar::ReplacementCharacter));
    }
}

TEST(CaptureFolderName, TheStampGivesWayToTheSuffixOnCharacterBoundaries)
{
    const QString emoji = QString::fromUtf8("\xf0\x9f\x93\xb7");
    const struct
    {
        QString stamp;
        int n;
        QString expected;
    } cases[] = {
        {QStringLiteral("S1"), 1, QStringLiteral("S1")},
        {QStringLiteral("S1"), 2, QStringLiteral("S1 2")},
        {QString(255, u's'), 1, QString(255, u's')},
        {QString(255, u's'), 2, QString(253, u's') + QStringLiteral(" 2")},
        {QString(253, u's'), 2, QString(253, u's') + QStringLiteral(" 2")},
        {QString(254, u's'), 1000, QString(250, u's') + QStringLiteral(" 1000")},
        {QString(127, QChar(0xe9)) + QLatin1Char('a'), 2, QString(126, QChar(0xe9)) + QStringLiteral(" 2")},
        {QString(251, u's') + emoji, 2, QString(251, u's') + QStringLiteral(" 2")},
        {emoji.repeated(63), 2, emoji.repeated(63) + QStringLiteral(" 2")},
        {emoji.repeated(63), 10, emoji.repeated(63) + QStringLiteral(" 10")},
        {emoji.repeated(63), 100, emoji.repeated(62) + QStringLiteral(" 100")},
    };
    for (const auto& c : cases) {
        const QString name = captureFolderName(c.stamp, c.n);
        EXPECT_EQ(name, c.expected) << c.stamp.toStdString() << " " << c.n;
        EXPECT_LE(name.toUtf8().size(), 255);
    }
}

TEST_F(CompanionBrowserTest, AnotherPeerCannotTakeOrFillAnOpenCapture)
{
    // The phone has sent its manifest and one of three frames; a second peer, connected at the same time,
    // sends frames under the phone's stamp and then a manifest of its own for it.
    m_engine.script = {FakeStep::hold()};
    const QList<TestPhone::Frame> f = frames(3);
    TestPhone& owner = phone({.frames = {f[0]}, .frameCount = 3, .previews = false}, "phone");
    TestPhone& other = phone({.sendManifest = false, .previews = false}, "other");
    owner.start();
    other.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.outcome().connected && other.outcome().connected; },
                                tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("S1", 1, 3, "phone"); },
                        tovarine::test::kHangCeilingMs));

    std::atomic<int> delivered = 0;
    const auto count = [&](const std::optional<PeerError>& error) { delivered += error ? 0 : 1; };
    other.sendResource(f[1].path, "capture/S1/frame_00000.jpg", count);
    other.sendResource(f[1].path, "capture/S1/intruder.jpg", count);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered == 2; }, tovarine::test::kHangCeilingMs));
    other.sendData(CaptureTransferEnvelope::make(
                       CaptureTransferKind::manifest,
                       CaptureManifest{"S1", 1, {}, "medium", QDateTime::currentDateTimeUtc(), "1"})
                       ->encode());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return other.outcome().errors.size() == 1; }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(other.outcome().errors[0].message,
              QStringLiteral("Capture refused: another phone is sending a capture of that name."));
    EXPECT_EQ(m_receiver->status(), ServerStatus::receiving("S1", 1, 3, "phone"));
    EXPECT_EQ(readAll(data("Inbox/S1/Images/frame_00000.jpg")), readAll(f[0].path));
    EXPECT_FALSE(QFileInfo::exists(data("Inbox/S1/Images/intruder.jpg")));
    EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty());
    EXPECT_TRUE(other.outcome().order == QStringList{"error"});

    // The other peer leaves (it is no longer found, and the session it was last to join has ended): what is
    // shown of the phone's capture stays.
    std::erase_if(m_phones, [&other](const std::unique_ptr<TestPhone>& p) { return p.get() == &other; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& connected = m_receiver->connectedPeer();
            return m_receiver->discoveredPeers().size() == 1 &&
                   (!connected || connected->displayName() == QStringLiteral("phone"));
        },
        tovarine::test::kHangCeilingMs));
    EXPECT_EQ(m_receiver->status(), ServerStatus::receiving("S1", 1, 3, "phone"));

    // The phone's own frames still complete its capture.
    owner.sendResource(f[1].path, "capture/S1/frame_00001.jpg");
    owner.sendResource(f[2].path, "capture/S1/frame_00002.jpg");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return owner.outcome().ready.has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(*owner.outcome().ready, (CaptureReadyAck{"S1", 3}));
    m_engine.session->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::idle(); },
                                tovarine::test::kHangCeilingMs));
}

TEST_F(CompanionBrowserTest, ACaptureLeftOpenByAPhoneThatLeftCanBeSentAgain)
{
    // The phone leaves after one of three frames; its capture stays open. Another peer (the same phone
    // started again) sends the stamp whole: it is taken, in a folder of its own.
    const QList<TestPhone::Frame> f = frames(3);
    TestPhone& gone = phone({.frames = f, .cancelAfterFrames = 1});
    play(gone);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !m_receiver->connectedPeer(); }, tovarine::test::kHangCeilingMs));
    m_phones.clear();
    TestPhone& again = phone({.frames = f});
    play(again);
    EXPECT_TRUE(again.outcome().errors.isEmpty());
    ASSERT_TRUE(again.outcome().ready);
    EXPECT_EQ(*again.outcome().ready, (CaptureReadyAck{"S1", 3}));
    EXPECT_EQ(m_receiver->completed().back().meshPath, data("Inbox/S1 2/model.usdz"));
    EXPECT_EQ(writtenFiles(),
              (QStringList{"Inbox/S1 2/Images/frame_00000.jpg", "Inbox/S1 2/Images/frame_00001.jpg",
                           "Inbox/S1 2/Images/frame_00002.jpg", "Inbox/S1 2/model.usdz",
                           "Inbox/S1/Images/frame_00000.jpg"}));
}

// The capture folders under the inbox, sorted.
QStringList captureFolders(const QString& inbox)
{
    return QDir(inbox).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray manifestMessage(const QString& stamp, qint64 frameCount)
{
    return CaptureTransferEnvelope::make(
               CaptureTransferKind::manifest,
               CaptureManifest{stamp, frameCount, {}, "medium", QDateTime::currentDateTimeUtc(), "1"})
        ->encode();
}

TEST_F(CompanionBrowserTest, APhoneKeepsAFewCapturesOpenAndEmptyFoldersGo)
{
    // One phone opens ten captures, one of them with a frame, then sends the last one's manifest again.
    TestPhone& p = phone({.stamp = "A0", .frameCount = 3, .previews = false});
    p.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.outcome().connected; }, tovarine::test::kHangCeilingMs));
    p.sendData(manifestMessage("A1", 3));
    std::atomic<bool> delivered = false;
    p.sendResource(frames(1)[0].path, "capture/A1/frame.jpg",
                   [&](const std::optional<PeerError>& error) { delivered = !error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.load(); }, tovarine::test::kHangCeilingMs));
    for (int i = 2; i < 10; ++i) {
        p.sendData(manifestMessage(QStringLiteral("A%1").arg(i), 3));
    }
    p.sendData(manifestMessage("A9", 4));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("A9", 0, 4, "phone"); },
                        tovarine::test::kHangCeilingMs));
    // The four newest stay open; of the others only the one a frame came into keeps its folder, and the
    // manifest sent again takes the folder of the empty capture it replaces.
    EXPECT_EQ(captureFolders(data("Inbox")), (QStringList{"A1", "A6", "A7", "A8", "A9"}));
    EXPECT_TRUE(QFileInfo::exists(data("Inbox/A1/Images/frame.jpg")));
    // A frame for a capture that was closed is not taken.
    delivered = false;
    p.sendResource(frames(1)[0].path, "capture/A2/frame.jpg",
                   [&](const std::optional<PeerError>& error) { delivered = !error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.load(); }, tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_EQ(captureFolders(data("Inbox")), (QStringList{"A1", "A6", "A7", "A8", "A9"}));
    EXPECT_TRUE(QDir(m_receiver->incomingDir()).isEmpty());
}

TEST_F(CompanionBrowserTest, CapturesOfPhonesThatLeftGiveWayOldestFirst)
{
    m_receiver->browser().startBrowsing();
    QStringList expected;
    for (int i = 0; i <= CompanionBrowser::kMaxOpenCaptures; ++i) {
        const QString stamp = QStringLiteral("L%1").arg(i, 2, 10, QLatin1Char('0'));
        TestPhone& p = phone({.stamp = stamp, .frameCount = 3, .previews = false});
        p.start();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_receiver->status() == ServerStatus::receiving(stamp, 0, 3, "phone"); },
            tovarine::test::kHangCeilingMs));
        m_phones.clear(); // it leaves with its capture open
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !m_receiver->connectedPeer(); }, tovarine::test::kHangCeilingMs));
        expected.append(stamp);
    }
    expected.removeFirst();
    EXPECT_EQ(captureFolders(data("Inbox")), expected);
}

TEST_F(CompanionBrowserTest, FindingLosingAndDeniedBrowsing)
{
    m_network->setFaults({.browsingError = PeerError{"NetServices", -72008, "Local network access denied"}});
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->localNetworkDenied(); }, tovarine::test::kHangCeilingMs));

    m_network->setFaults({});
    TestPhone& a = phone({.sendManifest = false, .previews = false}, "twin");
    TestPhone& b = phone({.sendManifest = false, .previews = false}, "twin");
    a.start();
    b.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->connectedPeer().has_value(); },
                                tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_FALSE(m_receiver->localNetworkDenied()) << "a found peer clears the flag";
    EXPECT_EQ(m_receiver->discoveredPeers().size(), 1) << "one entry per display name";
    EXPECT_TRUE(a.outcome().connected && b.outcome().connected) << "both were found before either connected";
    TestPhone& late = phone({.sendManifest = false, .previews = false}, "late");
    late.start();
    settle();
    EXPECT_EQ(m_receiver->discoveredPeers().size(), 2);
    EXPECT_FALSE(late.outcome().connected) << "no invitation while a phone is connected";
    m_phones.pop_back();
    settle();

    m_phones.pop_back(); // "twin" b stops advertising: every peer of that name goes
    settle();
    EXPECT_TRUE(m_receiver->discoveredPeers().isEmpty());
}

// Each model says which capture folder it was made in.
void writeModelNamingItsFolder(const QString& path)
{
    QFile model(path);
    ASSERT_TRUE(model.open(QIODevice::WriteOnly));
    QDir folder = QFileInfo(path).dir();
    while (folder.dirName().startsWith(QLatin1Char('.'))) {
        folder.cdUp();
    }
    model.write("model of " + folder.dirName().toUtf8());
}

TEST_F(CompanionBrowserTest, CapturesSentBackToBackTakeTheEngineInTurn)
{
    // Each run holds until the test lets it complete.
    m_engine.script = {FakeStep::progress(0.5), FakeStep::hold()};
    m_engine.afterCancel = {FakeStep::complete(), FakeStep::end()};
    m_engine.writeModel = writeModelNamingItsFolder;
    const QStringList stamps = {"B1", "B2", "B3"};
    TestPhone& p = phone({.stamp = "B1", .frames = frames(3), .previews = false, .moreStamps = {"B2", "B3"}});
    p.start();
    m_receiver->browser().startBrowsing();
    const auto saw = [&](const QString& event) { return p.outcome().timeline.contains(event); };
    const QString waits =
        QStringLiteral("progress %1 · Waiting on computer · another capture is being reconstructed");
    for (const QString& stamp : stamps) {
        SCOPED_TRACE(stamp.toStdString());
        // The capture's frames are all in, and each later one waits for it.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return saw("progress " + stamp + " · Reconstructing on computer · 50%") &&
                       std::all_of(stamps.cbegin() + stamps.indexOf(stamp) + 1, stamps.cend(),
                                   [&](const QString& later) { return saw("ready " + later); });
            },
            tovarine::test::kHangCeilingMs));
        settle();
        EXPECT_EQ(m_liveRuns, 1);
        EXPECT_EQ(m_engine.madeCount, stamps.indexOf(stamp) + 1) << "the others wait";
        m_engine.session->cancel(); // lets this run complete
        ASSERT_TRUE(QTest::qWaitFor([&] { return saw("model " + stamp); }, tovarine::test::kHangCeilingMs));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.isFinished(); }, tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_EQ(m_mostLiveRuns, 1) << "never more than one engine run at a time";
    EXPECT_TRUE(p.outcome().errors.isEmpty());
    for (const QString& stamp : stamps) {
        EXPECT_EQ(readAll(p.outcome().models.value(stamp)), "model of " + stamp.toUtf8())
            << stamp.toStdString();
    }
    // One after another: every capture but the first waited, and starts only once the one before has ended.
    const QStringList& timeline = p.outcome().timeline;
    EXPECT_FALSE(timeline.contains(waits.arg("B1")));
    for (int i = 1; i < stamps.size(); ++i) {
        const qsizetype ready = timeline.indexOf("ready " + stamps[i]);
        const qsizetype waiting = timeline.indexOf(waits.arg(stamps[i]));
        const qsizetype starts =
            timeline.indexOf("progress " + stamps[i] + " · Reconstructing on computer · 50%");
        EXPECT_TRUE(ready >= 0 && ready < waiting && waiting < starts) << timeline.join('\n').toStdString();
        EXPECT_LT(timeline.indexOf("result " + stamps[i - 1]), starts) << timeline.join('\n').toStdString();
        EXPECT_TRUE(m_statuses.contains(ServerStatus::waiting(stamps[i], "phone")));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::idle(); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_EQ(m_receiver->completed().size(), 3);
}

TEST_F(CompanionBrowserTest, AWaitingCaptureLeavesTheLineWithItsPhoneOrItsStamp)
{
    // "first" holds the engine; "second" and "third" each complete a capture that waits. "second" then sends
    // its stamp again, and "third" leaves.
    m_engine.script = {FakeStep::hold()};
    m_engine.afterCancel = {FakeStep::complete(), FakeStep::end()};
    const QList<TestPhone::Frame> f = frames(2);
    TestPhone& first = phone({.stamp = "R1", .frames = f, .previews = false}, "first");
    m_receiver->browser().startBrowsing();
    first.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_liveRuns == 1; }, tovarine::test::kHangCeilingMs));
    TestPhone& second = phone({.stamp = "W2", .frames = f, .previews = false}, "second");
    TestPhone& third = phone({.stamp = "W3", .frames = f, .previews = false}, "third");
    // Another phone is invited only while none is connected: these two connect through invitations of
    // their own.
    second.start();
    third.start();
    m_receiver->invite(second.peer());
    m_receiver->invite(third.peer());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return second.outcome().timeline.size() == 2 && third.outcome().timeline.size() == 2; },
        tovarine::test::kHangCeilingMs));
    EXPECT_EQ(second.outcome().timeline,
              (QStringList{"ready W2",
                           "progress W2 · Waiting on computer · another capture is being reconstructed"}));
    EXPECT_TRUE(m_statuses.contains(ServerStatus::waiting("W2", "second")));
    EXPECT_TRUE(m_statuses.contains(ServerStatus::waiting("W3", "third")));

    second.sendData(manifestMessage("W2", 5));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("W2", 0, 5, "second"); },
                        tovarine::test::kHangCeilingMs));
    std::erase_if(m_phones, [&third](const std::unique_ptr<TestPhone>& p) { return p.get() == &third; });
    settle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiver->discoveredPeers().size() == 2; },
                                tovarine::test::kHangCeilingMs));
    settle();

    // The engine is let go: nothing is left in line.
    m_engine.session->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isFinished(); }, tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_EQ(m_engine.madeCount, 1);
    EXPECT_EQ(m_receiver->status(), ServerStatus::idle());
    EXPECT_TRUE(second.outcome().errors.isEmpty());
    // The frames of the capture that left the line stay on disk.
    EXPECT_TRUE(QFileInfo::exists(data("Inbox/W3/Images/frame_00000.jpg")));
}

TEST_F(CompanionBrowserTest, PhonesTakeTurnsWithTheEngine)
{
    // "first" sends three captures back to back; "second" completes one while the first of them runs. Its
    // capture is next, not behind the two the first phone's frames completed earlier.
    m_engine.script = {FakeStep::hold()};
    m_engine.afterCancel = {FakeStep::complete(), FakeStep::end()};
    m_engine.writeModel = writeModelNamingItsFolder;
    const QList<TestPhone::Frame> f = frames(2);
    TestPhone& first =
        phone({.stamp = "A1", .frames = f, .previews = false, .moreStamps = {"A2", "A3"}}, "first");
    m_receiver->browser().startBrowsing();
    first.start();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_liveRuns == 1 && first.outcome().timeline.contains("ready A3"); },
                        tovarine::test::kHangCeilingMs));
    TestPhone& second = phone({.stamp = "B1", .frames = f, .previews = false}, "second");
    second.start();
    m_receiver->invite(second.peer());
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.outcome().timeline.contains("ready B1"); },
                                tovarine::test::kHangCeilingMs));
    settle();

    QStringList order;
    for (int run = 1; run <= 4; ++run) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_engine.madeCount == run && m_liveRuns == 1; },
                                    tovarine::test::kHangCeilingMs))
            << "run " << run;
        // The capture running is the last one shown reconstructing (a capture joining the line shows
        // waiting).
        const auto running =
            std::find_if(m_statuses.crbegin(), m_statuses.crend(),
                         [](const ServerStatus& s) { return s.kind == ServerStatus::Kind::reconstructing; });
        ASSERT_NE(running, m_statuses.crend());
        order.append(running->stamp);
        m_engine.session->cancel(); // lets this run complete
    }
    EXPECT_EQ(order, (QStringList{"A1", "B1", "A2", "A3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isFinished() && second.isFinished(); },
                                tovarine::test::kHangCeilingMs));
    settle();
    EXPECT_EQ(m_mostLiveRuns, 1);
    EXPECT_TRUE(first.outcome().errors.isEmpty());
    EXPECT_TRUE(second.outcome().errors.isEmpty());
    EXPECT_EQ(readAll(second.outcome().models.value("B1")), "model of B1");
    for (const QString& stamp : {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3")}) {
        EXPECT_EQ(readAll(first.outcome().models.value(stamp)), "model of " + stamp.toUtf8())
            << stamp.toStdString();
    }
}

// The resident memory of this process, in bytes.
qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return -1;
}

TEST_F(CompanionBrowserTest, LongFrameListsAreNotKept)
{
    // Four manifests of 16 MB, each listing 3,000,000 frames, for captures that stay open.
    TestPhone& p = phone({.sendManifest = false, .previews = false});
    p.start();
    m_receiver->browser().startBrowsing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.outcome().connected; }, tovarine::test::kHangCeilingMs));
    const auto longManifest = [](const QString& stamp) {
        QByteArray payload = R"({"stamp":")" + stamp.toUtf8() + R"(","frameCount":3,"detail":"medium",)" +
                             R"("createdAt":0,"clientVersion":"1","frames":[)";
        payload.reserve(12'100'000);
        for (int i = 0; i < 3'000'000; ++i) {
            payload += i == 0 ? "\"a\"" : ",\"a\"";
        }
        payload += "]}";
        CaptureTransferEnvelope envelope{CaptureTransferKind::manifest, payload};
        return envelope.encode();
    };
    // The first one makes the heap grow to what decoding one takes; what the others add is what is kept.
    p.sendData(longManifest("M0"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiver->status() == ServerStatus::receiving("M0", 0, 3, "phone"); },
                        tovarine::test::kHangCeilingMs));
    settle();
    // Memory the allocator holds free is given back first: what stays resident is what is kept.
    malloc_trim(0);
    const qint64 before = residentBytes();
    for (int i = 1; i < 4; ++i) {
        const QString stamp = QStringLiteral("M%1").arg(i);
        QByteArray message = longManifest(stamp);
        ASSERT_GT(message.size(), 15'000'000);
        ASSERT_LT(message.size(), 16 * 1024 * 1024);
        p.sendData(message);
        message.clear();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_receiver->status() == ServerStatus::receiving(stamp, 0, 3, "phone"); },
            tovarine::test::kHangCeilingMs));
    }
    settle();
    malloc_trim(0);
    const qint64 after = residentBytes();
    // Kept whole, each list took about 200 MB; the bound leaves room for the allocator's own keeping.
    std::printf("[ figures  ] resident memory: %lld MB after the first manifest, %lld MB after three more\n",
                static_cast<long long>(before >> 20), static_cast<long long>(after >> 20));
    EXPECT_LT(after - before, 96 * 1024 * 1024) << before << " then " << after;
    EXPECT_EQ(captureFolders(data("Inbox")), (QStringList{"M0", "M1", "M2", "M3"}));
}

TEST_F(CompanionBrowserTest, NoTextAPhoneReceivesNamesALocalPath)
{
    // Every failure the receiver sends, from the scripted engine with texts that name this computer's
    // folders and from the COLMAP engine (over the fake colmap) as it fails on its own.
    const QString stamp = QStringLiteral("TWOFRAMES");
    const QString images = data("Inbox/TWOFRAMES/Images");
    const QString workRoot = m_root.filePath(QStringLiteral("work"));
    const char* const fakeVariables[] = {"FAKE_COLMAP_FAIL", "FAKE_COLMAP_CRASH", "FAKE_COLMAP_SLEEP",
                                         "FAKE_COLMAP_NO_OUTPUT", "FAKE_COLMAP_UNDECODABLE"};
    enum class Frames { jpeg, two, png, garbage };
    const struct
    {
        const char* what;
        std::function<void()> arrange;
        bool colmap = false;
        Frames frames = Frames::jpeg;
        bool failModelTransfer = false;
        bool imagesFolderBlocked = false;
    } cases[] = {
        {"staging's two-frame text",
         [&] {
             m_engine.script = {
                 FakeStep::requestError("At least 3 frames are needed; " + images + " holds 2."),
                 FakeStep::end()};
         }},
        {"staging's no-frame text",
         [&] {
             m_engine.script = {
                 FakeStep::requestError("No jpg, jpeg or heic frames were found in " + images + "/."),
                 FakeStep::end()};
         }},
        {"a work file's path",
         [&] {
             m_engine.script = {
                 FakeStep::requestError("Check failed: " + workRoot + "/tovarine-colmap-1/database.db"),
                 FakeStep::end()};
         }},
        {"the capture folder",
         [&] {
             m_engine.script = {FakeStep::requestError("Cannot write in " + data("Inbox/TWOFRAMES")),
                                FakeStep::end()};
         }},
        {"the home folder",
         [&] {
             m_engine.script = {FakeStep::requestError(QDir::homePath() + "/x is gone"), FakeStep::end()};
         }},
        {"engine cannot be made",
         [&] { m_engine.cannotMake = "The work folder could not be created in " + workRoot + "."; }},
        {"engine refuses",
         [&] { m_engine.refusal = "Cannot write " + data("Inbox/TWOFRAMES/.pending/model.usdz"); }},
        {"model transfer fails", [] {}, false, Frames::jpeg, true},
        {"frame cannot be stored", [] {}, false, Frames::jpeg, false, true},
        {"colmap: two frames", [] {}, true, Frames::two},
        {"colmap: no jpeg frames", [] {}, true, Frames::png},
        {"colmap: frames that are not JPEG", [] {}, true, Frames::garbage},
        {"colmap: extractor fails", [] { qputenv("FAKE_COLMAP_FAIL", "feature_extractor:1"); }, true},
        {"colmap: matcher crashes", [] { qputenv("FAKE_COLMAP_CRASH", "exhaustive_matcher"); }, true},
        {"colmap: no work folder",
         [&] {
             QDir(workRoot).removeRecursively();
             QFile blocker(workRoot);
             ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // the work root is a file
         },
         true},
    };
    QStringList local = {m_root.path(),
                         QDir::tempPath(),
                         QStringLiteral("/"),
                         QStringLiteral("\\"),
                         QStringLiteral("Inbox"),
                         QStringLiteral("Images"),
                         QStringLiteral("Incoming"),
                         QStringLiteral("TovarineCompanion"),
                         QStringLiteral("tovarine-colmap"),
                         QStringLiteral("database"),
                         QStringLiteral(".pending")};
    for (const QString& part : m_root.path().split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        local.append(part);
    }
    if (QDir::homePath().size() > 1) {
        local.append(QDir::homePath());
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        m_statuses.clear();
        QDir(data()).removeRecursively();
        QDir(workRoot).removeRecursively();
        QFile::remove(workRoot);
        for (const char* name : fakeVariables) {
            qunsetenv(name);
        }
        m_network = std::make_shared<LoopbackPeerNetwork>();
        m_engine = test::FakeEngine();
        m_factory.reset();
        if (c.failModelTransfer) {
            m_network->setFaults({.resourceError = [this](const QString& name) -> std::optional<PeerError> {
                if (name.startsWith(QLatin1String("result/"))) {
                    return PeerError{"PeerLink", 9, "could not read " + data("Inbox/TWOFRAMES/model.usdz")};
                }
                return std::nullopt;
            }});
        }
        if (c.colmap) {
            ColmapPhotogrammetrySession::Options options;
            options.colmapProgram = QStringLiteral(TOVARINE_SOURCE_ROOT "/tools/fake-colmap/colmap");
            options.workRoot = workRoot;
            options.maxThreads = 1;
            m_factory = ColmapPhotogrammetrySession::factory(options);
        }
        QDir().mkpath(workRoot);
        SetUp();
        c.arrange();
        if (c.imagesFolderBlocked) {
            QDir(data(QStringLiteral("Inbox"))).removeRecursively();
            QFile blocker(data(QStringLiteral("Inbox")));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        QList<TestPhone::Frame> sent;
        const int count = c.frames == Frames::two ? 2 : 4;
        QDir().mkpath(m_root.filePath(QStringLiteral("source")));
        for (int i = 0; i < count; ++i) {
            const QString name =
                QStringLiteral("frame_%1.%2").arg(i).arg(c.frames == Frames::png ? "png" : "jpg");
            QFile file(m_root.filePath(QStringLiteral("source/") + name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.frames == Frames::garbage ? QByteArray(100, 'Z')
                                                   : tovarine::test::jpegFrameHeader(640, 480));
            sent.append({name, file.fileName()});
        }
        TestPhone& p = phone({.stamp = stamp, .frames = sent, .previews = false});
        play(p);
        ASSERT_EQ(p.outcome().errors.size(), 1);
        const QString message = p.outcome().errors[0].message;
        EXPECT_FALSE(message.isEmpty());
        for (const QString& part : std::as_const(local)) {
            EXPECT_FALSE(message.contains(part)) << message.toStdString() << " holds " << part.toStdString();
        }
        std::printf("[ phone    ] %s: %s\n", c.what, qPrintable(message));
    }
    for (const char* name : fakeVariables) {
        qunsetenv(name);
    }
}

TEST(WithoutLocalPaths, TheCaptureIsNamedByItsStampAndAnyOtherPathGivesWay)
{
    const CaptureForPhone capture{"S1", 3, "/home/u/data/Inbox/S1 2", "/home/u/data/Inbox/S1 2/Images"};
    const QString fallback = QStringLiteral("fallback");
    const struct
    {
        QString text;
        QString expected;
    } cases[] = {
        {"Disk full", "Disk full"},
        {"At least 3 frames are needed; /home/u/data/Inbox/S1 2/Images holds 2.",
         "At least 3 frames are needed; the frames of capture S1 holds 2."},
        {"None in /home/u/data/Inbox/S1 2/Images/.", "None in the frames of capture S1."},
        {"Cannot read /home/u/data/Inbox/S1 2/Images/frame 1.jpg",
         "Cannot read the frames of capture S1: frame 1.jpg"},
        {"Cannot write in /home/u/data/Inbox/S1 2", "Cannot write in capture S1"},
        {"Cannot write /home/u/data/Inbox/S1 2/.pending/model.usdz", "fallback"},
        {"Check failed: /tmp/work/database.db", "fallback"},
        {"Found in ~/captures/x", "fallback"},
        {"C:\\captures", "fallback"},
        {"and/or", "fallback"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withoutLocalPaths(c.text, capture, fallback),
                  c.expected == "fallback" ? fallback : c.expected)
            << c.text.toStdString();
    }
}

} // namespace
} // namespace tovarine
