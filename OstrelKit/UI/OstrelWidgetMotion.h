#pragma once

#include "OstrelTiming.h"

#include <QByteArray>
#include <QObject>
#include <QVariant>

#include <optional>

class QAbstractAnimation;

// Widget-side motion helpers that honour the reduce-motion option (OstrelMotionPreference). GUI thread only.
namespace ostrel {

// Moves `target`'s `property` to `to`: animated with `animation` when motion is allowed (a forever-repeating
// animation loops between the current value and `to`, reversing when it autoreverses), set at once under
// reduce motion or with no animation. Returns the running animation (owned by `target`), or nullptr when
// the value was set directly.
QAbstractAnimation* ostrelAnimation(QObject* target, const QByteArray& property, const QVariant& to,
                                    const std::optional<OstrelAnimation>& animation);

} // namespace ostrel
