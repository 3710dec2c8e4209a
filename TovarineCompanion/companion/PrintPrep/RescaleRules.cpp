#include "RescaleRules.h"

#include "OstrelNumberFormat.h"
#include "TypedNumber.h"
#include "UsdzFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovarine::RescaleRules {

namespace {

// Whole numbers below this magnitude convert to a 64-bit integer exactly.
constexpr double kLargestWhole = 9.2e18;

// Targets closer than this to the current size are "no change".
constexpr double kToleranceMm = 0.01;

QString wholeNumber(double rounded)
{
    return QString::number(static_cast<qint64>(rounded));
}

// The typed values the mode needs, in the unit as typed; none when one is unusable.
std::optional<std::array<double, 3>> typedValues(const Targets& targets)
{
    if (targets.perAxis) {
        std::array<double, 3> values{};
        for (int i = 0; i < 3; ++i) {
            const auto value = TypedNumber::parse(targets.axes[i]);
            if (!value) {
                return std::nullopt;
            }
            values[i] = *value;
        }
        return values;
    }
    const auto value = TypedNumber::parse(targets.longest);
    if (!value) {
        return std::nullopt;
    }
    return std::array<double, 3>{*value, *value, *value};
}

// The targets in millimetres (longest mode: the one value thrice); none when one is unusable. A text that is
// exactly the one the panel fills in for a shown extent stands for that extent, not for its rounded value,
// so a save at the size shown keeps that size instead of rescaling the model by the rounding (188.4 mm
// shown as "188" would otherwise shrink every side by 0.2% and turn a 149.6 mm depth into "149").
std::optional<std::array<double, 3>> targetsMm(const Targets& targets, const Dims& shown, const QString& unit)
{
    const auto typed = typedValues(targets);
    if (!typed) {
        return std::nullopt;
    }
    const auto targetMm = [&](const QString& text, double typedValue, double shownMm) {
        return text == format(shownMm, unit) ? shownMm : TypedNumber::toMillimetres(typedValue, unit);
    };
    if (targets.perAxis) {
        const std::array<double, 3> current{shown.x, shown.y, shown.z};
        std::array<double, 3> mm{};
        for (int i = 0; i < 3; ++i) {
            mm[i] = targetMm(targets.axes[i], (*typed)[i], current[i]);
        }
        return mm;
    }
    const double mm = targetMm(targets.longest, (*typed)[0], shown.longest());
    return std::array<double, 3>{mm, mm, mm};
}

} // namespace

double Dims::longest() const
{
    return std::max({x, y, z});
}

std::optional<Dims> measureBounds(const QString& meshPath)
{
    const auto mesh = UsdzFile::read(meshPath);
    if (!mesh || mesh->vertexCount() == 0) {
        return std::nullopt;
    }
    constexpr double kMax = std::numeric_limits<double>::max();
    std::array<double, 3> lo{kMax, kMax, kMax};
    std::array<double, 3> hi{-kMax, -kMax, -kMax};
    for (std::size_t i = 0; i < mesh->vertexCount(); ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const double v = mesh->positions[3 * i + axis];
            lo[axis] = std::min(lo[axis], v);
            hi[axis] = std::max(hi[axis], v);
        }
    }
    const Dims dims{(hi[0] - lo[0]) * 1000.0, (hi[2] - lo[2]) * 1000.0, (hi[1] - lo[1]) * 1000.0};
    if (!std::isfinite(dims.x) || !std::isfinite(dims.y) || !std::isfinite(dims.z)) {
        return std::nullopt;
    }
    return dims;
}

QString format(double mm, const QString& unit)
{
    if (TypedNumber::isInches(unit)) {
        return ostrel::OstrelNumberFormat::fixed(mm / TypedNumber::kMillimetresPerInch, 2);
    }
    const double rounded = std::round(mm);
    if (std::fabs(rounded) < kLargestWhole) {
        return wholeNumber(rounded);
    }
    return ostrel::OstrelNumberFormat::fixed(rounded, 0);
}

QString sizeText(const Dims& dims, const QString& unit)
{
    const QString times = QStringLiteral(" × ");
    if (TypedNumber::isInches(unit)) {
        const double k = TypedNumber::kMillimetresPerInch;
        return ostrel::OstrelNumberFormat::fixed(dims.x / k, 2) + times +
               ostrel::OstrelNumberFormat::fixed(dims.y / k, 2) + times +
               ostrel::OstrelNumberFormat::fixed(dims.z / k, 2) + QStringLiteral(" in");
    }
    return ostrel::OstrelNumberFormat::fixed(dims.x, 0) + times +
           ostrel::OstrelNumberFormat::fixed(dims.y, 0) + times +
           ostrel::OstrelNumberFormat::fixed(dims.z, 0) + QStringLiteral(" mm");
}

QString longestText(const Dims& dims, const QString& unit)
{
    return format(dims.longest(), unit);
}

std::array<QString, 3> defaultPerAxisText(const Dims& dims, const QString& unit)
{
    return {format(dims.x, unit), format(dims.y, unit), format(dims.z, unit)};
}

double sliderValue(std::optional<double> targetMm)
{
    double t = targetMm.value_or(100.0);
    if (t <= 5.0) {
        t = 5.0;
    } else if (t > 2000.0) {
        t = 2000.0;
    }
    return std::log10(t);
}

QString targetTextForSlider(double value, const QString& unit)
{
    const double mm = std::max(std::round(std::pow(10.0, value)), 1.0);
    return format(mm, unit);
}

std::optional<double> parsedTargetMm(const QString& text, const QString& unit)
{
    const auto value = TypedNumber::parse(text);
    if (!value) {
        return std::nullopt;
    }
    return TypedNumber::toMillimetres(*value, unit);
}

std::optional<QString> namePart(double typed, const QString& unit)
{
    if (TypedNumber::isInches(unit)) {
        const double hundredths = std::round(typed * 100.0);
        if (!std::isfinite(hundredths) || std::fabs(hundredths) >= kLargestWhole) {
            return std::nullopt;
        }
        const double value = hundredths / 100.0;
        if (value == std::trunc(value)) {
            return wholeNumber(value);
        }
        return ostrel::OstrelNumberFormat::fixed(value, 2).replace(QLatin1Char('.'), QLatin1Char('p'));
    }
    const double rounded = std::round(typed);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= kLargestWhole) {
        return std::nullopt;
    }
    return wholeNumber(rounded);
}

bool canSave(const std::optional<Dims>& shown, const std::optional<Dims>& measured, const Targets& targets,
             const QString& unit)
{
    if (!shown || !measured) {
        return false;
    }
    const auto typed = typedValues(targets);
    if (!typed || !plan(*measured, *shown, targets, unit)) {
        return false;
    }
    if (targets.perAxis) {
        const std::array<double, 3> current{shown->x, shown->y, shown->z};
        for (int i = 0; i < 3; ++i) {
            if (std::fabs(TypedNumber::toMillimetres((*typed)[i], unit) - current[i]) > kToleranceMm) {
                return true;
            }
        }
        return false;
    }
    return std::fabs(TypedNumber::toMillimetres((*typed)[0], unit) - shown->longest()) > kToleranceMm;
}

std::optional<Plan> plan(const Dims& measured, const Dims& shown, const Targets& targets, const QString& unit)
{
    const auto typed = typedValues(targets);
    const auto targetMm = targetsMm(targets, shown, unit);
    if (!typed || !targetMm) {
        return std::nullopt;
    }
    const QString suffix = TypedNumber::isInches(unit) ? QStringLiteral("in.obj") : QStringLiteral("mm.obj");
    Plan result;
    if (targets.perAxis) {
        if (!(measured.x > 0.0 && measured.y > 0.0 && measured.z > 0.0)) {
            return std::nullopt;
        }
        const auto px = namePart((*typed)[0], unit);
        const auto py = namePart((*typed)[1], unit);
        const auto pz = namePart((*typed)[2], unit);
        if (!px || !py || !pz) {
            return std::nullopt;
        }
        const float kx = float((*targetMm)[0] / measured.x);
        const float ky = float((*targetMm)[1] / measured.y);
        const float kz = float((*targetMm)[2] / measured.z);
        if (!std::isfinite(kx) || !std::isfinite(ky) || !std::isfinite(kz)) {
            return std::nullopt;
        }
        // Upright depth (file Y) is the model's own z, upright height (file Z) the model's own y.
        result.exporterMultiplier = {kx, kz, ky};
        result.savedDims = {measured.x * double(kx), measured.y * double(ky), measured.z * double(kz)};
        result.fileName =
            QStringLiteral("model_") + *px + QLatin1Char('x') + *py + QLatin1Char('x') + *pz + suffix;
        return result;
    }
    const double longest = measured.longest();
    if (!(longest > 0.0)) {
        return std::nullopt;
    }
    const auto part = namePart((*typed)[0], unit);
    if (!part) {
        return std::nullopt;
    }
    const float s = float((*targetMm)[0] / longest);
    if (!std::isfinite(s)) {
        return std::nullopt;
    }
    result.exporterMultiplier = {s, s, s};
    result.savedDims = {measured.x * double(s), measured.y * double(s), measured.z * double(s)};
    result.fileName = QStringLiteral("model_") + *part + suffix;
    return result;
}

} // namespace tovarine::RescaleRules
