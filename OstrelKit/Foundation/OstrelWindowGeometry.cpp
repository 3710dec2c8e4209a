#include "OstrelWindowGeometry.h"

namespace ostrel {

namespace AspectRatioPresets {

QList<AspectRatioPreset> all()
{
    return {AspectRatioPreset::square, AspectRatioPreset::portrait, AspectRatioPreset::landscape,
            AspectRatioPreset::tall,   AspectRatioPreset::wide,     AspectRatioPreset::free};
}

QString id(AspectRatioPreset preset)
{
    switch (preset) {
    case AspectRatioPreset::square:
        return QStringLiteral("1:1");
    case AspectRatioPreset::portrait:
        return QStringLiteral("3:4");
    case AspectRatioPreset::landscape:
        return QStringLiteral("4:3");
    case AspectRatioPreset::tall:
        return QStringLiteral("9:16");
    case AspectRatioPreset::wide:
        return QStringLiteral("16:9");
    case AspectRatioPreset::free:
        break;
    }
    return QStringLiteral("Free");
}

QString label(AspectRatioPreset preset)
{
    switch (preset) {
    case AspectRatioPreset::square:
        return QStringLiteral("1:1 \u2014 Square");
    case AspectRatioPreset::portrait:
        return QStringLiteral("3:4 \u2014 Portrait");
    case AspectRatioPreset::landscape:
        return QStringLiteral("4:3 \u2014 Landscape");
    case AspectRatioPreset::tall:
        return QStringLiteral("9:16 \u2014 Tall");
    case AspectRatioPreset::wide:
        return QStringLiteral("16:9 \u2014 Wide");
    case AspectRatioPreset::free:
        break;
    }
    return QStringLiteral("Free");
}

std::optional<std::pair<double, double>> ratio(AspectRatioPreset preset)
{
    switch (preset) {
    case AspectRatioPreset::square:
        return std::pair{1.0, 1.0};
    case AspectRatioPreset::portrait:
        return std::pair{3.0, 4.0};
    case AspectRatioPreset::landscape:
        return std::pair{4.0, 3.0};
    case AspectRatioPreset::tall:
        return std::pair{9.0, 16.0};
    case AspectRatioPreset::wide:
        return std::pair{16.0, 9.0};
    case AspectRatioPreset::free:
        break;
    }
    return std::nullopt;
}

QString shortcut(AspectRatioPreset preset)
{
    const int index = int(all().indexOf(preset));
    return preset == AspectRatioPreset::free ? QStringLiteral("0") : QString::number(index + 1);
}

std::optional<AspectRatioPreset> fromId(const QString& raw)
{
    for (AspectRatioPreset preset : all()) {
        if (id(preset) == raw) {
            return preset;
        }
    }
    return std::nullopt;
}

} // namespace AspectRatioPresets

namespace WindowPresets {

QList<WindowPreset> all()
{
    return {WindowPreset::compact, WindowPreset::standard, WindowPreset::large, WindowPreset::retina};
}

QString rawValue(WindowPreset preset)
{
    static const char* const names[] = {"compact", "standard", "large", "retina"};
    return QString::fromLatin1(names[int(preset)]);
}

double side(WindowPreset preset)
{
    static constexpr double sides[] = {512, 800, 1080, 1440};
    return sides[int(preset)];
}

QString label(WindowPreset preset)
{
    const QString s = QString::number(int(side(preset)));
    return s + QStringLiteral(" \u00D7 ") + s;
}

} // namespace WindowPresets

namespace OstrelWindowFrames {

QRectF aspect(const QRectF& frame, double widthPart, double heightPart)
{
    const double height = heightPart / widthPart * frame.width();
    return {frame.x(), frame.center().y() - height * 0.5, frame.width(), height};
}

QRectF sized(const QRectF& frame, double side)
{
    return {frame.center().x() - side * 0.5, frame.center().y() - side * 0.5, side, side};
}

QRectF square(const QRectF& frame)
{
    return aspect(frame, 1, 1);
}

} // namespace OstrelWindowFrames

} // namespace ostrel
