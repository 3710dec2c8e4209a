#pragma once

#include "MarkupSendSheet.h"
#include "MarkupState.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSizeF>

#include <memory>

class MarkupAnnotationBubble;
class MarkupCanvas;
class MarkupInputView;
class MarkupToolbar;
class QWidget;

// Covers a host widget with the markup layers while the overlay is active: the stroke canvas, the input view
// (drawing tools only), one card per note and the floating toolbar; over those, while the send sheet is up, a
// dark backdrop and the sheet. The layers are children of the host laid over its content, so in the select
// tool every click outside the cards and the toolbar reaches the content. One state per overlay, created
// here; the overlay whose host was shown last (each time it is shown) becomes MarkupState::shared. While the
// overlay is on, the undo key (Ctrl+Z) anywhere in the host's window undoes the markup, even where the host
// has its own Undo on that key (a text field that undoes its own typing keeps the key); while it is off the
// key is the host's. GUI thread only.
class MarkupOverlay : public QObject {
    Q_OBJECT

public:
    explicit MarkupOverlay(QWidget* host);
    ~MarkupOverlay() override;

    const std::shared_ptr<MarkupState>& state() const { return m_state; }
    QWidget* host() const { return m_host; }
    MarkupToolbar* toolbar() const { return m_toolbar; }
    MarkupSendSheet* sendSheet() const { return m_sheet; }
    MarkupAnnotationBubble* bubble(qint64 noteId) const { return m_bubbles.value(noteId); }
    QSizeF toolbarOffset() const { return m_toolbarOffset; }

    // The overlay whose host holds `widget` (or the keyboard focus when null); nullptr when none does.
    static MarkupOverlay* containing(QWidget* widget);

    // The toolbar's width on an overlay `overlayWidth` wide: min(W - 40, 640), never below zero.
    static double toolbarWidth(double overlayWidth);
    // Where a drag of `translation` leaves the committed offset on a W x H overlay: the centre stays 40 points
    // inside the sides (the left bound wins below 80 points) and between 10 above home and 4 below the bottom.
    static QSizeF clampedToolbarOffset(QSizeF offset, QPointF translation, QSizeF overlaySize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sync();
    void layoutLayers();
    // Returns whether a card was added (the layers then need their order back).
    bool syncBubbles();
    void placeToolbar();
    void raiseLayers();
    // Takes the undo key for the markup: claims its shortcut override, then undoes on the key press.
    bool filterUndoKey(QObject* watched, QEvent* event);

    QWidget* m_host;
    std::shared_ptr<MarkupState> m_state;
    MarkupCanvas* m_canvas = nullptr;
    MarkupInputView* m_input = nullptr;
    MarkupToolbar* m_toolbar = nullptr;
    QWidget* m_backdrop = nullptr;
    QPointer<MarkupSendSheet> m_sheet;
    QHash<qint64, MarkupAnnotationBubble*> m_bubbles;
    QSizeF m_toolbarOffset{0, 0};
    QPointF m_toolbarDrag;
    bool m_wasActive = true;
    bool m_raising = false;
    bool m_askingReceiver = false;
    bool m_undoKeyClaimed = false;
};

// Lays the markup overlay over `host` and returns it (owned by the host).
MarkupOverlay* markupOverlay(QWidget* host);
