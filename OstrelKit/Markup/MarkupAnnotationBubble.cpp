#include "MarkupAnnotationBubble.h"

#include "MarkupButtonStyles.h"
#include "OstrelSymbolPainter.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kMaxTextLines = 4;

const MarkupAnnotation* findNote(const MarkupState& state, qint64 id)
{
    for (const MarkupAnnotation& note : state.annotations()) {
        if (note.id == id) {
            return &note;
        }
    }
    return nullptr;
}
} // namespace

double MarkupAnnotationBubble::cardWidth(double overlayWidth)
{
    return std::max(std::min(overlayWidth / 6, 160.0), 100.0);
}

MarkupAnnotationBubble::MarkupAnnotationBubble(std::shared_ptr<MarkupState> state, qint64 noteId, QWidget* parent)
    : QFrame(parent), m_state(std::move(state)), m_noteId(noteId)
{
    setObjectName(QStringLiteral("markupNote%1").arg(noteId));
    // The body's dark grey comes from the style sheet: a widget with a style sheet is not filled from its
    // palette, and without it the card would show whatever lies beneath (unreadable on a light host).
    setStyleSheet(QStringLiteral("MarkupAnnotationBubble { background-color: %1; border: 1px solid %2;"
                                 " border-radius: 3px; }")
                      .arg(MarkupPalette::grey(0.1).name(), MarkupPalette::accent().name()));

    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("markupNoteHeader"));
    m_header->setAutoFillBackground(true);
    QPalette headerPalette = m_header->palette();
    headerPalette.setColor(QPalette::Window, MarkupPalette::accent());
    m_header->setPalette(headerPalette);
    m_header->setCursor(Qt::OpenHandCursor);
    m_header->installEventFilter(this);

    m_title = new QLabel(QStringLiteral("NOTE #%1").arg(noteId), m_header);
    m_title->setObjectName(QStringLiteral("markupNoteTitle"));
    m_title->setFont(MarkupPalette::monospace(7, QFont::Medium, 1.2));
    QPalette titlePalette = m_title->palette();
    titlePalette.setColor(QPalette::WindowText, Qt::black);
    m_title->setPalette(titlePalette);
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_delete = new QToolButton(m_header);
    m_delete->setObjectName(QStringLiteral("markupNoteDelete"));
    m_delete->setAutoRaise(true);
    m_delete->setIcon(ostrel::OstrelSymbolPainter::icon(u"xmark", Qt::black, 8));
    m_delete->setIconSize(QSize(8, 8));
    m_delete->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"));
    m_delete->setAccessibleName(tr("Delete note %1").arg(noteId));
    m_delete->setCursor(Qt::ArrowCursor);
    connect(m_delete, &QToolButton::clicked, this, [this] {
        // By number: whatever else was removed meanwhile, this deletes this card's own note or nothing.
        const std::shared_ptr<MarkupState> state = m_state;
        state->removeAnnotation(m_noteId);
    });

    auto* headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(5, 3, 5, 3);
    headerLayout->setSpacing(0);
    headerLayout->addWidget(m_title);
    headerLayout->addStretch(1);
    headerLayout->addWidget(m_delete);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("markupNoteText"));
    m_text->setFont(MarkupPalette::monospace(10));
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; color: %1; padding: 2px 3px; }")
                              .arg(MarkupPalette::grey(0.82).name()));
    m_text->document()->setDocumentMargin(2);
    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        fitTextHeight();
        if (const MarkupAnnotation* note = findNote(*m_state, m_noteId)) {
            m_state->updateAnnotation(m_noteId, note->x, note->y, m_text->toPlainText());
        }
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_text);

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 128));
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 3);
    setGraphicsEffect(shadow);

    if (const MarkupAnnotation* note = findNote(*m_state, m_noteId)) {
        m_text->setPlainText(note->text);
    }
    fitTextHeight();
    // A note placed by a click is ready for typing at once.
    m_text->setFocus(Qt::OtherFocusReason);
}

void MarkupAnnotationBubble::fitTextHeight()
{
    const QFontMetrics metrics(m_text->font());
    int lines = 0;
    for (QTextBlock block = m_text->document()->begin(); block.isValid(); block = block.next()) {
        lines += block.layout() && block.layout()->lineCount() > 0 ? block.layout()->lineCount() : 1;
    }
    lines = std::clamp(lines, 1, kMaxTextLines);
    m_text->setFixedHeight(lines * metrics.lineSpacing() + 12);
    adjustSize();
    place();
}

void MarkupAnnotationBubble::sync(double width)
{
    const MarkupAnnotation* note = findNote(*m_state, m_noteId);
    if (!note) {
        return;
    }
    m_anchor = QPointF(note->x, note->y);
    if (m_text->toPlainText() != note->text) {
        m_text->setPlainText(note->text);
    }
    if (this->width() != int(width)) {
        setFixedWidth(int(width));
        fitTextHeight();
    }
    place();
}

void MarkupAnnotationBubble::place()
{
    const QPointF centre = m_anchor + m_dragOffset;
    move(int(centre.x() - width() / 2.0), int(centre.y() - height() / 2.0));
}

bool MarkupAnnotationBubble::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_header) {
        return QFrame::eventFilter(watched, event);
    }
    switch (m_drag.feed(event)) {
    case MarkupDragTracker::Step::none: return QFrame::eventFilter(watched, event);
    case MarkupDragTracker::Step::pressed:
    case MarkupDragTracker::Step::held: return true;
    case MarkupDragTracker::Step::moved:
        m_dragOffset = m_drag.translation();
        place();
        return true;
    case MarkupDragTracker::Step::ended:
        m_dragOffset = {};
        // The note moves by exactly the drag, read from the state in case it changed meanwhile.
        if (const MarkupAnnotation* note = findNote(*m_state, m_noteId)) {
            m_anchor = QPointF(note->x + m_drag.translation().x(), note->y + m_drag.translation().y());
            m_state->updateAnnotation(m_noteId, m_anchor.x(), m_anchor.y(), note->text);
        }
        place();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
