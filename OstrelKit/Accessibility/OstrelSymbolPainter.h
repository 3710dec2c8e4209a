#pragma once

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QAnyStringView>

#include <optional>

// Resolves catalogue symbol names (OstrelSymbols) to something this desktop can draw: a glyph of the
// DejaVu Sans face, or a small icon painted with lines. A name without a mapping draws nothing, so the
// caller's text label stays the only content. GUI-library code: any thread for glyph(), the GUI thread for
// painting into widgets.
namespace ostrel::OstrelSymbolPainter {

// The font glyph for `name`, when the name is drawn with one.
std::optional<QString> glyph(QAnyStringView name);

// Whether `name` has a drawing at all (a glyph or a painted icon).
bool canDraw(QAnyStringView name);

// Draws `name` centred in `rect` in `color`. Returns false, drawing nothing, for an unmapped name.
bool paint(QPainter& painter, const QRectF& rect, QAnyStringView name, const QColor& color);

// `name` drawn on a transparent pixmap of `sizePx` logical pixels square at `scale` device pixels per logical
// pixel; empty (transparent) for an unmapped name.
QPixmap pixmap(QAnyStringView name, const QColor& color, int sizePx, qreal scale = 1.0);

// `name` as an icon of `sizePx` square pixels (device-independent) for buttons and actions; a null icon for
// an unmapped name.
QIcon icon(QAnyStringView name, const QColor& color, int sizePx);

} // namespace ostrel::OstrelSymbolPainter
