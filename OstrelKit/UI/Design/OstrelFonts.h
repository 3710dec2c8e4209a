#pragma once

#include <QFont>

// The kit's three faces (the desktop's proportional, monospaced and serif families) at a size in points.
// A point of the design system is one device-independent pixel here, so sizes become pixel sizes; a
// fractional size is kept by converting to the font's point size at the standard 96 dpi (1 px = 0.75 pt).
// Letter tracking is absolute extra spacing in pixels. GUI-library code: any thread once a QGuiApplication
// exists, and usable without one (the font then resolves on first use).
namespace ostrel::OstrelFonts {

enum class Face { Proportional, Monospaced, Serif };

QFont font(Face face, double sizePt, QFont::Weight weight = QFont::Normal, bool italic = false,
           double trackingPt = 0.0);

inline QFont system(double sizePt, QFont::Weight weight = QFont::Normal, bool italic = false,
                    double trackingPt = 0.0)
{
    return font(Face::Proportional, sizePt, weight, italic, trackingPt);
}

inline QFont monospaced(double sizePt, QFont::Weight weight = QFont::Normal, bool italic = false,
                        double trackingPt = 0.0)
{
    return font(Face::Monospaced, sizePt, weight, italic, trackingPt);
}

inline QFont serif(double sizePt, QFont::Weight weight = QFont::Normal, bool italic = false,
                   double trackingPt = 0.0)
{
    return font(Face::Serif, sizePt, weight, italic, trackingPt);
}

// The same font with absolute letter tracking in points (pixels).
QFont withTracking(QFont font, double trackingPt);

} // namespace ostrel::OstrelFonts
