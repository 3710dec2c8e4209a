#include "MarkupToolbar.h"

#include "MarkupButtonStyles.h"

#include <QComboBox>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kBarHeight = 44;

// A standard divider as it shows on the bar's dark surface: a light line at opacity 0.3, drawn in the bar's own
// colour, not the host's text colour (a light host's dark text would vanish on the bar).
QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("markupDivider"));
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, MarkupPalette::grey(0.82));
    line->setPalette(palette);
    line->setFixedHeight(22);
    auto* opacity = new QGraphicsOpacityEffect(line);
    opacity->setOpacity(0.3);
    line->setGraphicsEffect(opacity);
    return line;
}

QLabel* caption(const QString& text, double pointSize, double tracking, QWidget* parent)
{
    auto* label = new QLabel(text.toUpper(), parent);
    label->setFont(MarkupPalette::monospace(pointSize, pointSize > 8.5 ? QFont::Medium : QFont::Normal, tracking));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, MarkupPalette::grey(0.33));
    label->setPalette(palette);
    return label;
}

} // namespace

MarkupColorSwatch::MarkupColorSwatch(std::shared_ptr<MarkupState> state, MarkupColor color, QWidget* parent)
    : QWidget(parent), m_state(std::move(state)), m_color(color)
{
    setObjectName(QStringLiteral("markupSwatch-") + rawValue(color));
    setFixedSize(sizeHint());
    setAccessibleName(rawValue(color));
}

QColor MarkupColorSwatch::ringColor() const
{
    return m_state->drawColor() == m_color ? MarkupPalette::accent() : MarkupPalette::grey(0.2);
}

void MarkupColorSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(1, 0, 14, 14);
    painter.setPen(Qt::NoPen);
    painter.setBrush(displayColor(m_color));
    painter.drawEllipse(circle);
    // The ring lies inside the circle's edge: a 2-point line centred 1 point in.
    painter.setPen(QPen(ringColor(), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
}

void MarkupColorSwatch::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_state->setDrawColor(m_color);
    }
}

MarkupToolbar::MarkupToolbar(std::shared_ptr<MarkupState> state, QWidget* parent)
    : QWidget(parent), m_state(std::move(state))
{
    setObjectName(QStringLiteral("markupToolbar"));
    setFixedHeight(kBarHeight);
    setCursor(Qt::ArrowCursor);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(2);

    QLabel* title = caption(QStringLiteral("markup"), 9, 1.5, this);
    title->setContentsMargins(6, 0, 6, 0);
    layout->addWidget(title);
    layout->addWidget(divider(this));

    for (const MarkupMode mode : kAllMarkupModes) {
        auto* button = new MarkupStyledButton(rawValue(mode), MarkupStyledButton::Style::tool, this);
        button->setObjectName(QStringLiteral("markupTool-") + rawValue(mode));
        connect(button, &QAbstractButton::clicked, this, [this, mode] { m_state->setMode(mode); });
        m_toolButtons.emplace(mode, button);
        layout->addWidget(button);
    }
    layout->addWidget(divider(this));

    QLabel* colorLabel = caption(QStringLiteral("color"), 8, 1, this);
    colorLabel->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(colorLabel);
    for (const MarkupColor color : kAllMarkupColors) {
        auto* swatch = new MarkupColorSwatch(m_state, color, this);
        m_swatches.emplace(color, swatch);
        layout->addWidget(swatch);
    }

    m_sizePicker = new QComboBox(this);
    m_sizePicker->setObjectName(QStringLiteral("markupSizePicker"));
    m_sizePicker->setAccessibleName(tr("Line width"));
    m_sizePicker->setFixedWidth(60);
    m_sizePicker->setFont(MarkupPalette::monospace(9));
    // Drawn like the bar it sits on, not as the platform's (light) combo box: a dark field with a grey
    // outline, and a dark list with the accent on the entry under the pointer.
    m_sizePicker->setStyleSheet(
        QStringLiteral("QComboBox { background: %1; color: %2; border: 1px solid %3; border-radius: 3px;"
                       " padding: 1px 4px 1px 6px; }"
                       "QComboBox:hover { border-color: %4; }"
                       "QComboBox QAbstractItemView { background: %5; color: %2; border: 1px solid %3;"
                       " outline: none; selection-background-color: %6; selection-color: black; }")
            .arg(MarkupPalette::grey(0.1).name(), MarkupPalette::grey(0.7).name(),
                 MarkupPalette::grey(0.2).name(), MarkupPalette::grey(0.3).name(),
                 MarkupPalette::grey(0.086).name(), MarkupPalette::accent().name()));
    for (const MarkupStrokeSize size : kAllMarkupStrokeSizes) {
        m_sizePicker->addItem(label(size), rawValue(size));
    }
    connect(m_sizePicker, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < int(kAllMarkupStrokeSizes.size())) {
            m_state->setStrokeSize(kAllMarkupStrokeSizes[size_t(index)]);
        }
    });
    layout->addWidget(m_sizePicker);
    layout->addWidget(divider(this));

    auto* undo = new MarkupStyledButton(QStringLiteral("undo"), MarkupStyledButton::Style::tool, this);
    undo->setObjectName(QStringLiteral("markupUndo"));
    // The undo key itself is the overlay's (MarkupOverlay), so that it wins over a host's own Undo.
    undo->setToolTip(tr("Undo the last stroke (%1)")
                         .arg(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText)));
    connect(undo, &QAbstractButton::clicked, this, [this] { m_state->undo(); });
    layout->addWidget(undo);

    auto* clear = new MarkupStyledButton(QStringLiteral("clear"), MarkupStyledButton::Style::tool, this);
    clear->setObjectName(QStringLiteral("markupClear"));
    clear->setTextColor(QColor::fromRgbF(1.0f, 0.4f, 0.4f));
    connect(clear, &QAbstractButton::clicked, this, [this] { m_state->clearAll(); });
    layout->addWidget(clear);

    layout->addStretch(1);

    auto* send = new MarkupStyledButton(QStringLiteral("send to quenby"), MarkupStyledButton::Style::send, this);
    send->setObjectName(QStringLiteral("markupSend"));
    send->setLabelFont(MarkupPalette::monospace(10, QFont::Medium));
    connect(send, &QAbstractButton::clicked, this, [this] { m_state->setShowSendSheet(true); });
    layout->addWidget(send);

    // Drags that start on a control move the strip too; the control still gets its own press.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    connect(m_state.get(), &MarkupState::changed, this, &MarkupToolbar::followState);
    followState();
}

void MarkupToolbar::followState()
{
    for (const auto& [mode, button] : m_toolButtons) {
        button->setActive(m_state->mode() == mode);
    }
    for (const auto& [color, swatch] : m_swatches) {
        swatch->update();
    }
    const auto current = std::find(kAllMarkupStrokeSizes.begin(), kAllMarkupStrokeSizes.end(), m_state->strokeSize());
    m_sizePicker->setCurrentIndex(int(current - kAllMarkupStrokeSizes.begin()));
}

void MarkupToolbar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), MarkupPalette::grey(0.067));
    painter.fillRect(QRect(0, height() - 1, width(), 1), MarkupPalette::grey(0.17));
}

void MarkupToolbar::mousePressEvent(QMouseEvent* event)
{
    // The strip's own gaps take the press, so it never reaches the content beneath.
    trackDrag(event);
    event->accept();
}

void MarkupToolbar::mouseMoveEvent(QMouseEvent* event)
{
    trackDrag(event);
    event->accept();
}

void MarkupToolbar::mouseReleaseEvent(QMouseEvent* event)
{
    trackDrag(event);
    event->accept();
}

bool MarkupToolbar::trackDrag(QEvent* event)
{
    switch (m_drag.feed(event)) {
    case MarkupDragTracker::Step::moved: emit dragMoved(m_drag.translation()); return true;
    case MarkupDragTracker::Step::ended: emit dragEnded(m_drag.translation()); return true;
    default: return false;
    }
}

bool MarkupToolbar::eventFilter(QObject* watched, QEvent* event)
{
    if (trackDrag(event)) {
        // A drag that began on a button does not also click it.
        if (auto* button = qobject_cast<QAbstractButton*>(watched)) {
            button->setDown(false);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
