#include "OstrelSlider.h"

#include "OstrelAccessible.h"
#include "OstrelValueFormat.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {
// Positions of a continuous slider: fine enough that a drag looks continuous on any screen.
constexpr int kContinuousPositions = 10000;
const QString kDefaultFormat = QStringLiteral("%.2f");
} // namespace

OstrelSlider::OstrelSlider(const QString& label, double value, QWidget* parent)
    : OstrelSlider(label, value, Options{}, parent)
{
}

OstrelSlider::OstrelSlider(const QString& label, double value, const Options& options, QWidget* parent)
    : QWidget(parent), m_label(label), m_options(options), m_slider(new QSlider(Qt::Horizontal, this))
{
    if (!(m_options.upper > m_options.lower)) {
        m_options.upper = m_options.lower;
    }
    if (m_options.step && !(*m_options.step > 0.0)) {
        m_options.step.reset();
    }
    m_formatProblem = OstrelValueFormat::problem(m_options.format);
    if (m_formatProblem) {
        m_options.format = kDefaultFormat;
    }
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_slider);
    m_slider->setRange(0, positions());
    setProperty("ostrelSpokenRole", int(QAccessible::Slider));
    m_value = std::clamp(value, m_options.lower, m_options.upper);
    refreshSpoken();
    setAccessibleName(label);
    setFocusProxy(m_slider);
    connect(m_slider, &QSlider::valueChanged, this, &OstrelSlider::sliderMoved);
    setValue(value);
}

int OstrelSlider::positions() const
{
    const double span = m_options.upper - m_options.lower;
    if (m_options.step) {
        return int(std::llround(std::min(span / *m_options.step, double(kContinuousPositions))));
    }
    return span > 0 ? kContinuousPositions : 0;
}

void OstrelSlider::setValue(double value)
{
    if (!std::isfinite(value)) {
        return;
    }
    double next = std::clamp(value, m_options.lower, m_options.upper);
    const int count = positions();
    const double span = m_options.upper - m_options.lower;
    int position = 0;
    if (count > 0) {
        position = int(std::llround((next - m_options.lower) / span * count));
        if (m_options.step) {
            next = std::min(m_options.upper, m_options.lower + position * *m_options.step);
        }
    }
    {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(position);
    }
    if (next != m_value) {
        m_value = next;
        refreshSpoken();
        emit valueChanged(m_value);
    }
}

void OstrelSlider::sliderMoved(int position)
{
    const int count = positions();
    if (count <= 0) {
        return;
    }
    const double next = m_options.step
                            ? std::min(m_options.upper, m_options.lower + position * *m_options.step)
                            : m_options.lower + (m_options.upper - m_options.lower) * position / count;
    if (next != m_value) {
        m_value = next;
        refreshSpoken();
        emit valueChanged(m_value);
    }
}

std::optional<QString> OstrelSlider::spokenText(double value, const QString& format, const QString& unit)
{
    auto text = OstrelValueFormat::format(format, value);
    if (text && !unit.isEmpty()) {
        *text += QLatin1Char(' ') + unit;
    }
    return text;
}

QString OstrelSlider::formattedValue() const
{
    return spokenText(m_value, m_options.format, m_options.accessibilityUnit).value_or(QString());
}

void OstrelSlider::refreshSpoken()
{
    const QString text = formattedValue();
    setSpokenValue(this, text);
    setToolTip(m_label + QStringLiteral(": ") + text);
}

} // namespace ostrel
