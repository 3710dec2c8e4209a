#include "QuorvantileIndicator.h"

#include "HangCeiling.h"
#include "MeshViewsFixture.h"
#include "ScopedLocale.h"

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const QColor kAccent(255, 200, 80);

QColor faded(QColor c, double opacity)
{
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}

QuorvantileIndicator::Look look()
{
    return QuorvantileIndicator::describe(Quorvantile::shared(), kAccent);
}

} // namespace

TEST(QuorvantileIndicator, DrawsNothingWhileTheMeshIsOff)
{
    MeshOnLoopback net;
    QuorvantileIndicator indicator(kAccent);
    EXPECT_FALSE(indicator.look().visible);
    EXPECT_TRUE(indicator.sizeHint().isEmpty());
    EXPECT_TRUE(indicator.toolTip().isEmpty());
}

TEST(QuorvantileIndicator, AloneOnTheNetwork)
{
    MeshOnLoopback net;
    net.join();
    QuorvantileIndicator indicator(kAccent);
    QTRY_VERIFY_WITH_TIMEOUT(indicator.look().visible, tovarine::test::kHangCeilingMs);
    auto idle = look();
    EXPECT_EQ(idle.label, "OFFLINE");
    EXPECT_EQ(idle.dotColor, faded(kAccent, 0.25));
    EXPECT_EQ(idle.status, "this machine only");
    EXPECT_EQ(idle.statusColor, faded(kAccent, 0.45));
    EXPECT_TRUE(idle.tooltip.contains("Renders will run on this machine only."));
    EXPECT_FALSE(indicator.sizeHint().isEmpty());

    Quorvantile::shared().setRenderStatus(QStringLiteral("Rendering · 40%"));
    const auto rendering = look();
    EXPECT_EQ(rendering.label, "OFFLINE");
    EXPECT_EQ(rendering.status, "rendering locally only"); // not the render's own text
    EXPECT_FALSE(rendering.pulse);
    EXPECT_EQ(rendering.dotColor.name(), QColor(255, 149, 0).name());
    EXPECT_EQ(rendering.tooltip,
              "Quorvantile mesh: no other machines found. Rendering on this machine only.\n"
              "Turn on another computer on the same network to share work.");
}

TEST(QuorvantileIndicator, WithOtherMachines)
{
    MeshOnLoopback net;
    net.join();
    net.addMachine("beta", 3);
    net.addMachine("gamma", 4);
    net.waitForRemotes(2);
    QuorvantileIndicator indicator(kAccent);

    const auto idle = look();
    EXPECT_EQ(idle.label, "QUORVANTILE");
    EXPECT_EQ(idle.dotColor.alphaF(), faded(QColor(52, 199, 89), 0.4).alphaF());
    EXPECT_EQ(idle.status, "3 machines ready");
    EXPECT_TRUE(idle.tooltip.startsWith("Quorvantile mesh: 3 machines on the network, ready to share work."));
    EXPECT_FALSE(idle.pulse);

    Quorvantile& mesh = Quorvantile::shared();
    mesh.setRenderStatus(QStringLiteral("Rendering 3 segments…"));
    mesh.setWorkerProgress({{"local", 0.5, false}, {"beta", 0.999, false}, {"gamma", 0.2, true}});
    mesh.setLastSpeedComparison(QuorvantileSpeedComparison{0, 100, 3, {}, 300});
    const auto busy = look();
    EXPECT_EQ(busy.status, "Rendering 3 segments…");
    EXPECT_EQ(busy.statusColor.alphaF(), faded(Qt::green, 0.85).alphaF());
    EXPECT_TRUE(busy.pulse);
    EXPECT_TRUE(busy.speedup.isEmpty()); // hidden until the render ends
    EXPECT_TRUE(busy.tooltip.contains("rendering across 3 machines"));
    QTRY_VERIFY_WITH_TIMEOUT(indicator.dotOpacity() < 0.9,
                             tovarine::test::kHangCeilingMs); // the dot breathes

    mesh.setRenderStatus(std::nullopt);
    mesh.setWorkerProgress({});
    EXPECT_EQ(look().speedup, "1.0x faster with 3 machines");
    QTRY_COMPARE_WITH_TIMEOUT(indicator.dotOpacity(), 1.0, tovarine::test::kHangCeilingMs);

    // A reason for rendering locally decides dot, status and tooltip whatever else holds.
    mesh.setRenderStatus(QStringLiteral("Rendering"));
    mesh.setLocalRenderReason(QStringLiteral("peers are busy"));
    const auto local = look();
    EXPECT_EQ(local.label, "QUORVANTILE");
    EXPECT_EQ(local.status, "peers are busy");
    EXPECT_FALSE(local.pulse);
    EXPECT_EQ(local.tooltip, "Quorvantile mesh: peers are busy\nRendering on this machine only.");
}

// The application runs under the user's locale; the speedup it reports keeps its point under a decimal comma.
TEST(QuorvantileIndicator, TheSpeedupKeepsItsPointUnderACommaLocale)
{
    const tovarine::test::ScopedLocale comma(tovarine::test::kCommaLocale);
    if (!comma.active()) {
        GTEST_SKIP() << tovarine::test::kCommaLocale << " is not available here";
    }
    MeshOnLoopback net;
    net.join();
    Quorvantile::shared().setLastSpeedComparison(QuorvantileSpeedComparison{40, 100, 3, {}, 300});
    EXPECT_EQ(look().speedup, "2.5x faster with 3 machines");
}

TEST(QuorvantileIndicator, WorkerPercentages)
{
    EXPECT_EQ(QuorvantileIndicator::workerPercentText(0.999, false), "99%");
    EXPECT_EQ(QuorvantileIndicator::workerPercentText(0.0, false), "0%");
    EXPECT_EQ(QuorvantileIndicator::workerPercentText(0.4, true), "done");
}
