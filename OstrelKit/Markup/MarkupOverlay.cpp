#include "MarkupOverlay.h"

#include "MarkupAnnotationBubble.h"
#include "MarkupCanvas.h"
#include "MarkupInputView.h"
#include "MarkupSendSheet.h"
#include "MarkupToolbar.h"

#include <QApplication>
#include <QChildEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

// The toolbar's centre rests this far below the top edge.
constexpr double kToolbarHome = 44;
constexpr double kToolbarMaxWidth = 640;

// The dimmed backdrop behind the send sheet; a click on it closes the sheet.
class MarkupBackdrop : public QWidget {
public:
    MarkupBackdrop(std::shared_ptr<MarkupState> state, QWidget* parent) : QWidget(parent), m_state(std::move(state))
    {
        setObjectName(QStringLiteral("markupBackdrop"));
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 0, 0, 191)); }
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        m_state->setShowSendSheet(false);
    }

private:
    std::shared_ptr<MarkupState> m_state;
};

} // namespace

MarkupOverlay* markupOverlay(QWidget* host)
{
    return new MarkupOverlay(host);
}

MarkupOverlay::MarkupOverlay(QWidget* host)
    : QObject(host), m_host(host), m_state(std::make_shared<MarkupState>())
{
    setObjectName(QStringLiteral("markupOverlay"));
    m_canvas = new MarkupCanvas(m_state, host);
    m_input = new MarkupInputView(m_state, host);
    m_toolbar = new MarkupToolbar(m_state, host);
    m_backdrop = new MarkupBackdrop(m_state, host);
    connect(m_toolbar, &MarkupToolbar::dragMoved, this, [this](QPointF translation) {
        m_toolbarDrag = translation;
        placeToolbar();
    });
    connect(m_toolbar, &MarkupToolbar::dragEnded, this, [this](QPointF translation) {
        m_toolbarOffset = clampedToolbarOffset(m_toolbarOffset, translation, QSizeF(m_host->size()));
        m_toolbarDrag = {};
        placeToolbar();
    });
    connect(m_state.get(), &MarkupState::changed, this, &MarkupOverlay::sync);
    host->installEventFilter(this);
    // The undo key reaches the overlay before the host's shortcuts see it (see filterUndoKey).
    qApp->installEventFilter(this);
    if (host->isVisible()) {
        MarkupState::shared = m_state;
    }
    layoutLayers();
    sync();
}

MarkupOverlay::~MarkupOverlay()
{
    if (m_host) {
        m_host->removeEventFilter(this);
    }
    if (qApp) {
        qApp->removeEventFilter(this);
    }
}

MarkupOverlay* MarkupOverlay::containing(QWidget* widget)
{
    for (QWidget* w = widget ? widget : QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (auto* overlay = w->findChild<MarkupOverlay*>(QString(), Qt::FindDirectChildrenOnly)) {
            return overlay;
        }
    }
    return nullptr;
}

double MarkupOverlay::toolbarWidth(double overlayWidth)
{
    return std::max(0.0, std::min(overlayWidth - 40, kToolbarMaxWidth));
}

QSizeF MarkupOverlay::clampedToolbarOffset(QSizeF offset, QPointF translation, QSizeF overlaySize)
{
    const double w = overlaySize.width();
    const double h = overlaySize.height();
    const double x = std::max(std::min(offset.width() + translation.x(), w / 2 - 40), 40 - w / 2);
    const double y = std::max(std::min(offset.height() + translation.y(), h - 40), -10.0);
    return {x, y};
}

bool MarkupOverlay::filterUndoKey(QObject* watched, QEvent* event)
{
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !m_state->isActive() || !key->matches(QKeySequence::Undo) || !m_host->isVisible() ||
        widget->window() != m_host->window()) {
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        if (!m_undoKeyClaimed) {
            return false;
        }
        m_undoKeyClaimed = false;
        m_state->undo();
        return true;
    }
    // A shortcut override: let the focused widget say first whether it wants the key itself (a note's text or
    // a host's text field undoes its own typing); otherwise claim it, so Qt delivers it as a key press instead
    // of looking for a shortcut (where a host's own Undo on the same key would make it ambiguous and neither
    // would fire).
    if (m_askingReceiver) {
        return false;
    }
    QKeyEvent ask(QEvent::ShortcutOverride, key->key(), key->modifiers(), key->nativeScanCode(),
                  key->nativeVirtualKey(), key->nativeModifiers(), key->text(), key->isAutoRepeat(),
                  key->count());
    ask.setAccepted(false);
    m_askingReceiver = true;
    QCoreApplication::sendEvent(widget, &ask);
    m_askingReceiver = false;
    m_undoKeyClaimed = !ask.isAccepted();
    event->accept();
    return true;
}

bool MarkupOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (filterUndoKey(watched, event)) {
            return true;
        }
    }
    if (watched == m_host) {
        if (event->type() == QEvent::Show) {
            // The overlay shown last is the one the menu command acts on when no overlay has the focus.
            MarkupState::shared = m_state;
        } else if (event->type() == QEvent::Resize) {
            layoutLayers();
        } else if (event->type() == QEvent::ChildAdded && !m_raising) {
            // Content added to the host later goes beneath the markup layers.
            QTimer::singleShot(0, this, &MarkupOverlay::raiseLayers);
        }
    }
    return QObject::eventFilter(watched, event);
}

void MarkupOverlay::raiseLayers()
{
    m_raising = true;
    m_canvas->raise();
    m_input->raise();
    for (MarkupAnnotationBubble* bubble : std::as_const(m_bubbles)) {
        bubble->raise();
    }
    m_toolbar->raise();
    m_backdrop->raise();
    if (m_sheet) {
        m_sheet->raise();
    }
    m_raising = false;
}

void MarkupOverlay::layoutLayers()
{
    const QRect area = m_host->rect();
    m_canvas->setGeometry(area);
    m_input->setGeometry(area);
    m_backdrop->setGeometry(area);
    if (m_sheet) {
        m_sheet->adjustSize();
        m_sheet->move((area.width() - m_sheet->width()) / 2, std::max(0, (area.height() - m_sheet->height()) / 2));
    }
    for (MarkupAnnotationBubble* bubble : std::as_const(m_bubbles)) {
        bubble->sync(MarkupAnnotationBubble::cardWidth(area.width()));
    }
    placeToolbar();
}

void MarkupOverlay::placeToolbar()
{
    const double w = m_host->width();
    const int width = int(toolbarWidth(w));
    m_toolbar->setFixedWidth(width);
    m_toolbar->setVisible(m_state->isActive() && width > 0);
    const double centreX = w * 0.5 + m_toolbarOffset.width() + m_toolbarDrag.x();
    const double centreY = kToolbarHome + m_toolbarOffset.height() + m_toolbarDrag.y();
    m_toolbar->move(int(centreX - width / 2.0), int(centreY - m_toolbar->height() / 2.0));
}

bool MarkupOverlay::syncBubbles()
{
    bool added = false;
    QSet<qint64> present;
    const double cardWidth = MarkupAnnotationBubble::cardWidth(m_host->width());
    for (const MarkupAnnotation& note : m_state->annotations()) {
        present.insert(note.id);
        MarkupAnnotationBubble* bubble = m_bubbles.value(note.id);
        if (!bubble) {
            bubble = new MarkupAnnotationBubble(m_state, note.id, m_host);
            m_bubbles.insert(note.id, bubble);
            bubble->show();
            added = true;
        }
        bubble->sync(cardWidth);
        bubble->setVisible(m_state->isActive());
    }
    for (auto it = m_bubbles.begin(); it != m_bubbles.end();) {
        if (!present.contains(it.key())) {
            // Later: the card's own delete button may be the one that asked for this.
            it.value()->hide();
            it.value()->deleteLater();
            it = m_bubbles.erase(it);
        } else {
            ++it;
        }
    }
    return added;
}

void MarkupOverlay::sync()
{
    const bool active = m_state->isActive();
    if (m_wasActive && !active) {
        // Switched off: the toolbar comes back home next time.
        m_toolbarOffset = QSizeF(0, 0);
        m_toolbarDrag = {};
    }
    m_wasActive = active;
    m_canvas->setVisible(active);
    m_input->setVisible(active && m_state->mode() != MarkupMode::select);
    // Layers are put back in order only when one was added, not on every point of a stroke.
    bool added = syncBubbles();
    placeToolbar();

    if (m_state->showSendSheet() && !m_sheet) {
        added = true;
        m_sheet = new MarkupSendSheet(m_state, m_host);
        m_backdrop->show();
        m_sheet->show();
        layoutLayers();
    } else if (!m_state->showSendSheet() && m_sheet) {
        m_sheet->hide();
        m_sheet->deleteLater();
        m_sheet = nullptr;
    }
    m_backdrop->setVisible(m_state->showSendSheet());
    if (added) {
        raiseLayers();
    }
}
