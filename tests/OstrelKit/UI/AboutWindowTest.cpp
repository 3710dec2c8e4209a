#include "AboutEmblemTile.h"
#include "AboutSubtitleView.h"
#include "HangCeiling.h"
#include "OstrelAboutPanel.h"
#include "OstrelAboutView.h"
#include "OstrelMotionPreference.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

OstrelAboutModel model(const QString& name, const QString& accent, QStringList emblems = {})
{
    OstrelAboutModel m;
    m.appName = name;
    m.appNameAccent = accent;
    m.versionString = QStringLiteral("v1");
    m.descriptor = QStringLiteral("descriptor");
    m.tagline = QStringLiteral("ab 7");
    m.tagline2 = QString();
    m.emblems = std::move(emblems);
    return m;
}

struct ReduceMotionScope
{
    explicit ReduceMotionScope(bool reduce)
        : previous(OstrelMotionPreference::shared().reduceMotion())
    {
        OstrelMotionPreference::shared().accessibilityChanged(reduce);
    }
    ~ReduceMotionScope() { OstrelMotionPreference::shared().accessibilityChanged(previous); }
    bool previous;
};

} // namespace

TEST(OstrelAboutPanel, OneWindowTitledWithBothNamesThatComesBackAfterClosing)
{
    EXPECT_EQ(OstrelAboutPanel::window(), nullptr);
    OstrelAboutPanel::show(model(QStringLiteral("Ab"), QStringLiteral("Cd")));
    QWidget* window = OstrelAboutPanel::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("About AbCd"));
    EXPECT_EQ(window->size(), QSize(500, 280));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("appName"))->text(), QStringLiteral("Ab"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("appNameAccent"))->text(), QStringLiteral("Cd"));

    OstrelAboutPanel::show(model(QStringLiteral("Other"), QStringLiteral("App")));
    EXPECT_EQ(OstrelAboutPanel::window(), window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("About AbCd"));

    window->close();
    EXPECT_FALSE(window->isVisible());
    OstrelAboutPanel::show(model(QStringLiteral("Other"), QStringLiteral("App")));
    EXPECT_EQ(OstrelAboutPanel::window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("appName"))->text(), QStringLiteral("Ab"));

    window->showMinimized();
    OstrelAboutPanel::show(model(QStringLiteral("Other"), QStringLiteral("App")));
    EXPECT_EQ(OstrelAboutPanel::window(), window);
    EXPECT_FALSE(window->isMinimized());
}

TEST(AboutEmblemTile, RowsAndSizesFollowTheEmblemCount)
{
    struct Case
    {
        int count;
        QList<int> rowSizes;
        double firstRowPt;
    };
    const Case cases[] = {
        {0, {}, 36}, {1, {1}, 36}, {2, {2}, 36}, {3, {3}, 26}, {5, {3, 2}, 26}, {9, {3, 6}, 26},
    };
    for (const Case& c : cases) {
        QStringList emblems;
        for (int i = 0; i < c.count; ++i) {
            emblems.append(QString::number(i));
        }
        const AboutEmblemTile tile(emblems, Qt::black, Qt::black, Qt::white);
        QList<int> sizes;
        for (const QStringList& row : tile.rows()) {
            sizes.append(int(row.size()));
        }
        EXPECT_EQ(sizes, c.rowSizes) << c.count << " emblems";
        EXPECT_EQ(tile.emblemSizePt(0), c.firstRowPt) << c.count << " emblems";
        if (sizes.size() > 1) {
            EXPECT_EQ(tile.emblemSizePt(1), 26);
        }
    }
}

TEST(OstrelAboutView, TileBreathesOnlyWhileMotionIsAllowed)
{
    {
        ReduceMotionScope scope(false);
        OstrelAboutView view(model(QStringLiteral("a"), QStringLiteral("b"), {QStringLiteral("x")}));
        EXPECT_FALSE(view.pulse());
        view.show();
        EXPECT_TRUE(view.pulse());
        EXPECT_TRUE(view.tileAnimating());

        // Reduce motion on: the loop stops and the tile stands at the pulse scale.
        OstrelMotionPreference::shared().accessibilityChanged(true);
        EXPECT_FALSE(view.tileAnimating());
        EXPECT_DOUBLE_EQ(view.tile()->tileScale(), OstrelAboutView::kPulseScale);
        // Off again: the watched value did not change, so the tile stays still.
        OstrelMotionPreference::shared().accessibilityChanged(false);
        EXPECT_FALSE(view.tileAnimating());
    }
    {
        ReduceMotionScope scope(true);
        OstrelAboutView view(model(QStringLiteral("a"), QStringLiteral("b")));
        view.show();
        EXPECT_FALSE(view.tileAnimating());
        EXPECT_DOUBLE_EQ(view.tile()->tileScale(), OstrelAboutView::kPulseScale);
    }
}

TEST(AboutSubtitleView, FlipsWhileShownAndRestartsFromTheSource)
{
    ReduceMotionScope scope(true); // the flipping does not consult reduce motion
    AboutSubtitleView subtitle(QStringLiteral("ab 7"));
    EXPECT_FALSE(subtitle.ticking());
    subtitle.show();
    EXPECT_TRUE(subtitle.ticking());
    EXPECT_EQ(subtitle.text(), QStringLiteral("ab 7"));
    // Within a few ticks at least one letter has flipped; the blank and digit stay.
    QTRY_VERIFY_WITH_TIMEOUT(subtitle.text() != QStringLiteral("ab 7"), tovarine::test::kHangCeilingMs);
    EXPECT_TRUE(subtitle.text().endsWith(QStringLiteral(" 7")));
    EXPECT_EQ(subtitle.text().toLower(), QStringLiteral("ab 7"));
    subtitle.hide();
    EXPECT_FALSE(subtitle.ticking());
    subtitle.show();
    EXPECT_EQ(subtitle.text(), QStringLiteral("ab 7"));
}
