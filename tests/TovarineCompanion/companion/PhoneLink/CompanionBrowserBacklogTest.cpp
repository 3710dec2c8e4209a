#include "CompanionBrowser.h"

#include "FakePhotogrammetrySession.h"
#include "HangCeiling.h"
#include "LoopbackPeerNetwork.h"
#include "PeerDiscovery.h"
#include "TcpPeerTransport.h"
#include "TestPhone.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using test::FakeStep;
using test::TestPhone;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits, without letting the GUI thread run (it stands for a busy one), until `done` holds.
bool waitWithoutEvents(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

std::shared_ptr<TcpPeerTransport> tcpTransport(const std::shared_ptr<PeerDiscovery>& discovery)
{
    const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
    EXPECT_TRUE(identity);
    return std::make_shared<TcpPeerTransport>(
        TcpPeerTransport::Options{discovery, *identity, QHostAddress::LocalHost});
}

// A phone floods the receiver with preview-sized messages while the receiver's GUI thread is busy: what
// waits for the GUI thread stays within the backlog limit (the phone is held back, not dropped), and the
// phone's own capture still goes in and its model comes back. Over TCP on loopback and the in-process link.
class CompanionBrowserBacklog : public ::testing::TestWithParam<bool>
{
};

TEST_P(CompanionBrowserBacklog, AFloodingPhoneIsHeldBackAndLosesNothing)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    std::shared_ptr<PeerTransport> receiverTransport;
    std::shared_ptr<PeerTransport> phoneTransport;
    if (GetParam()) {
        const auto discovery = std::make_shared<LocalPeerDiscovery>();
        receiverTransport = tcpTransport(discovery);
        phoneTransport = tcpTransport(discovery);
    } else {
        receiverTransport = phoneTransport = std::make_shared<LoopbackPeerNetwork>();
    }

    test::FakeEngine engine;
    engine.script = {FakeStep::progress(0.5), FakeStep::complete(), FakeStep::end()};
    CompanionBrowser receiver(CompanionBrowser::Environment{receiverTransport, engine.factory(),
                                                            root.filePath(QStringLiteral("data")),
                                                            QStringLiteral("studio")});
    int previewsSeen = 0;
    QObject::connect(&receiver, &CompanionBrowser::latestFrameChanged, [&] { ++previewsSeen; });

    QList<TestPhone::Frame> frames;
    QDir().mkpath(root.filePath(QStringLiteral("source")));
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("frame_%1.jpg").arg(i);
        QFile file(root.filePath(QStringLiteral("source/") + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\xff\xd8 ") + QByteArray(5000 + i, char('a' + i)));
        frames.append({name, file.fileName()});
    }
    TestPhone phone(*phoneTransport, QStringLiteral("phone"), root.filePath(QStringLiteral("phone")),
                    {.stamp = QStringLiteral("F1"), .frames = frames, .previews = false});
    phone.start();
    receiver.browser().startBrowsing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return phone.outcome().connected; }, test::kHangCeilingMs));

    // Three times the limit in 1 MiB previews, each telling its number.
    constexpr qint64 kMessageBytes = 1024 * 1024;
    constexpr int kMessages = 3 * CompanionBrowser::kMaxBacklogBytes / kMessageBytes;
    const auto preview = [](int i) {
        QByteArray bytes(kMessageBytes, char(i));
        bytes.replace(0, 16, QByteArray::number(i).rightJustified(16, ' '));
        return bytes;
    };
    for (int i = 0; i < kMessages; ++i) {
        phone.sendData(preview(i));
    }
    // Taken from the wire while the GUI thread is busy: up to the limit, and then (a short span to show
    // it) no further.
    ASSERT_TRUE(waitWithoutEvents(
        [&] { return receiver.backlogBytes() >= CompanionBrowser::kMaxBacklogBytes; }, test::kHangCeilingMs));
    waitWithoutEvents([] { return false; }, 500);
    const qint64 bound = CompanionBrowser::kMaxBacklogBytes + kMessageBytes + 64 * 1024;
    EXPECT_LE(receiver.backlogBytes(), bound);

    ASSERT_TRUE(QTest::qWaitFor([&] { return phone.isFinished() && previewsSeen == kMessages; },
                                test::kHangCeilingMs));
    EXPECT_LE(receiver.peakBacklogBytes(), bound);
    ASSERT_TRUE(receiver.latestFrame());
    EXPECT_EQ(*receiver.latestFrame(), preview(kMessages - 1)) << "every preview came, in order";
    EXPECT_TRUE(receiver.connectedPeer()) << "held back, not dropped";

    const TestPhone::Outcome& out = phone.outcome();
    EXPECT_TRUE(out.errors.isEmpty());
    EXPECT_EQ(out.order, (QStringList{"ready", "progress", "result", "model"}));
    EXPECT_EQ(readAll(out.modelPath), readAll(root.filePath(QStringLiteral("data/Inbox/F1/model.usdz"))));
    for (const TestPhone::Frame& frame : frames) {
        EXPECT_EQ(readAll(root.filePath(QStringLiteral("data/Inbox/F1/Images/") + frame.filename)),
                  readAll(frame.path));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return receiver.backlogBytes() == 0; }, test::kHangCeilingMs));
}

INSTANTIATE_TEST_SUITE_P(Links, CompanionBrowserBacklog, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Tcp" : "InProcess";
                         });

} // namespace
} // namespace tovarine
