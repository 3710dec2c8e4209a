#include "MarkupSendSheet.h"

#include "MarkupButtonStyles.h"
#include "OstrelSymbolPainter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kSheetWidth = 540;
constexpr double kCornerRadius = 7;

QLabel* line(const QString& text, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(MarkupPalette::monospace(10));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// The file the save writes, with the home folder written as "~" (the desktop's documents folder need not be
// ~/Documents).
QString shownPath(const QString& path)
{
    const QString home = QDir::homePath();
    if (path.startsWith(home + QLatin1Char('/'))) {
        return QLatin1Char('~') + path.mid(home.size());
    }
    return path;
}

} // namespace

MarkupSendSheet::MarkupSendSheet(std::shared_ptr<MarkupState> state, QWidget* parent)
    : QWidget(parent), m_state(std::move(state)), m_briefText(m_state->buildBrief())
{
    setObjectName(QStringLiteral("markupSendSheet"));
    setFixedWidth(kSheetWidth);

    m_titleBar = new QWidget(this);
    auto* titleLayout = new QHBoxLayout(m_titleBar);
    titleLayout->setContentsMargins(13, 9, 13, 9);
    auto* title = new QLabel(QStringLiteral("FEEDBACK BRIEF"), m_titleBar);
    title->setFont(MarkupPalette::monospace(10, QFont::Medium, 1.2));
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, Qt::black);
    title->setPalette(titlePalette);
    auto* close = new QToolButton(m_titleBar);
    close->setObjectName(QStringLiteral("markupSheetClose"));
    close->setAccessibleName(tr("Close"));
    close->setIcon(ostrel::OstrelSymbolPainter::icon(u"xmark", Qt::black, 11));
    close->setIconSize(QSize(11, 11));
    close->setAutoRaise(true);
    close->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(close, &QToolButton::clicked, this, [state = m_state] { state->setShowSendSheet(false); });
    titleLayout->addWidget(title);
    titleLayout->addStretch(1);
    titleLayout->addWidget(close);

    auto* content = new QWidget(this);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(14, 14, 14, 14);
    contentLayout->setSpacing(9);
    QLabel* explanation = line(QStringLiteral("Review before saving. File saves to %1 \u2014 tell Quenby "
                                              "\"markup ready\" in the terminal.")
                                   .arg(shownPath(MarkupState::feedbackFilePath())),
                               MarkupPalette::grey(0.4), content);
    explanation->setObjectName(QStringLiteral("markupSheetExplanation"));
    contentLayout->addWidget(explanation);

    m_brief = new QPlainTextEdit(content);
    m_brief->setObjectName(QStringLiteral("markupBrief"));
    // Selectable and scrollable, but what is copied is always the brief as built.
    m_brief->setReadOnly(true);
    m_brief->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_brief->setPlainText(m_briefText);
    m_brief->setFont(MarkupPalette::monospace(10));
    m_brief->setFixedHeight(240 + 20);
    // The scroll bar is drawn like the box it sits in (the platform's own would be light on a light desktop):
    // a thin grey handle on the box's dark ground.
    m_brief->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 3px; padding: 10px; }"
                       "QScrollBar { background: %1; border: none; }"
                       "QScrollBar:vertical { width: 8px; }"
                       "QScrollBar:horizontal { height: 8px; }"
                       "QScrollBar::handle { background: %4; border-radius: 3px; }"
                       "QScrollBar::handle:hover { background: %5; }"
                       "QScrollBar::handle:vertical { min-height: 24px; margin: 0 1px; }"
                       "QScrollBar::handle:horizontal { min-width: 24px; margin: 1px 0; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(MarkupPalette::grey(0.055).name(), MarkupPalette::grey(0.82).name(),
                 MarkupPalette::grey(0.17).name(), MarkupPalette::grey(0.25).name(),
                 MarkupPalette::grey(0.33).name()));
    contentLayout->addWidget(m_brief);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* copy = new MarkupStyledButton(QStringLiteral("copy"), MarkupStyledButton::Style::sheetSecondary, content);
    copy->setObjectName(QStringLiteral("markupCopy"));
    connect(copy, &QAbstractButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_briefText, QClipboard::Clipboard); });
    m_saveButton =
        new MarkupStyledButton(QStringLiteral("save to file"), MarkupStyledButton::Style::sheetPrimary, content);
    m_saveButton->setObjectName(QStringLiteral("markupSave"));
    connect(m_saveButton, &QAbstractButton::clicked, this, &MarkupSendSheet::save);
    buttons->addWidget(copy);
    buttons->addWidget(m_saveButton);
    contentLayout->addLayout(buttons);

    m_confirmation = line(QStringLiteral("saved \u2014 tell Quenby \"markup ready\" in terminal"),
                          MarkupPalette::accent(), content);
    m_confirmation->setObjectName(QStringLiteral("markupSavedLine"));
    m_confirmation->setAlignment(Qt::AlignCenter);
    m_confirmation->hide();
    contentLayout->addWidget(m_confirmation);
    m_failure = line(QString(), QColor::fromRgbF(1.0f, 0.4f, 0.4f), content);
    m_failure->setObjectName(QStringLiteral("markupSaveFailure"));
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_failure->hide();
    contentLayout->addWidget(m_failure);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_titleBar);
    layout->addWidget(content);

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 204));
    shadow->setBlurRadius(80);
    shadow->setOffset(0, 24);
    setGraphicsEffect(shadow);
    adjustSize();
}

void MarkupSendSheet::save()
{
    const MarkupState::SaveResult result = m_state->saveFeedback();
    m_saved = result.saved;
    if (result.saved) {
        m_saveButton->setText(QStringLiteral("saved"));
        m_failure->hide();
        m_confirmation->show();
    } else {
        m_failure->setText(QStringLiteral("not saved \u2014 %1").arg(result.error));
        m_failure->show();
        m_confirmation->setVisible(false);
        m_saveButton->setText(QStringLiteral("save to file"));
    }
    m_saveButton->updateGeometry();
    adjustSize();
}

void MarkupSendSheet::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    painter.setClipPath(panel);
    painter.fillRect(rect(), MarkupPalette::grey(0.086));
    painter.fillRect(QRect(0, 0, width(), m_titleBar->height()), MarkupPalette::accent());
    painter.setClipping(false);
    painter.setPen(QPen(MarkupPalette::grey(0.17), 1));
    painter.drawPath(panel);
}
