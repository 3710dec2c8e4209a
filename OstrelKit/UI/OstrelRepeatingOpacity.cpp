#include "OstrelRepeatingOpacity.h"

#include "OstrelMotionPreference.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

namespace ostrel {

OstrelRepeatingOpacity::OstrelRepeatingOpacity(QWidget* widget, OstrelAnimation animation, bool autoreverses)
    : QObject(widget)
    , m_widget(widget)
    , m_effect(new QGraphicsOpacityEffect(widget))
    , m_animation(animation)
    , m_autoreverses(autoreverses)
{
    m_effect->setOpacity(m_pulse.opacity(OstrelMotionPreference::shared().reduceMotion()));
    widget->setGraphicsEffect(m_effect);
    widget->installEventFilter(this);
    connect(&OstrelMotionPreference::shared(), &OstrelMotionPreference::reduceMotionChanged, this,
            &OstrelRepeatingOpacity::reduceMotionChanged);
}

double OstrelRepeatingOpacity::opacity() const
{
    return m_effect->opacity();
}

bool OstrelRepeatingOpacity::looping() const
{
    return m_loop && m_loop->state() == QAbstractAnimation::Running;
}

bool OstrelRepeatingOpacity::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::Show) {
        const bool reduce = OstrelMotionPreference::shared().reduceMotion();
        m_pulse.appeared(reduce);
        stopLoop();
        if (m_pulse.looping()) {
            auto leg = [this](double from, double to) {
                auto* a = new QPropertyAnimation(m_effect, "opacity");
                a->setStartValue(from);
                a->setEndValue(to);
                a->setDuration(m_animation.durationMs());
                a->setEasingCurve(m_animation.easingCurve());
                return a;
            };
            auto* loop = new QSequentialAnimationGroup(this);
            loop->addAnimation(leg(OstrelRepeatingPulse::kDimOpacity, 1.0));
            if (m_autoreverses) {
                loop->addAnimation(leg(1.0, OstrelRepeatingPulse::kDimOpacity));
            }
            loop->setLoopCount(-1);
            m_loop = loop;
            loop->start(QAbstractAnimation::DeleteWhenStopped);
        } else {
            m_effect->setOpacity(m_pulse.opacity(reduce));
        }
    } else if (watched == m_widget && event->type() == QEvent::Hide) {
        stopLoop();
    }
    return QObject::eventFilter(watched, event);
}

void OstrelRepeatingOpacity::reduceMotionChanged(bool reduceMotion)
{
    m_pulse.reduceMotionChanged(reduceMotion);
    if (!m_pulse.looping()) {
        stopLoop();
        m_effect->setOpacity(m_pulse.opacity(reduceMotion));
    }
}

void OstrelRepeatingOpacity::stopLoop()
{
    if (m_loop) {
        m_loop->stop();
    }
}

OstrelRepeatingOpacity* ostrelRepeating(QWidget* widget, const OstrelAnimation& animation, bool autoreverses)
{
    return new OstrelRepeatingOpacity(widget, animation, autoreverses);
}

} // namespace ostrel
