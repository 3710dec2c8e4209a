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
// A stepped slider has one position per step up to this many; a finer step snaps the position's value to it.
constexpr double kMaxStepPositions = 1000000;
// One arrow key moves a continuous slider this fraction of its range, Page Up/Down ten times as far.
constexpr int kContinuousKeySteps = 100;
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
    // The inner slider takes the focus, so it is what assistive technology reads: it carries the label and
    // speaks the formatted value (set before anything asks for its accessible face).
    const double span = m_options.upper - m_options.lower;
    const int count = positions();
    // What one arrow key moves: a step (also where a position stands for several steps, see stepByKey), or
    // a hundredth of the range without one.
    const double keyStep = m_options.step ? *m_options.step : span / kContinuousKeySteps;
    // A screen reader is told the number the format shows (see setSpokenSlider), which begins after the
    // format's literal text.
    setSpokenSlider(m_slider, {[this] { return m_value; }, [this](double v) { setValue(v); },
                               [this] { return formattedValue(); }, m_options.lower, m_options.upper, keyStep,
                               OstrelValueFormat::literalPrefixLength(m_options.format),
                               m_options.step.has_value()});
    m_slider->setAccessibleName(label);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_slider);
    m_slider->setRange(0, count);
    if (!m_options.step) {
        m_slider->setSingleStep(std::max(1, count / kContinuousKeySteps));
        m_slider->setPageStep(std::max(1, count / 10));
    }
    setProperty("ostrelSpokenRole", int(QAccessible::Grouping));
    m_value = std::clamp(value, m_options.lower, m_options.upper);
    refreshSpoken();
    setAccessibleName(label);
    setFocusProxy(m_slider);
    connect(m_slider, &QSlider::valueChanged, this, &OstrelSlider::sliderMoved);
    connect(m_slider, &QAbstractSlider::actionTriggered, this, &OstrelSlider::stepByKey);
    setValue(value);
}

int OstrelSlider::positions() const
{
    const double span = m_options.upper - m_options.lower;
    if (m_options.step) {
        return int(std::llround(std::min(span / *m_options.step, kMaxStepPositions)));
    }
    return span > 0 ? kContinuousPositions : 0;
}

double OstrelSlider::snapped(double value) const
{
    if (!m_options.step) {
        return value;
    }
    const double steps = std::min(std::round((value - m_options.lower) / *m_options.step),
                                  std::ceil((m_options.upper - m_options.lower) / *m_options.step));
    return std::min(m_options.upper, m_options.lower + steps * *m_options.step);
}

double OstrelSlider::valueAt(int position) const
{
    const int count = positions();
    if (count <= 0) {
        return m_options.lower;
    }
    if (position >= count) {
        return snapped(m_options.upper);
    }
    return snapped(m_options.lower + (m_options.upper - m_options.lower) * position / count);
}

void OstrelSlider::setValue(double value)
{
    if (!std::isfinite(value)) {
        return;
    }
    const double next = snapped(std::clamp(value, m_options.lower, m_options.upper));
    const int count = positions();
    const double span = m_options.upper - m_options.lower;
    const int position = count > 0 ? int(std::llround((next - m_options.lower) / span * count)) : 0;
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
    if (positions() <= 0) {
        return;
    }
    const double next = valueAt(position);
    if (next != m_value) {
        m_value = next;
        refreshSpoken();
        emit valueChanged(m_value);
    }
}

void OstrelSlider::stepByKey(int action)
{
    if (!m_options.step ||
        (action != QAbstractSlider::SliderSingleStepAdd && action != QAbstractSlider::SliderSingleStepSub)) {
        return;
    }
    const double steps = (m_options.upper - m_options.lower) / *m_options.step;
    if (std::llround(steps) <= positions()) {
        return; // one position per step: the slider's own single step is one step
    }
    // A position stands for several steps: move the value itself by one step. setValue puts the slider on
    // the new value's position, which the slider then keeps as its value.
    const double sign = action == QAbstractSlider::SliderSingleStepAdd ? 1.0 : -1.0;
    setValue(m_value + sign * *m_options.step);
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
    m_slider->setToolTip(toolTip());
    spokenSliderChanged(m_slider);
}

} // namespace ostrel
