#pragma once

#include <QString>

#include <algorithm>
#include <cmath>

namespace tovarine::test {

// What a screen reader on this desktop says for a slider, from the only numbers the AT-SPI bridge sends it
// (the Value interface's CurrentValue and MinimumIncrement): the current value written with
// ceil(-log10(increment)) decimals (none below 0), or without an increment one decimal below 1 and none
// from 1 on. This is the rule the desktop's screen reader applies.
inline QString readerSays(double current, double increment)
{
    int decimals = 0;
    if (increment != 0.0) {
        decimals = int(std::ceil(std::max(0.0, -std::log10(increment))));
    } else {
        decimals = std::abs(current) < 1 ? 1 : 0;
    }
    return QString::asprintf("%.*f", decimals, current);
}

} // namespace tovarine::test
