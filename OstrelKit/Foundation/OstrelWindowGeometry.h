#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <optional>
#include <utility>

// Window geometry presets and the frame maths of the geometry commands. Frames are window frames (title bar
// included) in screen points; the maths keeps centres, so it holds whichever way the y axis points. Nothing
// is rounded or clamped to a screen. Any thread; no state.
namespace ostrel {

enum class AspectRatioPreset { square, portrait, landscape, tall, wide, free };

namespace AspectRatioPresets {
// Declaration order.
QList<AspectRatioPreset> all();
// "1:1", "3:4", "4:3", "9:16", "16:9", "Free".
QString id(AspectRatioPreset preset);
// "1:1 — Square", "3:4 — Portrait", "4:3 — Landscape", "9:16 — Tall", "16:9 — Wide", "Free".
QString label(AspectRatioPreset preset);
// (width part, height part); absent for free.
std::optional<std::pair<double, double>> ratio(AspectRatioPreset preset);
// The shortcut key: "1" … "5", "0" for free.
QString shortcut(AspectRatioPreset preset);
// The preset whose id is `raw`; absent for any other text.
std::optional<AspectRatioPreset> fromId(const QString& raw);
} // namespace AspectRatioPresets

enum class WindowPreset { compact, standard, large, retina };

namespace WindowPresets {
QList<WindowPreset> all();
// "compact", "standard", "large", "retina".
QString rawValue(WindowPreset preset);
// 512, 800, 1080, 1440 points.
double side(WindowPreset preset);
// "512 × 512" and so on.
QString label(WindowPreset preset);
} // namespace WindowPresets

namespace OstrelWindowFrames {
// Same left edge, width and vertical centre; height = (h / w) × width.
QRectF aspect(const QRectF& frame, double widthPart, double heightPart);
// A square of `side` around the old centre.
QRectF sized(const QRectF& frame, double side);
// Same left edge and width, height = width, same vertical centre.
QRectF square(const QRectF& frame);
} // namespace OstrelWindowFrames

} // namespace ostrel
