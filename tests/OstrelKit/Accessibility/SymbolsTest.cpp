#include "OstrelSymbolPainter.h"
#include "OstrelSymbols.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelSymbols, CatalogueHas62WellFormedNamesWithTwoSharedPairs)
{
    const auto& all = OstrelSymbols::all();
    ASSERT_EQ(all.size(), 62);
    EXPECT_EQ(OstrelSymbols::importFile, OstrelSymbols::save);
    EXPECT_EQ(OstrelSymbols::cubeTransparent, OstrelSymbols::wireframe);
    QSet<QString> names;
    QSet<QString> meanings;
    for (const auto& symbol : all) {
        const QString name = QString(symbol.name);
        ASSERT_FALSE(name.isEmpty());
        for (QChar c : name) {
            EXPECT_TRUE(c.isDigit() || c == u'.' || (c >= u'a' && c <= u'z')) << name.toStdString();
        }
        names.insert(name);
        meanings.insert(QString(symbol.meaning));
    }
    EXPECT_EQ(meanings.size(), 62);
    EXPECT_EQ(names.size(), 60); // 58 distinct plus the two shared names
    EXPECT_EQ(QString(all.front().name), QStringLiteral("gearshape"));
    EXPECT_EQ(QString(all.back().name), QStringLiteral("arrow.backward"));
    EXPECT_EQ(OstrelSymbols::delete_, QLatin1StringView("trash"));
}

TEST(OstrelSymbolPainter, DrawnNamesPaintAndUnmappedNamesDrawNothing)
{
    const auto inkIn = [](QLatin1StringView name, bool* painted) {
        QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        *painted = OstrelSymbolPainter::paint(painter, QRectF(0, 0, 24, 24), name, Qt::white);
        painter.end();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                ink += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        return ink;
    };
    // The names the kit's own views draw are painted, not taken from a font (the model setup view's header
    // shows the local AI symbol).
    for (QLatin1StringView name :
         {OstrelSymbols::search, OstrelSymbols::chevronRight, OstrelSymbols::chevronDown, OstrelSymbols::ai}) {
        bool painted = false;
        EXPECT_GT(inkIn(name, &painted), 10) << QString(name).toStdString();
        EXPECT_TRUE(painted);
        EXPECT_TRUE(OstrelSymbolPainter::canDraw(name)) << QString(name).toStdString();
    }
    bool painted = true;
    EXPECT_EQ(inkIn(QLatin1StringView("no.such.symbol"), &painted), 0);
    EXPECT_FALSE(painted);
    EXPECT_FALSE(OstrelSymbolPainter::canDraw(QLatin1StringView("no.such.symbol")));
    EXPECT_TRUE(OstrelSymbolPainter::icon(QLatin1StringView("no.such.symbol"), Qt::white, 16).isNull());
}
