#pragma once

#include "OstrelTiming.h"

#include <QByteArray>
#include <QObject>
#include <QVariant>

#include <optional>

class QAbstractAnimation;
class QWidget;

// Widget-side motion helpers that honour the reduce-motion option (OstrelMotionPreference). GUI thread only.
namespace ostrel {

// Moves `target`'s `property` to `to`: animated with `animation` when motion is allowed (a forever-repeating
// animation loops between the current value and `to`, reversing when it autoreverses), set at once under
// reduce motion or with no animation. Returns the running animation (owned by `target`), or nullptr when
// the value was set directly. The animation follows a later change of reduce motion: when it is switched on,
// the animation stops and the property takes `to` at once.
QAbstractAnimation* ostrelAnimation(QObject* target, const QByteArray& property, const QVariant& to,
                                    const std::optional<OstrelAnimation>& animation);

// Shows (`visible`) or hides `widget` with an opacity transition: fades in from transparent after showing it,
// or fades out and then hides it, over `durationS` seconds on an ease-in-out curve. Not gated by reduce
// motion. Returns the running fade (owned by `widget`); a later call replaces it.
QAbstractAnimation* ostrelFade(QWidget* widget, bool visible, double durationS);

// The same with the kit's reduced-motion transition (a plain opacity fade at the fade timing).
QAbstractAnimation* ostrelReducedTransition(QWidget* widget, bool visible);

} // namespace ostrel
