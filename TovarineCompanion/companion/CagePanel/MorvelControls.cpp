#include "MorvelControls.h"

#include "CagePanelStyle.h"
#include "LineLimitedLabel.h"
#include "MorvelMacSession.h"
#include "MorvelOutput.h"
#include "PanelStyle.h"
#include "SegmentedPicker.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tovarine {

namespace {

using CagePanelStyle::Face;
using Phase = MorvelMacSession::Phase;

constexpr int kProgressSteps = 1000;
constexpr int kStatusSymbolPx = 10;

QHBoxLayout* row(QWidget* owner, int spacing)
{
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QPushButton* makeButton(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFont(CagePanelStyle::font(Face::system, 12));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(CagePanelStyle::buttonStyleSheet());
    return button;
}

// Status text: monospaced, 10 px, white at 65 %.
template <typename Label> Label* statusLabel(Label* label, const QString& objectName)
{
    label->setObjectName(objectName);
    label->setFont(CagePanelStyle::font(Face::monospaced, 10));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(CagePanelStyle::css(Qt::white, 0.65)));
    return label;
}

// A page of the status row: `content` at its top.
QWidget* topAligned(QWidget* content, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    layout->addStretch(1);
    return page;
}

QLabel* symbolLabel(const QPixmap& pixmap, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(kStatusSymbolPx, kStatusSymbolPx);
    return label;
}

// A status line of one or two lines after its symbol: the text starts at the top of the room it keeps, and
// the symbol, as high as a line of the text, sits centred on its first line.
void addStatusLine(QHBoxLayout* layout, QLabel* symbol, LineLimitedLabel* text)
{
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    symbol->setFixedHeight(std::max(kStatusSymbolPx, PanelStyle::monospacedLinePx(10)));
    layout->addWidget(symbol, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
}

} // namespace

MorvelControls::MorvelControls(MorvelMacSession& session, const QString& meshPath, const QString& resultDir,
                               UserDefaults& defaults, RevealFile reveal, QWidget* parent)
    : QWidget(parent), m_session(session), m_meshPath(meshPath), m_resultDir(resultDir), m_defaults(defaults),
      m_reveal(std::move(reveal))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(buildMainRow());
    layout->addWidget(buildPhoneRow());
    // The status row keeps the room of its tallest content (the done block) in every phase, so that nothing
    // around it moves when a fit starts, ends or fails.
    m_statusArea = new QStackedWidget(this);
    m_statusArea->setObjectName(QStringLiteral("statusArea"));
    m_statusArea->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (QWidget* content : {new QWidget(this), buildRunningRow(), buildDoneBlock(), buildFailedRow()}) {
        m_statusArea->addWidget(topAligned(content, m_statusArea));
    }
    layout->addWidget(m_statusArea);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    connect(&m_session, &MorvelMacSession::phaseChanged, this, &MorvelControls::refresh);
    connect(&m_session, &MorvelMacSession::writtenInChanged, this, &MorvelControls::refresh);
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kMorvelDetail) {
            refreshDetail();
        }
    });
    refreshDetail();
    refresh();
}

QWidget* MorvelControls::buildMainRow()
{
    auto* mainRow = new QWidget(this);
    mainRow->setObjectName(QStringLiteral("mainRow"));
    QHBoxLayout* layout = row(mainRow, 12);
    auto* title = new QLabel(QStringLiteral("morvel"), mainRow);
    title->setObjectName(QStringLiteral("morvelLabel"));
    title->setFont(CagePanelStyle::font(Face::monospaced, 11));
    title->setStyleSheet(QStringLiteral("color: %1;").arg(CagePanelStyle::css(Qt::white, 0.5)));
    layout->addWidget(title, 0, Qt::AlignVCenter);
    layout->addStretch(1);

    QStringList titles;
    for (MorvelDetail detail : MorvelDetails::kAllCases) {
        titles << MorvelDetails::title(detail);
    }
    m_picker = new SegmentedPicker(titles, mainRow);
    m_picker->setObjectName(QStringLiteral("detailPicker"));
    m_picker->setAccessibleName(tr("Detail"));
    m_picker->setToolTip(
        tr("Quads in the cage. Preview matches the phone; Standard and Fine use the whole scan. "
           "Fine can take minutes."));
    connect(m_picker, &SegmentedPicker::activated, this, [this](int index) {
        if (index >= 0 && index < int(MorvelDetails::kAllCases.size())) {
            m_defaults.setValue(SettingsKeys::kMorvelDetail,
                                MorvelDetails::rawValue(MorvelDetails::kAllCases[index]));
        }
        refreshDetail();
    });
    layout->addWidget(m_picker, 0, Qt::AlignVCenter);

    m_makeButton = makeButton(tr("Make Morvel"), QStringLiteral("makeMorvelButton"), mainRow);
    m_makeButton->setToolTip(
        tr("Fit a SubD cage to this scan, hard edges creased. Writes model_morvel.3dm and "
           ".vellacot to the result folder."));
    connect(m_makeButton, &QPushButton::clicked, this, &MorvelControls::makeMorvel);
    layout->addWidget(m_makeButton, 0, Qt::AlignVCenter);
    m_stopButton = makeButton(tr("Stop"), QStringLiteral("stopButton"), mainRow);
    connect(m_stopButton, &QPushButton::clicked, this, [this] { m_session.cancel(); });
    layout->addWidget(m_stopButton, 0, Qt::AlignVCenter);
    // Stop takes the place of Make Morvel while a fit runs: the same size, so nothing in the row moves.
    const int buttonWidth = std::max(m_makeButton->sizeHint().width(), m_stopButton->sizeHint().width());
    m_makeButton->setMinimumWidth(buttonWidth);
    m_stopButton->setMinimumWidth(buttonWidth);
    return mainRow;
}

QWidget* MorvelControls::buildPhoneRow()
{
    m_phoneRow = new QWidget(this);
    m_phoneRow->setObjectName(QStringLiteral("phoneRow"));
    QHBoxLayout* layout = row(m_phoneRow, 12);
    layout->addStretch(1);
    m_phoneText = new QLabel(m_phoneRow);
    m_phoneText->setObjectName(QStringLiteral("phoneText"));
    m_phoneText->setFont(CagePanelStyle::font(Face::system, 11));
    m_phoneText->setStyleSheet(QStringLiteral("color: %1;").arg(CagePanelStyle::css(Qt::white, 0.5)));
    layout->addWidget(m_phoneText, 0, Qt::AlignVCenter);
    m_redoButton = makeButton(tr("Redo at full detail"), QStringLiteral("redoButton"), m_phoneRow);
    connect(m_redoButton, &QPushButton::clicked, this, &MorvelControls::redo);
    layout->addWidget(m_redoButton, 0, Qt::AlignVCenter);
    return m_phoneRow;
}

QWidget* MorvelControls::buildRunningRow()
{
    m_runningRow = new QWidget(this);
    m_runningRow->setObjectName(QStringLiteral("runningRow"));
    QHBoxLayout* layout = row(m_runningRow, 8);
    m_progress = new QProgressBar(m_runningRow);
    m_progress->setObjectName(QStringLiteral("fitProgress"));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(120, 6);
    m_progress->setStyleSheet(
        QStringLiteral("QProgressBar { background: rgba(255, 255, 255, 40); border: none;"
                       " border-radius: 3px; }"
                       "QProgressBar::chunk { background: %1; border-radius: 3px; }")
            .arg(CagePanelStyle::css(CagePanelStyle::kYellow)));
    layout->addWidget(m_progress, 0, Qt::AlignVCenter);
    m_runningText = statusLabel(new QLabel(m_runningRow), QStringLiteral("runningText"));
    m_runningText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_runningText, 1, Qt::AlignVCenter);
    return m_runningRow;
}

QWidget* MorvelControls::buildDoneBlock()
{
    m_doneBlock = new QWidget(this);
    m_doneBlock->setObjectName(QStringLiteral("doneBlock"));
    auto* layout = new QVBoxLayout(m_doneBlock);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* summaryRow = new QWidget(m_doneBlock);
    QHBoxLayout* summaryLayout = row(summaryRow, 8);
    m_summaryText = statusLabel(new LineLimitedLabel(2, summaryRow), QStringLiteral("summaryText"));
    m_summaryText->setLinePitch(PanelStyle::monospacedLinePx(10));
    m_summaryText->keepRoomOfAllLines();
    addStatusLine(summaryLayout,
                  symbolLabel(CagePanelStyle::checkmarkCircle(kStatusSymbolPx, CagePanelStyle::kGreen),
                              QStringLiteral("doneSymbol"), summaryRow),
                  m_summaryText);
    layout->addWidget(summaryRow);

    auto* filesRow = new QWidget(m_doneBlock);
    QHBoxLayout* filesLayout = row(filesRow, 12);
    m_cageWire = new QCheckBox(tr("Cage wire"), filesRow);
    m_cageWire->setObjectName(QStringLiteral("cageWireToggle"));
    m_cageWire->setFont(CagePanelStyle::font(Face::system, 12));
    m_cageWire->setStyleSheet(QStringLiteral("QCheckBox { color: white; }"));
    // The dark scheme's box would vanish on the black result view: a lighter box with a visible rim.
    QPalette checkPalette = m_cageWire->palette();
    checkPalette.setColor(QPalette::Base, QColor(52, 52, 52));
    checkPalette.setColor(QPalette::Window, QColor(150, 150, 150));
    m_cageWire->setPalette(checkPalette);
    m_cageWire->setChecked(true);
    connect(m_cageWire, &QCheckBox::toggled, this, &MorvelControls::showsCageChanged);
    filesLayout->addWidget(m_cageWire);
    m_show3dmButton = makeButton(tr("Show .3dm in File Manager"), QStringLiteral("show3dmButton"), filesRow);
    connect(m_show3dmButton, &QPushButton::clicked, this,
            [this] { revealWritten(MorvelOutput::kThreeDmName); });
    filesLayout->addWidget(m_show3dmButton);
    m_showVellacotButton =
        makeButton(tr("Show .vellacot in File Manager"), QStringLiteral("showVellacotButton"), filesRow);
    connect(m_showVellacotButton, &QPushButton::clicked, this,
            [this] { revealWritten(MorvelOutput::kVellacotName); });
    filesLayout->addWidget(m_showVellacotButton);
    filesLayout->addStretch(1);
    layout->addWidget(filesRow);
    return m_doneBlock;
}

QWidget* MorvelControls::buildFailedRow()
{
    m_failedRow = new QWidget(this);
    m_failedRow->setObjectName(QStringLiteral("failedRow"));
    QHBoxLayout* layout = row(m_failedRow, 8);
    m_failedText = statusLabel(new LineLimitedLabel(2, m_failedRow), QStringLiteral("failedText"));
    m_failedText->setLinePitch(PanelStyle::monospacedLinePx(10));
    m_failedText->keepRoomOfAllLines();
    addStatusLine(layout,
                  symbolLabel(CagePanelStyle::exclamationTriangle(kStatusSymbolPx, CagePanelStyle::kYellow),
                              QStringLiteral("failedSymbol"), m_failedRow),
                  m_failedText);
    return m_failedRow;
}

MorvelDetail MorvelControls::selectedDetail() const
{
    const QString raw = m_defaults.string(SettingsKeys::kMorvelDetail, SettingsKeys::kMorvelDetailDefault);
    return MorvelDetails::fromRawValue(raw).value_or(MorvelDetail::standard);
}

bool MorvelControls::showsCage() const
{
    return m_cageWire->isChecked();
}

void MorvelControls::setShowsCage(bool showsCage)
{
    m_cageWire->setChecked(showsCage);
}

void MorvelControls::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        m_phoneRedo = PhoneMorvelRedo::load(m_resultDir);
        refresh();
    }
}

void MorvelControls::makeMorvel()
{
    const MorvelDetail detail = selectedDetail();
    m_session.start(m_meshPath, m_resultDir, MorvelDetails::options(detail),
                    MorvelDetails::timeLimitSeconds(detail));
}

void MorvelControls::redo()
{
    if (m_phoneRedo) {
        m_session.start(m_meshPath, m_resultDir, m_phoneRedo->options, kRedoTimeLimitSeconds);
    }
}

void MorvelControls::revealWritten(const char* fileName)
{
    const std::optional<QString>& dir = m_session.writtenIn();
    if (dir && m_reveal) {
        m_reveal(QDir(*dir).filePath(QString::fromLatin1(fileName)));
    }
}

void MorvelControls::refreshDetail()
{
    const auto& levels = MorvelDetails::kAllCases;
    const auto found = std::find(levels.begin(), levels.end(), selectedDetail());
    m_picker->setCurrentIndex(int(found - levels.begin()));
}

void MorvelControls::refresh()
{
    const Phase& phase = m_session.phase();
    const bool running = phase.kind == Phase::Kind::running;
    m_picker->setEnabled(!running);
    // Stop takes the keyboard focus of the button that started the fit (Make Morvel or Redo, which hide
    // while it runs), and gives it back when the fit ends; Qt would hand it on down the chain. The focus
    // moves before the button losing it hides.
    QWidget* focused = window()->focusWidget();
    QPushButton* takesFocus = nullptr;
    if (running && (focused == m_makeButton || focused == m_redoButton)) {
        m_focusReturn = static_cast<QPushButton*>(focused);
        takesFocus = m_stopButton;
    } else if (!running && focused == m_stopButton) {
        takesFocus = m_focusReturn == m_redoButton && m_phoneRedo ? m_redoButton : m_makeButton;
    }
    // With the phone's settings the redo row keeps its room while a fit runs, so that nothing moves.
    QSizePolicy phonePolicy = m_phoneRow->sizePolicy();
    phonePolicy.setRetainSizeWhenHidden(m_phoneRedo.has_value());
    m_phoneRow->setSizePolicy(phonePolicy);
    const bool phoneRowShown = m_phoneRedo.has_value() && !running;
    (running ? m_stopButton : m_makeButton)->setVisible(true);
    if (phoneRowShown) {
        m_phoneRow->setVisible(true);
    }
    if (takesFocus) {
        takesFocus->setFocus(Qt::OtherFocusReason);
    }
    (running ? m_makeButton : m_stopButton)->setVisible(false);
    if (!phoneRowShown) {
        m_phoneRow->setVisible(false);
    }
    if (m_phoneRedo) {
        m_phoneText->setText(
            m_phoneRedo->phoneQuads
                ? tr("phone preview: %1 quads").arg(QString::number(*m_phoneRedo->phoneQuads))
                : tr("phone Morvel settings found"));
        m_redoButton->setToolTip(
            tr("The phone's settings (%1 quads, creases, refit) on this full-detail scan.")
                .arg(QString::number(m_phoneRedo->targetQuads)));
    }

    const bool done = phase.kind == Phase::Kind::done;
    const bool failed = phase.kind == Phase::Kind::failed;
    QWidget* status = running ? m_runningRow : done ? m_doneBlock : failed ? m_failedRow : nullptr;
    m_statusArea->setCurrentIndex(status ? m_statusArea->indexOf(status->parentWidget()) : 0);
    if (running) {
        m_progress->setValue(qRound(std::clamp(phase.fraction, 0.0, 1.0) * kProgressSteps));
        m_runningText->setText(phase.text);
    }
    if (done) {
        m_summaryText->setFullText(phase.summary);
        const bool written = m_session.writtenIn().has_value();
        m_show3dmButton->setVisible(written);
        m_showVellacotButton->setVisible(written);
    }
    if (failed) {
        m_failedText->setFullText(phase.text);
    }
}

} // namespace tovarine
