#include "OstrelFonts.h"

#include <QStringList>

namespace ostrel::OstrelFonts {

QFont font(Face face, double sizePt, QFont::Weight weight, bool italic, double trackingPt)
{
    QFont f;
    switch (face) {
    case Face::Proportional:
        f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"), QStringLiteral("sans-serif")});
        f.setStyleHint(QFont::SansSerif);
        break;
    case Face::Monospaced:
        f.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Sans Mono"),
                       QStringLiteral("monospace")});
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        break;
    case Face::Serif:
        f.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("Noto Serif"), QStringLiteral("serif")});
        f.setStyleHint(QFont::Serif);
        break;
    }
    // Design points are device-independent pixels; Qt's point sizes assume 96 dpi for them.
    f.setPointSizeF(sizePt * 0.75);
    f.setWeight(weight);
    f.setItalic(italic);
    return withTracking(f, trackingPt);
}

QFont withTracking(QFont font, double trackingPt)
{
    if (trackingPt != 0.0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, trackingPt);
    }
    return font;
}

} // namespace ostrel::OstrelFonts
