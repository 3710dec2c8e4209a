#include "GoldDivider.h"
#include "OstrelPalette.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(GoldDivider, DrawsAOnePointLineInsetEightPointsAndKeepsItsHeightWhenInvisible)
{
    for (double opacity : {0.0, 1.0}) {
        GoldDivider divider(opacity);
        divider.resize(100, 3);
        EXPECT_EQ(divider.height(), 3);
        QImage image(100, 3, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        divider.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background
        const QColor inside = image.pixelColor(50, 1);
        if (opacity == 0.0) {
            EXPECT_EQ(inside.alpha(), 0);
        } else {
            EXPECT_EQ(inside.rgb(), OstrelPalette::ostrelGoldDark().rgb());
        }
        EXPECT_EQ(image.pixelColor(50, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(50, 2).alpha(), 0);
        EXPECT_EQ(image.pixelColor(7, 1).alpha(), 0);
        EXPECT_EQ(image.pixelColor(92, 1).alpha(), 0);
        EXPECT_EQ(image.pixelColor(8, 1).alpha(), opacity == 0.0 ? 0 : 255);
    }
}
