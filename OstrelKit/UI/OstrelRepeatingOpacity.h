#pragma once

#include "OstrelRepeatingPulse.h"
#include "OstrelTiming.h"

#include <QObject>
#include <QPointer>

class QAbstractAnimation;
class QGraphicsOpacityEffect;
class QWidget;

namespace ostrel {

// The kit's looping opacity pulse on a widget: while the widget is shown and motion is allowed its opacity
// runs between 0.7 and 1.0 with the given animation, repeating forever (reversing when `autoreverses`).
// Under reduce motion it stands at full opacity; switched back off, it rests at 0.7 until the widget next
// appears (OstrelRepeatingPulse). Owned by the widget. GUI thread only.
class OstrelRepeatingOpacity : public QObject
{
    Q_OBJECT
public:
    OstrelRepeatingOpacity(QWidget* widget, OstrelAnimation animation, bool autoreverses);

    double opacity() const;
    bool looping() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reduceMotionChanged(bool reduceMotion);
    void stopLoop();

    QWidget* m_widget;
    QGraphicsOpacityEffect* m_effect;
    OstrelAnimation m_animation;
    bool m_autoreverses;
    OstrelRepeatingPulse m_pulse;
    QPointer<QAbstractAnimation> m_loop;
};

// Attaches the pulse to `widget` and returns it.
OstrelRepeatingOpacity* ostrelRepeating(QWidget* widget, const OstrelAnimation& animation, bool autoreverses);

} // namespace ostrel
