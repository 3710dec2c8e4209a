#include "DropCircle.h"

#include "BusyIndicator.h"
#include "ElidedLabel.h"
#include "Symbols.h"
#include "WindowStyle.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tovarine {

namespace {

using WindowStyle::Face;

constexpr qreal kDashOnPx = 10.0;
constexpr qreal kDashOffPx = 8.0;
constexpr int kBarSteps = 1000;
// As many lines as the circle holds under the busy indicator.
constexpr int kPreparingMaximumLines = 10;
constexpr int kFailedVisibleLines = 4;

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, double opacity,
                  QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(WindowStyle::css(color, opacity)));
    return label;
}

QPushButton* makePlainButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(WindowStyle::font(Face::system, 12));
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; background: transparent; "
                                         "padding: 2px 6px; } QPushButton:pressed { color: white; }")
                              .arg(WindowStyle::css(Qt::white, 0.7)));
    return button;
}

QVBoxLayout* pageLayout(QWidget* page, int spacing)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    return layout;
}

// Adds a button with 4 px of extra space above it.
void addButton(QVBoxLayout* layout, QPushButton* button)
{
    layout->addSpacing(4);
    layout->addWidget(button, 0, Qt::AlignHCenter);
}

} // namespace

DropCircle::DropCircle(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kSizePx, kSizePx);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kContentPaddingPx, kContentPaddingPx, kContentPaddingPx, kContentPaddingPx);
    m_pages = new QStackedWidget(this);
    m_pages->setStyleSheet(QStringLiteral("QStackedWidget { background: transparent; }"));
    layout->addWidget(m_pages);
    m_idlePage = buildIdlePage();
    m_preparingPage = buildPreparingPage();
    m_reconstructingPage = buildReconstructingPage();
    m_failedPage = buildFailedPage();
    for (QWidget* page : {m_idlePage, m_preparingPage, m_reconstructingPage, m_failedPage}) {
        m_pages->addWidget(page);
    }
    setState(DropReconstruction::State::idle());
}

QWidget* DropCircle::buildIdlePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("idlePage"));
    auto* layout = pageLayout(page, 12);
    auto* title = makeLabel(tr("Drop a capture"), WindowStyle::font(Face::serif, 22, QFont::Medium),
                            Qt::white, 1.0, page);
    title->setObjectName(QStringLiteral("idleTitle"));
    layout->addWidget(title);
    auto* paragraph =
        makeLabel(tr("Send a package (zip) from tovarine on the phone to this computer and drag it "
                     "or a capture folder into this circle. Reconstruction will begin immediately "
                     "based on the current settings."),
                  WindowStyle::font(Face::system, 13), Qt::white, 0.6, page);
    paragraph->setObjectName(QStringLiteral("idleParagraph"));
    paragraph->setWordWrap(true);
    layout->addWidget(paragraph);
    m_detailLine =
        makeLabel(QString(), WindowStyle::font(Face::monospaced, 11), WindowStyle::kYellow, 0.7, page);
    m_detailLine->setObjectName(QStringLiteral("idleDetail"));
    layout->addSpacing(2);
    layout->addWidget(m_detailLine);
    layout->addStretch(1);
    return page;
}

QWidget* DropCircle::buildPreparingPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("preparingPage"));
    auto* layout = pageLayout(page, 12);
    auto* busy = new BusyIndicator(page);
    busy->setObjectName(QStringLiteral("preparingIndicator"));
    layout->addWidget(busy, 0, Qt::AlignHCenter);
    // The message names the dropped item; a long name without spaces still wraps inside the circle.
    m_preparingMessage = new ElidedLabel(kPreparingMaximumLines, page);
    m_preparingMessage->setObjectName(QStringLiteral("preparingMessage"));
    m_preparingMessage->setFont(WindowStyle::font(Face::system, 13));
    m_preparingMessage->setColor(WindowStyle::withOpacity(Qt::white, 0.7));
    layout->addWidget(m_preparingMessage);
    layout->addStretch(1);
    return page;
}

QWidget* DropCircle::buildReconstructingPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("reconstructingPage"));
    auto* layout = pageLayout(page, 10);
    auto* title = makeLabel(tr("Reconstructing"), WindowStyle::font(Face::serif, 22, QFont::Medium),
                            Qt::white, 1.0, page);
    title->setObjectName(QStringLiteral("reconstructingTitle"));
    layout->addWidget(title);
    // A monospaced face keeps the digits from jumping as the number changes.
    m_percent = makeLabel(QString(), WindowStyle::font(Face::monospaced, 34, QFont::DemiBold),
                          WindowStyle::kYellow, 1.0, page);
    m_percent->setObjectName(QStringLiteral("reconstructingPercent"));
    layout->addWidget(m_percent);
    m_bar = new QProgressBar(page);
    m_bar->setObjectName(QStringLiteral("reconstructingBar"));
    m_bar->setRange(0, kBarSteps);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(200, 6);
    m_bar->setStyleSheet(QStringLiteral("QProgressBar { background: rgba(255, 255, 255, 40); border: none; "
                                        "border-radius: 3px; } QProgressBar::chunk { background: %1; "
                                        "border-radius: 3px; }")
                             .arg(WindowStyle::css(WindowStyle::kYellow)));
    layout->addWidget(m_bar, 0, Qt::AlignHCenter);
    m_reconstructingMessage = new ElidedLabel(2, page);
    m_reconstructingMessage->setObjectName(QStringLiteral("reconstructingMessage"));
    m_reconstructingMessage->setFont(WindowStyle::font(Face::system, 11));
    m_reconstructingMessage->setColor(WindowStyle::withOpacity(Qt::white, 0.55));
    layout->addWidget(m_reconstructingMessage);
    auto* cancel = makePlainButton(tr("Cancel"), page);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, &QPushButton::clicked, this, &DropCircle::cancelClicked);
    addButton(layout, cancel);
    layout->addStretch(1);
    return page;
}

QWidget* DropCircle::buildFailedPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("failedPage"));
    auto* layout = pageLayout(page, 10);
    auto* symbol = new QLabel(page);
    symbol->setObjectName(QStringLiteral("failedSymbol"));
    symbol->setPixmap(Symbols::warningTriangle(26, WindowStyle::withOpacity(WindowStyle::kRed, 0.8)));
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);
    auto* title = makeLabel(tr("Couldn't reconstruct"), WindowStyle::font(Face::serif, 18, QFont::Medium),
                            Qt::white, 1.0, page);
    title->setObjectName(QStringLiteral("failedTitle"));
    layout->addWidget(title);
    // Four lines of the message show; a longer one (unzip's text with its paths) scrolls within them, can be
    // selected and copied, and shows whole in the tooltip.
    m_failedMessage = makeLabel(QString(), WindowStyle::font(Face::system, 12), Qt::white, 0.6, page);
    m_failedMessage->setObjectName(QStringLiteral("failedMessage"));
    m_failedMessage->setWordWrap(true);
    m_failedMessage->setTextFormat(Qt::PlainText);
    m_failedMessage->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_failedScroll = new QScrollArea(page);
    m_failedScroll->setObjectName(QStringLiteral("failedMessageScroll"));
    m_failedScroll->setWidget(m_failedMessage);
    m_failedScroll->setWidgetResizable(true);
    m_failedScroll->setFrameShape(QFrame::NoFrame);
    m_failedScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_failedScroll->setStyleSheet(
        QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
                       "QScrollBar:vertical { background: transparent; width: 6px; margin: 0; border: none; }"
                       "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 70); border-radius: "
                       "3px; min-height: 16px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"));
    m_failedScroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(m_failedScroll);
    auto* tryAgain = makePlainButton(tr("Try again"), page);
    tryAgain->setObjectName(QStringLiteral("tryAgainButton"));
    connect(tryAgain, &QPushButton::clicked, this, &DropCircle::tryAgainClicked);
    addButton(layout, tryAgain);
    layout->addStretch(1);
    return page;
}

void DropCircle::setState(const DropReconstruction::State& state)
{
    using Kind = DropReconstruction::State::Kind;
    m_state = state;
    switch (state.kind) {
    case Kind::preparing:
        m_preparingMessage->setText(state.message);
        m_pages->setCurrentWidget(m_preparingPage);
        break;
    case Kind::reconstructing: {
        m_percent->setText(percentText(state.fraction));
        const double fraction = std::isfinite(state.fraction) ? std::clamp(state.fraction, 0.0, 1.0) : 0.0;
        m_bar->setValue(int(std::lround(fraction * kBarSteps)));
        m_reconstructingMessage->setText(state.message);
        m_pages->setCurrentWidget(m_reconstructingPage);
        break;
    }
    case Kind::failed:
        m_failedMessage->setText(state.message);
        m_failedMessage->setToolTip(QStringLiteral("<p>") + state.message.toHtmlEscaped() +
                                    QStringLiteral("</p>"));
        fitFailedMessage();
        m_failedScroll->verticalScrollBar()->setValue(0);
        m_pages->setCurrentWidget(m_failedPage);
        break;
    case Kind::idle:
    case Kind::done:
        m_pages->setCurrentWidget(m_idlePage);
        break;
    }
    update();
}

void DropCircle::fitFailedMessage()
{
    // The message's own height, at most four lines; the circle's width is fixed, so this holds until the
    // next message. A 6 px margin leaves room for the slim scroll bar.
    const int width = kSizePx - 2 * kContentPaddingPx - 6;
    const int lines = QFontMetrics(m_failedMessage->font()).lineSpacing() * kFailedVisibleLines;
    m_failedScroll->setFixedHeight(std::min(m_failedMessage->heightForWidth(width), lines));
}

void DropCircle::setTargeted(bool targeted)
{
    if (targeted != m_targeted) {
        m_targeted = targeted;
        update();
    }
}

void DropCircle::setDetailWords(const QString& words)
{
    m_detailLine->setText(tr("reconstructing at %1").arg(words));
}

QColor DropCircle::outlineColor() const
{
    if (m_targeted) {
        return WindowStyle::kCyan;
    }
    if (m_state.kind == DropReconstruction::State::Kind::failed) {
        return WindowStyle::withOpacity(WindowStyle::kRed, 0.7);
    }
    return WindowStyle::kYellow;
}

qreal DropCircle::outlineWidthPx() const
{
    return m_targeted ? 3.0 : 2.0;
}

QString DropCircle::percentText(double fraction)
{
    const double percent = std::isfinite(fraction) ? std::trunc(fraction * 100.0) : 0.0;
    return QString::number(static_cast<long long>(percent)) + QLatin1Char('%');
}

void DropCircle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = outlineWidthPx();
    QPen pen(outlineColor(), width, Qt::CustomDashLine, Qt::RoundCap);
    // Qt measures dashes in line widths.
    pen.setDashPattern({kDashOnPx / width, kDashOffPx / width});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = width / 2.0;
    painter.drawEllipse(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
}

} // namespace tovarine
