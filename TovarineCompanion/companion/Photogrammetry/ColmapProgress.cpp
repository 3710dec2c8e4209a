#include "ColmapProgress.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>

namespace tovarine::ColmapProgress {
namespace {

// Stage boundaries from the benchmark's 36-frame orbit captures: extraction takes about a fifth of the time
// (more at full size), matching about a half, mapping about a quarter; our own steps and the surface take
// seconds.
constexpr std::array<double, 10> kBounds{0.0, 0.01, 0.25, 0.65, 0.93, 0.935, 0.945, 0.945, 0.99, 1.0};
// With the dense stage, measured on the same captures at full: the depth maps take about as long as the rest.
constexpr std::array<double, 10> kDenseBounds{0.0, 0.005, 0.13, 0.33, 0.47, 0.472, 0.477, 0.95, 0.99, 1.0};

} // namespace

double stageStart(Stage stage, bool dense)
{
    return (dense ? kDenseBounds : kBounds)[static_cast<std::size_t>(stage)];
}
double stageEnd(Stage stage, bool dense)
{
    return (dense ? kDenseBounds : kBounds)[static_cast<std::size_t>(stage) + 1];
}

double overall(Stage stage, double within, bool dense)
{
    const double clamped = std::isfinite(within) ? std::clamp(within, 0.0, 1.0) : 0.0;
    return stageStart(stage, dense) + (stageEnd(stage, dense) - stageStart(stage, dense)) * clamped;
}

std::optional<double> parseLine(Stage stage, const QByteArray& line, int frameCount)
{
    static const QRegularExpression processed(QStringLiteral(R"(Processed file \[(\d+)/(\d+)\])"));
    static const QRegularExpression matchingImage(QStringLiteral(R"(Matching image \[(\d+)/(\d+)\])"));
    static const QRegularExpression matchingBlock(
        QStringLiteral(R"(Matching block \[(\d+)/(\d+), (\d+)/(\d+)\])"));
    static const QRegularExpression registering(QStringLiteral(R"(Registering image #\d+ \((\d+)\))"));

    const QString text = QString::fromUtf8(line);
    auto ratio = [](double a, double b) -> std::optional<double> {
        if (b <= 0) {
            return std::nullopt;
        }
        return std::clamp(a / b, 0.0, 1.0);
    };
    switch (stage) {
    case Stage::extract:
        if (const auto m = processed.match(text); m.hasMatch()) {
            return ratio(m.captured(1).toDouble(), m.captured(2).toDouble());
        }
        break;
    case Stage::match:
        if (const auto m = matchingImage.match(text); m.hasMatch()) {
            return ratio(m.captured(1).toDouble(), m.captured(2).toDouble());
        }
        if (const auto m = matchingBlock.match(text); m.hasMatch()) {
            const double a = m.captured(1).toDouble();
            const double blocks = m.captured(2).toDouble();
            const double b = m.captured(3).toDouble();
            return ratio((a - 1) * blocks + b, blocks * blocks);
        }
        break;
    case Stage::map:
        if (const auto m = registering.match(text); m.hasMatch()) {
            return ratio(m.captured(1).toDouble(), frameCount);
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

double creep(double elapsedSeconds, double tauSeconds)
{
    if (tauSeconds <= 0 || elapsedSeconds <= 0) {
        return 0.0;
    }
    return 0.95 * (1.0 - std::exp(-elapsedSeconds / tauSeconds));
}

} // namespace tovarine::ColmapProgress
