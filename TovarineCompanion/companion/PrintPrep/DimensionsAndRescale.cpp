#include "DimensionsAndRescale.h"

#include "BackgroundRun.h"
#include "LineLimitedLabel.h"
#include "MainThreadLink.h"
#include "OBJExporter.h"
#include "PanelStyle.h"
#include "SettingsKeys.h"
#include "TypedNumber.h"
#include "UserDefaults.h"

#include <QButtonGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace tovarine {

namespace {

// The slider works in integers: log10 of the target in millimetres, times this.
constexpr double kSliderSteps = 100000.0;

QLineEdit* makeField(const QString& name, const QString& placeholder, int widthPx)
{
    QLineEdit* field = PanelStyle::numberField(name, widthPx);
    field->setPlaceholderText(placeholder);
    return field;
}

QToolButton* makeSegment(const QString& name, const QString& text)
{
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setText(text);
    button->setCheckable(true);
    button->setFixedWidth(66);
    return button;
}

} // namespace

DimensionsAndRescale::DimensionsAndRescale(const QString& meshPath, const QString& resultDir,
                                           UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), m_meshPath(meshPath), m_resultDir(resultDir), m_defaults(defaults),
      m_units(defaults.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault)),
      m_link(MainThreadLink::create(this)), m_keptFocus(this)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    column->addLayout(row);

    m_measuringLabel = new QLabel(QStringLiteral("measuring…"));
    m_measuringLabel->setObjectName(QStringLiteral("measuringLabel"));
    m_measuringLabel->setFont(PanelStyle::font(true, 11));
    m_measuringLabel->setStyleSheet(PanelStyle::whiteText(0.4));
    row->addStretch();
    row->addWidget(m_measuringLabel);

    m_measuredRow = new QWidget;
    auto* measured = new QHBoxLayout(m_measuredRow);
    measured->setContentsMargins(0, 0, 0, 0);
    measured->setSpacing(10);
    row->addWidget(m_measuredRow, 1);
    row->addStretch();

    m_sizeLabel = new QLabel;
    m_sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    m_sizeLabel->setFont(PanelStyle::font(true, 12));
    m_sizeLabel->setStyleSheet(PanelStyle::whiteText(0.8));
    measured->addWidget(m_sizeLabel);
    measured->addStretch();

    auto* picker = new QWidget;
    picker->setFixedWidth(132);
    auto* pickerRow = new QHBoxLayout(picker);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    pickerRow->setSpacing(0);
    m_longestSegment = makeSegment(QStringLiteral("longestSegment"), QStringLiteral("longest"));
    m_perAxisSegment = makeSegment(QStringLiteral("perAxisSegment"), QStringLiteral("per axis"));
    auto* group = new QButtonGroup(picker);
    group->setExclusive(true);
    group->addButton(m_longestSegment);
    group->addButton(m_perAxisSegment);
    m_longestSegment->setChecked(true);
    pickerRow->addWidget(m_longestSegment);
    pickerRow->addWidget(m_perAxisSegment);
    measured->addWidget(picker);

    m_longestFields = new QWidget;
    auto* longestRow = new QHBoxLayout(m_longestFields);
    longestRow->setContentsMargins(0, 0, 0, 0);
    longestRow->setSpacing(4);
    m_targetField = makeField(QStringLiteral("targetField"), QString(), 64);
    longestRow->addWidget(m_targetField);
    m_unitLabels[0] = PanelStyle::unitLabel();
    longestRow->addWidget(m_unitLabels[0]);
    measured->addWidget(m_longestFields);

    m_perAxisFields = new QWidget;
    auto* axisRow = new QHBoxLayout(m_perAxisFields);
    axisRow->setContentsMargins(0, 0, 0, 0);
    axisRow->setSpacing(3);
    const char* const axisNames[] = {"targetXField", "targetYField", "targetZField"};
    const char* const axisLabels[] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        m_axisFields[i] =
            makeField(QString::fromLatin1(axisNames[i]), QString::fromLatin1(axisLabels[i]), 44);
        axisRow->addWidget(m_axisFields[i]);
    }
    m_unitLabels[1] = PanelStyle::unitLabel();
    axisRow->addWidget(m_unitLabels[1]);
    measured->addWidget(m_perAxisFields);

    m_saveButton = new QPushButton(QStringLiteral("Save scaled"));
    m_saveButton->setObjectName(QStringLiteral("saveScaledButton"));
    measured->addWidget(m_saveButton);
    for (QWidget* box : {picker, m_longestFields, m_perAxisFields}) {
        box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    setStyleSheet(PanelStyle::buttonStyleSheet());

    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setObjectName(QStringLiteral("targetSlider"));
    m_slider->setRange(int(std::lround(RescaleRules::kSliderMin * kSliderSteps)),
                       int(std::lround(RescaleRules::kSliderMax * kSliderSteps)));
    m_slider->setStyleSheet(PanelStyle::sliderStyleSheet());
    column->addWidget(m_slider);

    m_statusLabel = new LineLimitedLabel(1);
    m_statusLabel->setObjectName(QStringLiteral("rescaleStatus"));
    m_statusLabel->setFont(PanelStyle::font(true, 10));
    m_statusLabel->setStyleSheet(PanelStyle::whiteText(0.55));
    m_statusLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Its line is kept while it is empty, so that the controls above do not move when it appears; a longer
    // one is cut with its whole text in the tooltip.
    m_statusLabel->setLinePitch(PanelStyle::monospacedLinePx(10));
    m_statusLabel->keepRoomOfAllLines();
    PanelStyle::keepPlaceWhenHidden(m_statusLabel);
    m_statusLabel->setVisible(false);
    column->addWidget(m_statusLabel);

    connect(m_longestSegment, &QToolButton::toggled, this, [this] { refresh(); });
    connect(m_targetField, &QLineEdit::textChanged, this, [this] { refresh(); });
    for (QLineEdit* field : m_axisFields) {
        connect(field, &QLineEdit::textChanged, this, [this] { refresh(); });
    }
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        m_targetField->setText(RescaleRules::targetTextForSlider(value / kSliderSteps, m_units));
    });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { rescale(); });
    connect(&m_defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == SettingsKeys::kUnits) {
            unitsChanged();
        }
    });
    refresh();
}

DimensionsAndRescale::~DimensionsAndRescale()
{
    m_link->detach();
}

void DimensionsAndRescale::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loadStarted) {
        m_loadStarted = true;
        load();
    }
}

void DimensionsAndRescale::load()
{
    BackgroundRun::start([link = m_link, path = m_meshPath, self = this](std::stop_token) {
        const auto dims = RescaleRules::measureBounds(path);
        link->post([self, dims] {
            if (!dims) {
                return;
            }
            self->m_measured = dims;
            self->m_dims = dims;
            self->fillTexts();
        });
    });
}

void DimensionsAndRescale::fillTexts()
{
    if (!m_dims) {
        return;
    }
    m_targetField->setText(RescaleRules::longestText(*m_dims, m_units));
    const auto axes = RescaleRules::defaultPerAxisText(*m_dims, m_units);
    for (int i = 0; i < 3; ++i) {
        m_axisFields[i]->setText(axes[i]);
    }
    refresh();
}

void DimensionsAndRescale::unitsChanged()
{
    m_units = m_defaults.string(SettingsKeys::kUnits, SettingsKeys::kUnitsDefault);
    fillTexts();
    refresh();
}

RescaleRules::Targets DimensionsAndRescale::targets() const
{
    RescaleRules::Targets t;
    t.perAxis = m_perAxisSegment->isChecked();
    t.longest = m_targetField->text();
    for (int i = 0; i < 3; ++i) {
        t.axes[i] = m_axisFields[i]->text();
    }
    return t;
}

void DimensionsAndRescale::refresh()
{
    const bool measured = m_dims.has_value();
    const bool perAxis = m_perAxisSegment->isChecked();
    m_measuringLabel->setVisible(!measured);
    m_measuredRow->setVisible(measured);
    if (measured) {
        m_sizeLabel->setText(RescaleRules::sizeText(*m_dims, m_units));
    }
    m_longestFields->setVisible(!perAxis);
    m_perAxisFields->setVisible(perAxis);
    for (QLabel* label : m_unitLabels) {
        label->setText(TypedNumber::unitLabel(m_units));
    }
    m_slider->setVisible(measured && !perAxis);
    {
        const QSignalBlocker blocker(m_slider);
        const double value =
            RescaleRules::sliderValue(RescaleRules::parsedTargetMm(m_targetField->text(), m_units));
        m_slider->setValue(int(std::lround(value * kSliderSteps)));
    }
    if (m_rescaling) {
        m_keptFocus.park({m_saveButton});
    }
    m_saveButton->setEnabled(!m_rescaling && RescaleRules::canSave(m_dims, m_measured, targets(), m_units));
    if (!m_rescaling) {
        m_keptFocus.restore();
    }
}

void DimensionsAndRescale::rescale()
{
    if (!m_dims || !m_measured || m_rescaling) {
        return;
    }
    const auto plan = RescaleRules::plan(*m_measured, *m_dims, targets(), m_units);
    if (!plan) {
        return;
    }
    const QString destination = QDir(m_resultDir).filePath(plan->fileName);
    m_rescaling = true;
    m_statusLabel->setFullText(QStringLiteral("writing ") + plan->fileName + QStringLiteral("…"));
    m_statusLabel->setVisible(true);
    refresh();

    BackgroundRun::start([link = m_link, self = this, source = m_meshPath, destination, units = m_units,
                          plan = *plan](std::stop_token) {
        const auto failure = OBJExporter::exportModel(source, destination, units, plan.exporterMultiplier);
        link->post([self, failure, plan] {
            if (failure) {
                self->m_statusLabel->setFullText(QStringLiteral("failed · ") +
                                                 failure->localizedDescription());
            } else {
                self->m_statusLabel->setFullText(QStringLiteral("saved · ") + plan.fileName);
                self->m_dims = plan.savedDims;
                self->fillTexts();
            }
            self->m_rescaling = false;
            self->refresh();
            emit self->rescaleFinished();
        });
    });
}

} // namespace tovarine
