#include "SollerinColors.h"

#include <utility>

namespace ostrel {

SollerinColors::SollerinColors(QColor xAxis, QColor yAxis, QColor zAxis, QColor background)
    : xAxis(std::move(xAxis)), yAxis(std::move(yAxis)), zAxis(std::move(zAxis)), background(std::move(background))
{
}

const SollerinColors& SollerinColors::defaultColors()
{
    static const SollerinColors colors(QColor::fromRgbF(0.84f, 0.72f, 0.35f, 1.0f),
                                       QColor::fromRgbF(0.3f, 0.9f, 0.95f, 1.0f),
                                       QColor::fromRgbF(0.55f, 0.53f, 0.6f, 1.0f),
                                       QColor::fromRgbF(0.1f, 0.09f, 0.14f, 0.3f));
    return colors;
}

} // namespace ostrel
