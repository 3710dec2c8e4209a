#pragma once

#include "MarkupState.h"

#include <QWidget>

#include <map>
#include <memory>

class MarkupStyledButton;
class QComboBox;

// The overlay's control strip, 44 points high: title, the four tools, the ink swatches, the width picker, undo,
// clear and "send to quenby". Pressing on the strip (its controls included) and moving 10 points drags it; the
// overlay places it. GUI thread only.
class MarkupToolbar : public QWidget {
    Q_OBJECT

public:
    MarkupToolbar(std::shared_ptr<MarkupState> state, QWidget* parent);

    MarkupStyledButton* toolButton(MarkupMode mode) const { return m_toolButtons.at(mode); }

signals:
    // The drag in progress moved the strip by `translation` from where it was pressed.
    void dragMoved(QPointF translation);
    void dragEnded(QPointF translation);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followState();
    bool trackDrag(QEvent* event);

    std::shared_ptr<MarkupState> m_state;
    std::map<MarkupMode, MarkupStyledButton*> m_toolButtons;
    std::map<MarkupColor, QWidget*> m_swatches;
    QComboBox* m_sizePicker = nullptr;
    QPointF m_pressGlobal;
    bool m_pressed = false;
    bool m_dragging = false;
};

// One ink swatch: a 14-point circle of the colour with a 2-point ring inside its edge, accent when chosen.
class MarkupColorSwatch : public QWidget {
    Q_OBJECT

public:
    MarkupColorSwatch(std::shared_ptr<MarkupState> state, MarkupColor color, QWidget* parent);
    QColor ringColor() const;
    QSize sizeHint() const override { return {16, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<MarkupState> m_state;
    MarkupColor m_color;
};
