#include "PrintPrepControls.h"

#include "BackgroundRun.h"
#include "LineLimitedLabel.h"
#include "MainThreadLink.h"
#include "PanelStyle.h"
#include "PrintPrepFiles.h"
#include "PrintPrepRules.h"
#include "SettingsKeys.h"
#include "StatusIndicator.h"
#include "TypedNumber.h"
#include "UserDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovarine {

namespace {

// A status line takes at most two lines: at the window's usual width, the longest summaries.
constexpr int kStatusLines = 2;

// Grow's settings as the panel runs it.
constexpr int kGrowIterations = 4;
constexpr int kGrowSmoothingPasses = 2;
constexpr double kGrowSmoothingAlpha = 0.4;

QLabel* makeLabel(const QString& text, bool monospaced, int pixelSize, double opacity)
{
    auto* label = new QLabel(text);
    label->setFont(PanelStyle::font(monospaced, pixelSize));
    label->setStyleSheet(PanelStyle::whiteText(opacity));
    return label;
}

// A field with its unit label, spacing 4.
QWidget* makeField(const QString& name, QLineEdit*& field, QLabel*& unitLabel)
{
    auto* box = new QWidget;
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    field = PanelStyle::numberField(name, 48);
    row->addWidget(field);
    unitLabel = PanelStyle::unitLabel();
    row->addWidget(unitLabel);
    return box;
}

QPushButton* makeButton(const QString& name, const QString& text, const QString& help = {})
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setToolTip(help);
    return button;
}

double secondsSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

PrintPrepControls::PrintPrepControls(const QString& meshPath, const QString& resultDir,
                                     UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), m_meshPath(meshPath), m_resultDir(resultDir), m_defaults(defaults),
      m_units(defaults.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault)),
      m_link(MainThreadLink::create(this)), m_keptFocus(this)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* rowOne = new QHBoxLayout;
    rowOne->setSpacing(12);
    rowOne->addWidget(makeLabel(QStringLiteral("print prep"), true, 11, 0.5));
    rowOne->addStretch();
    rowOne->addWidget(makeLabel(QStringLiteral("shell"), false, 11, 0.5));
    rowOne->addWidget(makeField(QStringLiteral("shellField"), m_shellField, m_unitLabels[0]));
    m_thickenButton = makeButton(QStringLiteral("thickenButton"), QStringLiteral("Thicken"));
    rowOne->addWidget(m_thickenButton);
    column->addLayout(rowOne);

    auto* rowTwo = new QHBoxLayout;
    rowTwo->setSpacing(12);
    rowTwo->addStretch();
    rowTwo->addWidget(makeLabel(QStringLiteral("min wall"), false, 11, 0.5));
    rowTwo->addWidget(makeField(QStringLiteral("minWallField"), m_minField, m_unitLabels[1]));
    m_guardButton = makeButton(
        QStringLiteral("guardButton"), QStringLiteral("Min-thickness guard"),
        QStringLiteral(
            "Ray-samples each face inward and tags any face whose local wall thickness falls below the "
            "threshold as 'thin' in a sibling OBJ (red via the .mtl). It measures the newest closed mesh "
            "here: run Thicken first (a closed model_watertight_*.obj made elsewhere works too)."));
    rowTwo->addWidget(m_guardButton);
    m_growButton = makeButton(
        QStringLiteral("growButton"), QStringLiteral("Grow thin"),
        QStringLiteral(
            "Displaces under-threshold vertices outward by (target − measured) / 2 along their normals, "
            "then runs constrained Laplacian smoothing so the grown patch blends in. Iterates guard → "
            "grow → re-guard up to 4 times. It needs a closed mesh to measure against: run Thicken first (a "
            "closed model_watertight_*.obj made elsewhere works too)."));
    rowTwo->addWidget(m_growButton);
    column->addLayout(rowTwo);

    m_statusRow = new QWidget;
    auto* statusRow = new QHBoxLayout(m_statusRow);
    statusRow->setContentsMargins(0, 0, 0, 0);
    statusRow->setSpacing(8);
    m_indicator = new StatusIndicator(10);
    m_indicator->setObjectName(QStringLiteral("statusIndicator"));
    // Beside the first line of the status.
    statusRow->addWidget(m_indicator, 0, Qt::AlignTop);
    m_statusLabel = new LineLimitedLabel(kStatusLines);
    m_statusLabel->setFont(PanelStyle::font(true, 10));
    m_statusLabel->setStyleSheet(PanelStyle::whiteText(0.65));
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusRow->addWidget(m_statusLabel, 1);
    // The status keeps the room of all its lines, also while there is none, so that the buttons above do not
    // move when it appears or grows; a longer one is cut with its whole text in the tooltip.
    m_statusLabel->setLinePitch(PanelStyle::monospacedLinePx(10));
    m_statusLabel->keepRoomOfAllLines();
    PanelStyle::keepPlaceWhenHidden(m_statusRow);
    m_statusRow->setVisible(false);
    column->addWidget(m_statusRow);

    setStyleSheet(PanelStyle::buttonStyleSheet());
    const auto texts = PrintPrepRules::unitDefaults(QStringLiteral("mm"));
    m_shellField->setText(texts.shell);
    m_minField->setText(texts.minWall);

    connect(m_shellField, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(m_minField, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(m_thickenButton, &QPushButton::clicked, this, [this] { runThicken(); });
    connect(m_guardButton, &QPushButton::clicked, this, [this] { runMinThickness(); });
    connect(m_growButton, &QPushButton::clicked, this, [this] { runGrow(); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kUnits) {
            unitsChanged();
        }
    });
    refresh();
}

PrintPrepControls::~PrintPrepControls()
{
    m_link->detach();
}

void PrintPrepControls::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown) {
        return;
    }
    m_shown = true;
    if (TypedNumber::isInches(m_units) && m_shellField->text() == QLatin1String("2") &&
        m_minField->text() == QLatin1String("1.0")) {
        const auto texts = PrintPrepRules::unitDefaults(m_units);
        m_shellField->setText(texts.shell);
        m_minField->setText(texts.minWall);
    }
}

void PrintPrepControls::unitsChanged()
{
    m_units = m_defaults.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault);
    const auto texts = PrintPrepRules::unitDefaults(m_units);
    m_shellField->setText(texts.shell);
    m_minField->setText(texts.minWall);
    refresh();
}

void PrintPrepControls::refresh()
{
    for (QLabel* label : m_unitLabels) {
        label->setText(TypedNumber::unitLabel(m_units));
    }
    const bool shellUsable = PrintPrepRules::thicknessMm(m_shellField->text(), m_units).has_value();
    const bool minUsable = PrintPrepRules::thicknessMm(m_minField->text(), m_units).has_value();
    if (m_working) {
        m_keptFocus.park({m_thickenButton, m_guardButton, m_growButton});
    }
    m_thickenButton->setEnabled(!m_working && shellUsable);
    m_guardButton->setEnabled(!m_working && minUsable);
    m_growButton->setEnabled(!m_working && minUsable);
    m_statusRow->setVisible(m_status.has_value());
    m_indicator->setBusy(m_working);
    m_indicator->setStatus(m_statusIsWarning ? StatusSymbols::Status::warning : StatusSymbols::Status::ok);
    if (!m_working) {
        m_keptFocus.restore();
    }
}

void PrintPrepControls::setStatus(const QString& text)
{
    m_status = text;
    m_statusLabel->setFullText(text);
    refresh();
}

void PrintPrepControls::setWorking(bool working)
{
    m_working = working;
    refresh();
}

QString PrintPrepControls::filePath(const QString& name) const
{
    return QDir(m_resultDir).filePath(name);
}

void PrintPrepControls::start(std::function<bool(std::stop_token, const Report&)> work)
{
    BackgroundRun::start([link = m_link, self = this, work = std::move(work)](std::stop_token token) {
        const Report report = [&link, self](const QString& text) {
            link->post([self, text] { self->setStatus(text); });
        };
        const bool warning = work(token, report);
        link->post([self, warning] {
            if (warning) {
                self->m_statusIsWarning = true;
            }
            self->setWorking(false);
            emit self->runFinished();
        });
    });
}

std::optional<QString> PrintPrepControls::closedMeshOrWarn()
{
    const auto answer = PrintPrepFiles::latestClosedMesh(m_resultDir, m_meshPath);
    if (answer.current) {
        return answer.current;
    }
    m_statusIsWarning = true;
    setStatus(PrintPrepRules::closedMeshWarning(answer.olderExist));
    return std::nullopt;
}

void PrintPrepControls::runThicken()
{
    const auto mm = PrintPrepRules::thicknessMm(m_shellField->text(), m_units);
    if (!mm) {
        return;
    }
    const QString name = PrintPrepRules::thickenName(*mm);
    const QString destination = filePath(name);
    m_working = true;
    m_statusIsWarning = false;
    setStatus(QStringLiteral("thickening → ") + name);
    QElapsedTimer clock;
    clock.start();

    start([mesh = m_meshPath, destination, name, shellMm = *mm, clock](std::stop_token token,
                                                                       const Report& report) {
        report(QStringLiteral("preparing a millimetre copy of the scan…"));
        const auto source = PrintPrepFiles::millimetreSource(mesh);
        if (!source) {
            report(PrintPrepRules::failed(source.error()));
            return false;
        }
        const auto result = MeshThicken::thicken(*source, destination, shellMm, report, token);
        if (!result) {
            report(PrintPrepRules::failed(result.error().localizedDescription()));
            return false;
        }
        report(PrintPrepRules::thickenSummary(name, *result, secondsSince(clock)));
        return false;
    });
}

void PrintPrepControls::runMinThickness()
{
    const auto mm = PrintPrepRules::thicknessMm(m_minField->text(), m_units);
    if (!mm) {
        return;
    }
    const auto source = closedMeshOrWarn();
    if (!source) {
        return;
    }
    const QString sourceName = QFileInfo(*source).fileName();
    const QString objName = PrintPrepRules::thinmapName(*mm);
    const QString objPath = filePath(objName);
    const QString mtlPath = filePath(PrintPrepRules::mtlName(objName));
    m_working = true;
    m_statusIsWarning = false;
    setStatus(QStringLiteral("checking ") + sourceName + QStringLiteral(" → ") + objName);
    QElapsedTimer clock;
    clock.start();

    start([source = *source, sourceName, objName, objPath, mtlPath, minMm = *mm,
           clock](std::stop_token token, const Report& report) {
        const auto r = MeshMinThickness::analyze(source, objPath, mtlPath, minMm, report, token);
        if (!r) {
            report(PrintPrepRules::failed(r.error().localizedDescription()));
            return false;
        }
        const auto summary =
            PrintPrepRules::guardSummary(sourceName, *r, minMm, objName, secondsSince(clock));
        report(summary.text);
        return summary.warning;
    });
}

void PrintPrepControls::runGrow()
{
    const auto mm = PrintPrepRules::thicknessMm(m_minField->text(), m_units);
    if (!mm) {
        return;
    }
    const auto source = closedMeshOrWarn();
    if (!source) {
        return;
    }
    const QString sourceName = QFileInfo(*source).fileName();
    const QString grownName = PrintPrepRules::grownName(*mm);
    const QString postName = PrintPrepRules::postGrowName(grownName);
    const QString grownPath = filePath(grownName);
    const QString grownMtl = filePath(PrintPrepRules::mtlName(grownName));
    const QString postPath = filePath(postName);
    const QString postMtl = filePath(PrintPrepRules::mtlName(postName));
    m_working = true;
    m_statusIsWarning = false;
    setStatus(QStringLiteral("growing thin regions of ") + sourceName + QStringLiteral(" → ") + grownName);
    QElapsedTimer clock;
    clock.start();

    start([source = *source, sourceName, grownName, grownPath, grownMtl, postPath, postMtl, minMm = *mm,
           clock](std::stop_token token, const Report& report) {
        const auto g = MeshGrow::grow(source, grownPath, grownMtl, minMm, kGrowIterations,
                                      kGrowSmoothingPasses, kGrowSmoothingAlpha, report, token);
        if (!g) {
            report(PrintPrepRules::failed(g.error().localizedDescription()));
            return false;
        }
        const bool reguardRuns = g->initialThin > 0;
        std::optional<std::int64_t> reguardThin;
        if (reguardRuns) {
            const Report prefixed = [&report](const QString& line) {
                report(QStringLiteral("re-guard · ") + line);
            };
            const auto again =
                MeshMinThickness::analyze(grownPath, postPath, postMtl, minMm, prefixed, token);
            if (again) {
                reguardThin = again->thinCount;
            }
        }
        const auto summary = PrintPrepRules::growSummary(
            sourceName, *g, minMm, grownName, PrintPrepRules::reguardSuffix(reguardRuns, reguardThin),
            secondsSince(clock));
        report(summary.text);
        return summary.warning;
    });
}

} // namespace tovarine
