#include "PreviewSliderRow.h"

#include "PreviewLook.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <algorithm>
#include <cmath>

namespace tovarine {

namespace {

// Slider resolution: steps across the whole range, fine enough to feel continuous at 110 px.
constexpr int kSliderSteps = 1000;

} // namespace

PreviewSliderRow::PreviewSliderRow(const QString& objectNamePrefix, const QString& title, double minimum,
                                   double maximum, double defaultValue, Format format, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_default(defaultValue), m_value(defaultValue),
      m_format(std::move(format))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(objectNamePrefix + QStringLiteral("Title"));
    titleLabel->setMinimumWidth(52); // wider only when the face needs it for the title
    titleLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(titleLabel);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(objectNamePrefix + QStringLiteral("Slider"));
    m_slider->setRange(0, kSliderSteps);
    m_slider->setFixedWidth(110);
    layout->addWidget(m_slider);

    m_readout = new QLabel(this);
    m_readout->setObjectName(objectNamePrefix + QStringLiteral("Readout"));
    m_readout->setFixedWidth(38);
    m_readout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(m_readout);

    m_reset = new QToolButton(this);
    m_reset->setObjectName(objectNamePrefix + QStringLiteral("Reset"));
    m_reset->setText(QStringLiteral("\u21BA"));
    m_reset->setAutoRaise(true);
    m_reset->setToolTip(tr("Reset to %1").arg(m_format(m_default)));
    m_resetOpacity = new QGraphicsOpacityEffect(m_reset);
    m_reset->setGraphicsEffect(m_resetOpacity);
    layout->addWidget(m_reset);

    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        if (m_slider->signalsBlocked()) {
            return;
        }
        m_value = m_minimum + (m_maximum - m_minimum) * double(position) / kSliderSteps;
        refresh();
        emit valueEdited(m_value);
    });
    connect(m_reset, &QToolButton::clicked, this, [this] {
        setValue(m_default);
        emit valueEdited(m_value);
    });
    refresh();
}

void PreviewSliderRow::setValue(double value)
{
    m_value = value;
    refresh();
}

void PreviewSliderRow::refresh()
{
    const double clamped = std::clamp(m_value, m_minimum, m_maximum);
    const int position = int(std::lround((clamped - m_minimum) / (m_maximum - m_minimum) * kSliderSteps));
    if (m_slider->value() != position) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(position);
    }
    m_readout->setText(m_format(m_value));
    m_resetOpacity->setOpacity(PreviewLook::resetOpacity(m_value, m_default));
}

} // namespace tovarine
