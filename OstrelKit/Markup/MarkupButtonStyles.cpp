#include "MarkupButtonStyles.h"

#include "MarkupTypes.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
constexpr int kButtonHeight = 28;
constexpr double kCornerRadius = 3;
} // namespace

QColor MarkupPalette::accent()
{
    return displayColor(MarkupColor::yellow);
}

QColor MarkupPalette::grey(double level)
{
    return QColor::fromRgbF(float(level), float(level), float(level));
}

QFont MarkupPalette::monospace(double pointSize, QFont::Weight weight, double trackingPt)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Sizes are in device-independent pixels, as everywhere in the kit.
    font.setPixelSize(std::max(1, int(std::lround(pointSize))));
    font.setWeight(weight);
    if (trackingPt != 0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, trackingPt);
    }
    return font;
}

MarkupStyledButton::MarkupStyledButton(const QString& text, Style style, QWidget* parent)
    : QAbstractButton(parent), m_style(style)
{
    setText(text);
    setFont(MarkupPalette::monospace(10));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void MarkupStyledButton::setActive(bool active)
{
    if (m_active != active) {
        m_active = active;
        update();
    }
}

void MarkupStyledButton::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void MarkupStyledButton::setLabelFont(const QFont& font)
{
    setFont(font);
    updateGeometry();
}

int MarkupStyledButton::horizontalPadding() const
{
    switch (m_style) {
    case Style::tool: return 9;
    case Style::send: return 14;
    case Style::sheetPrimary:
    case Style::sheetSecondary: return 13;
    }
    return 9;
}

QSize MarkupStyledButton::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(text()) + 2 * horizontalPadding(), kButtonHeight};
}

QColor MarkupStyledButton::plateColor() const
{
    switch (m_style) {
    case Style::tool: return m_active ? MarkupPalette::accent() : QColor(Qt::transparent);
    case Style::send:
    case Style::sheetPrimary: return isDown() ? QColor(Qt::white) : MarkupPalette::accent();
    case Style::sheetSecondary: return Qt::transparent;
    }
    return Qt::transparent;
}

QColor MarkupStyledButton::outlineColor() const
{
    switch (m_style) {
    case Style::tool: return isDown() && !m_active ? MarkupPalette::grey(0.3) : QColor(Qt::transparent);
    case Style::sheetSecondary: return MarkupPalette::grey(0.17);
    case Style::send:
    case Style::sheetPrimary: return Qt::transparent;
    }
    return Qt::transparent;
}

QColor MarkupStyledButton::textColor() const
{
    if (m_textColor) {
        return *m_textColor;
    }
    switch (m_style) {
    case Style::tool: return m_active ? QColor(Qt::black) : MarkupPalette::grey(0.4);
    case Style::send:
    case Style::sheetPrimary: return Qt::black;
    case Style::sheetSecondary: return MarkupPalette::grey(0.67);
    }
    return Qt::black;
}

void MarkupStyledButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(plate, kCornerRadius, kCornerRadius);
    painter.fillPath(path, plateColor());
    if (outlineColor().alpha() > 0) {
        painter.setPen(QPen(outlineColor(), 1));
        painter.drawPath(path);
    }
    painter.setPen(textColor());
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
