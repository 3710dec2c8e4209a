#include "OstrelWidgetMotion.h"

#include "OstrelMotion.h"

#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

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
        QAbstractAnimation* running = nullptr;
        if (!effective->repeatsForever) {
            auto* single = makeLeg(from, to);
            single->setParent(target);
            single->start(QAbstractAnimation::DeleteWhenStopped);
            running = single;
        } else {
            auto* group = new QSequentialAnimationGroup(target);
            group->addAnimation(makeLeg(from, to));
            if (effective->autoreverses) {
                group->addAnimation(makeLeg(to, from));
            }
            group->setLoopCount(-1);
            group->start();
            running = group;
        }
        // Reduce motion switched on later: stand still at the target value.
        QObject::connect(&OstrelMotionPreference::shared(), &OstrelMotionPreference::reduceMotionChanged,
                         running,
                         [running, target, property, to](bool reduce) {
                             if (!reduce) {
                                 return;
                             }
                             running->stop();
                             target->setProperty(property.constData(), to);
                             running->deleteLater();
                         });
        return running;
    });
}

namespace {

const char* const kFadeName = "ostrelFade";

QAbstractAnimation* fadeWidget(QWidget* widget, bool visible, const OstrelAnimation& transition)
{
    // One fade at a time: a new call takes over from the current opacity.
    if (auto* previous = widget->findChild<QPropertyAnimation*>(QString::fromLatin1(kFadeName),
                                                                Qt::FindDirectChildrenOnly)) {
        previous->stop();
        delete previous;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    const bool wasShown = widget->isVisible();
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        effect->setOpacity(wasShown ? 1.0 : 0.0);
        widget->setGraphicsEffect(effect);
    }
    if (visible && !wasShown) {
        effect->setOpacity(0.0);
        widget->show();
    }
    auto* fade = new QPropertyAnimation(effect, "opacity", widget);
    fade->setObjectName(QString::fromLatin1(kFadeName));
    fade->setStartValue(effect->opacity());
    fade->setEndValue(visible ? 1.0 : 0.0);
    fade->setDuration(std::max(1, transition.durationMs()));
    fade->setEasingCurve(transition.easingCurve());
    const QPointer<QWidget> guarded(widget);
    QObject::connect(fade, &QAbstractAnimation::finished, widget, [guarded, visible, fade] {
        if (guarded && !visible) {
            guarded->hide();
        }
        fade->deleteLater();
    });
    fade->start();
    return fade;
}

} // namespace

QAbstractAnimation* ostrelFade(QWidget* widget, bool visible, double durationS)
{
    return fadeWidget(widget, visible, ostrelFade(durationS));
}

QAbstractAnimation* ostrelReducedTransition(QWidget* widget, bool visible)
{
    return fadeWidget(widget, visible, ostrelReducedTransition());
}

} // namespace ostrel
