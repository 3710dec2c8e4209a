#pragma once

#include <QColor>
#include <QRectF>

#include <optional>

class QPainter;

namespace ostrel {

// The gloss look for a surface, in proportion to an intensity (meaningful 0…1, not clamped): a white
// highlight from the top edge fading out at the vertical centre, and a warm ostrelGoldDeep glow under it.
// Plain values; painting runs on the GUI thread.
struct LickableGlossModifier
{
    double intensity = 0.0;
    double cornerRadius = 0.0; // points

    // Opacity of the highlight's top edge, 0.06 + 0.22 × intensity; absent (no highlight) at 0.01 or below.
    std::optional<double> highlightOpacity() const;
    // The glow: ostrelGoldDeep at 0.35 × intensity above 0.3, fully transparent otherwise.
    QColor glowColor() const;
    double glowBlurRadius() const { return 12.0 * intensity; }
    double glowOffsetY() const { return 3.0 * intensity; }

    // Paints the highlight over `rect`, clipped to its rounded rectangle; nothing without a highlight.
    void paintHighlight(QPainter& painter, const QRectF& rect) const;
};

} // namespace ostrel
