#include "AboutEmblemTile.h"
#include "HangCeiling.h"
#include "HelpTheme.h"
#include "OstrelAboutView.h"
#include "OstrelMotionPreference.h"
#include "OstrelWidgetMotion.h"
#include "SearchableHelpPill.h"
#include "SearchableHelpRow.h"

#include <QAbstractAnimation>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

OstrelAboutModel aboutModel()
{
    OstrelAboutModel m;
    m.appName = QStringLiteral("tova");
    m.appNameAccent = QStringLiteral("rine");
    m.versionString = QStringLiteral("v1");
    m.tagline = QStringLiteral("tag");
    m.emblems = {QStringLiteral("x")};
    return m;
}

// Whether any pixel of the image's outermost ring is not transparent.
bool touchesEdge(const QImage& image)
{
    for (int i = 0; i < image.width(); ++i) {
        if (image.pixelColor(i, 0).alpha() || image.pixelColor(i, image.height() - 1).alpha() ||
            image.pixelColor(0, i).alpha() || image.pixelColor(image.width() - 1, i).alpha()) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(AboutEmblemTile, TheBreathingTileAndItsOutlineFitTheirBox)
{
    AboutEmblemTile tile({QStringLiteral("x")}, Qt::darkBlue, Qt::black, Qt::yellow);
    tile.setAttribute(Qt::WA_TranslucentBackground);
    tile.setTileScale(AboutEmblemTile::kMaxScale);
    QImage image(tile.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    tile.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_FALSE(touchesEdge(image)) << "the outline reaches the box edge, so it would be clipped";
    // The outline is drawn all round: the middle of each side carries the stroke colour.
    const int mid = image.width() / 2;
    int yellowish = 0;
    for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, mid);
        yellowish += c.red() > 150 && c.green() > 150 && c.blue() < 100;
    }
    EXPECT_GE(yellowish, 2);
}

TEST(OstrelAboutView, TheBreathingStopsWhenTheWindowIsHiddenAndResumesWhenShown)
{
    OstrelMotionPreference::shared().accessibilityChanged(false);
    OstrelAboutView view(aboutModel());
    view.show();
    ASSERT_TRUE(view.tileAnimating());
    view.hide();
    EXPECT_FALSE(view.tileAnimating());
    EXPECT_EQ(view.tile()->tileScale(), 1.0);
    view.show();
    EXPECT_TRUE(view.tileAnimating());
}

TEST(SearchableHelpRow, LongTitlesWrapInsteadOfBeingCut)
{
    const HelpTheme theme = HelpTheme::defaultTheme();
    SearchableHelpRow shortRow(HelpEntry(QStringLiteral("Units"), QString(), QStringLiteral("Units")), theme);
    SearchableHelpRow longRow(
        HelpEntry(QStringLiteral("Reconstruction of a capture with many frames and a long name"), QString(),
                  QStringLiteral("Capture")),
        theme);
    EXPECT_TRUE(longRow.hasHeightForWidth());
    const int oneLine = shortRow.heightForWidth(200);
    EXPECT_GT(longRow.heightForWidth(200), oneLine + 10);
    EXPECT_EQ(longRow.heightForWidth(2000), oneLine);
}

TEST(SearchableHelpPill, SelectingAPillNeedsNoMoreRoom)
{
    SearchableHelpPill pill(QStringLiteral("RECONSTRUCTION"), HelpTheme::defaultTheme());
    const QSize plain = pill.sizeHint();
    pill.setSelected(true);
    EXPECT_EQ(pill.sizeHint(), plain);
    EXPECT_EQ(pill.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}

TEST(OstrelWidgetMotion, AnimationsFollowALaterReduceMotionAndFadesReallyFade)
{
    OstrelMotionPreference::shared().accessibilityChanged(false);
    QWidget target;
    target.setProperty("level", 0.0);
    QPointer<QAbstractAnimation> loop =
        ostrelAnimation(&target, "level", 1.0, OstrelAnimation::easeInOut(0.5).repeatForever(true));
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->state(), QAbstractAnimation::Running);
    OstrelMotionPreference::shared().accessibilityChanged(true);
    EXPECT_TRUE(!loop || loop->state() != QAbstractAnimation::Running);
    EXPECT_EQ(target.property("level").toDouble(), 1.0);

    // Fades run under reduce motion too, and end hidden or shown.
    QWidget panel;
    QAbstractAnimation* in = ostrelFade(&panel, true, 0.05);
    EXPECT_TRUE(panel.isVisible());
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(panel.graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_LT(effect->opacity(), 0.5);
    ASSERT_NE(in, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(effect->opacity(), 1.0, tovarine::test::kHangCeilingMs);
    ostrelReducedTransition(&panel, false);
    EXPECT_TRUE(panel.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!panel.isVisible(), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(effect->opacity(), 0.0);
    OstrelMotionPreference::shared().accessibilityChanged(false);
}
