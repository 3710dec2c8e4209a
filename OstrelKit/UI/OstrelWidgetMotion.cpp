#include "OstrelWidgetMotion.h"

#include "OstrelMotion.h"

#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>

namespace ostrel {

QAbstractAnimation* ostrelAnimation(QObject* target, const QByteArray& property, const QVariant& to,
                                    const std::optional<OstrelAnimation>& animation)
{
    return withOstrelAnimation(animation, [&](const std::optional<OstrelAnimation>& effective) -> QAbstractAnimation* {
        if (!effective || effective->durationMs() <= 0) {
            target->setProperty(property.constData(), to);
            return nullptr;
        }
        const QVariant from = target->property(property.constData());
        auto makeLeg = [&](const QVariant& start, const QVariant& end) {
            auto* leg = new QPropertyAnimation(target, property);
            leg->setStartValue(start);
            leg->setEndValue(end);
            leg->setDuration(effective->durationMs());
            leg->setEasingCurve(effective->easingCurve());
            return leg;
        };
        if (!effective->repeatsForever) {
            auto* single = makeLeg(from, to);
            single->setParent(target);
            single->start(QAbstractAnimation::DeleteWhenStopped);
            return single;
        }
        auto* group = new QSequentialAnimationGroup(target);
        group->addAnimation(makeLeg(from, to));
        if (effective->autoreverses) {
            group->addAnimation(makeLeg(to, from));
        }
        group->setLoopCount(-1);
        group->start();
        return group;
    });
}

} // namespace ostrel
