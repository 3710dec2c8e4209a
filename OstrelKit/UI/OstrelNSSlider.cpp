#include "OstrelNSSlider.h"

#include "OstrelAccessible.h"
#include "UserDefaults.h"

#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace ostrel {

OstrelNSSlider::OstrelNSSlider(UserDefaults& store, const QString& key, double defaultValue, double lower,
                               double upper, const QColor& tint, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_store(store), m_key(key), m_default(defaultValue), m_lower(lower),
      m_upper(std::max(lower, upper)), m_shown(store.real(key, defaultValue))
{
    // Before anything asks for the slider's accessible face: it speaks the value, not the position.
    setSpokenSlider(
        this, {[this] { return m_shown; },
               [this](double v) {
                   if (std::isfinite(v)) {
                       m_store.setValue(m_key, std::clamp(v, m_lower, m_upper));
                   }
               },
               [this] { return m_spokenText ? m_spokenText(m_shown) : QString::asprintf("%.2f", m_shown); },
               m_lower, m_upper, (m_upper - m_lower) / 100});
    setRange(0, kPositions);
    setSingleStep(kPositions / 100);
    setPageStep(kPositions / 10);
    setTracking(true);
    setTickPosition(QSlider::NoTicks);
    setFixedHeight(18);
    setStyleSheet(
        QStringLiteral("QSlider::groove:horizontal { height: 4px; background: rgba(255,255,255,40);"
                       " border-radius: 2px; }"
                       "QSlider::sub-page:horizontal { background: %1; border-radius: 2px; }"
                       "QSlider::handle:horizontal { background: #f0ead8; width: 12px; margin: -5px 0;"
                       " border-radius: 6px; }")
            .arg(tint.name()));
    {
        const QSignalBlocker block(this);
        setValue(int(std::lround((std::clamp(m_shown, m_lower, m_upper) - m_lower) /
                                 std::max(m_upper - m_lower, 1e-12) * kPositions)));
    }
    connect(this, &QSlider::valueChanged, this, &OstrelNSSlider::valueChanged);
    // A drag writes the store once, with the value it ends on: every write is synced to disk, and readers of
    // the key need only where the user let go.
    connect(this, &QSlider::sliderReleased, this, [this] {
        if (m_dragMoved) {
            m_dragMoved = false;
            m_store.setValue(m_key, m_shown);
        }
    });
    connect(&store, &UserDefaults::changed, this, [this](const QString& changed) {
        if (changed == m_key) {
            follow(m_store.real(m_key, m_default));
        }
    });
}

void OstrelNSSlider::valueChanged(int position)
{
    m_shown = m_lower + (m_upper - m_lower) * position / kPositions;
    if (isSliderDown()) {
        m_dragMoved = true;
    } else {
        m_store.setValue(m_key, m_shown);
    }
    spokenSliderChanged(this);
    emit shownValueChanged(m_shown);
}

void OstrelNSSlider::setSpokenText(std::function<QString(double)> text)
{
    m_spokenText = std::move(text);
    spokenSliderChanged(this);
}

void OstrelNSSlider::follow(double bound)
{
    if (std::abs(bound - m_shown) <= kFollowThreshold) {
        return;
    }
    m_shown = bound;
    {
        const QSignalBlocker block(this);
        setValue(int(std::lround((std::clamp(bound, m_lower, m_upper) - m_lower) /
                                 std::max(m_upper - m_lower, 1e-12) * kPositions)));
    }
    spokenSliderChanged(this);
    emit shownValueChanged(m_shown);
}

} // namespace ostrel
