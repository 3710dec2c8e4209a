#pragma once

#include "MarkupState.h"

#include <QFrame>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QToolButton;

// One note's card: a yellow header reading "NOTE #<number>" with a delete button (dragging the header moves the
// note), and the note's text, 1 to 4 lines. The card is centred on the note's point and follows the note by its
// number, so removing another note never changes which note a card shows. GUI thread only.
class MarkupAnnotationBubble : public QFrame {
    Q_OBJECT

public:
    MarkupAnnotationBubble(std::shared_ptr<MarkupState> state, qint64 noteId, QWidget* parent);

    qint64 noteId() const { return m_noteId; }
    // Reads the note's position and text from the state and places the card, at `width` points wide.
    void sync(double width);
    QPointF dragOffset() const { return m_dragOffset; }

    // a sixth of the overlay's width, never narrower than 100 nor wider than 160
    static double cardWidth(double overlayWidth);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void fitTextHeight();

    std::shared_ptr<MarkupState> m_state;
    qint64 m_noteId;
    QWidget* m_header = nullptr;
    QLabel* m_title = nullptr;
    QToolButton* m_delete = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QPointF m_anchor;
    QPointF m_dragOffset;
    QPointF m_pressGlobal;
    bool m_pressed = false;
    bool m_dragging = false;
};
