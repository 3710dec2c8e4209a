#include "OstrelSymbolPainter.h"
#include "OstrelSymbols.h"

#include <QFontMetrics>
#include <QRawFont>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelSymbolPainter, EveryGlyphExistsInDejaVuSans)
{
    const QFont font(QStringLiteral("DejaVu Sans"));
    ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans")) << "DejaVu Sans is not installed";
    const QFontMetrics metrics(font);
    int mapped = 0;
    for (const auto& symbol : OstrelSymbols::all()) {
        const auto glyph = OstrelSymbolPainter::glyph(symbol.name);
        if (!glyph) {
            continue;
        }
        ++mapped;
        for (char32_t codePoint : glyph->toUcs4()) {
            EXPECT_TRUE(metrics.inFontUcs4(codePoint))
                << QString(symbol.meaning).toStdString() << " U+" << std::hex << unsigned(codePoint);
        }
    }
    EXPECT_GT(mapped, 10);
}
