#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>

#include <optional>

// The overlay's buttons: text on a small rounded plate, drawn with the overlay's literal colours.
// GUI thread only.
class MarkupStyledButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Style {
        tool,           // toolbar buttons: accent plate when active, grey 0.3 outline while pressed otherwise
        send,           // the toolbar's send button: accent plate, white while pressed
        sheetPrimary,   // the sheet's save button: accent plate, white while pressed
        sheetSecondary, // the sheet's copy button: no plate, grey 0.17 outline
    };

    MarkupStyledButton(const QString& text, Style style, QWidget* parent = nullptr);

    // Tool buttons only: whether this is the current tool.
    void setActive(bool active);
    bool isActive() const { return m_active; }
    // A text colour of the button's own that wins over the style's (the toolbar's red "clear").
    void setTextColor(const QColor& color);
    void setLabelFont(const QFont& font);

    // What the plate is filled with now and the outline drawn, for tests; transparent when none.
    QColor plateColor() const;
    QColor outlineColor() const;
    QColor textColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int horizontalPadding() const;

    Style m_style;
    bool m_active = false;
    std::optional<QColor> m_textColor;
};

// Shared colours of the overlay.
namespace MarkupPalette {
QColor accent();      // the yellow ink: sRGB 0.91, 1.0, 0.0
QColor grey(double level);
QFont monospace(double pointSize, QFont::Weight weight = QFont::Normal, double trackingPt = 0);
} // namespace MarkupPalette
