#include "MarkupTypes.h"

#include <QJsonArray>

#include <cmath>
#include <limits>

QString rawValue(MarkupMode mode)
{
    switch (mode) {
    case MarkupMode::select: return QStringLiteral("select");
    case MarkupMode::note: return QStringLiteral("note");
    case MarkupMode::draw: return QStringLiteral("draw");
    case MarkupMode::arrow: return QStringLiteral("arrow");
    }
    return {};
}

std::optional<MarkupMode> markupModeFromRawValue(const QString& raw)
{
    for (const MarkupMode mode : kAllMarkupModes) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

QString rawValue(MarkupColor color)
{
    switch (color) {
    case MarkupColor::yellow: return QStringLiteral("#e8ff00");
    case MarkupColor::red: return QStringLiteral("#ff4d4d");
    case MarkupColor::blue: return QStringLiteral("#4daaff");
    case MarkupColor::white: return QStringLiteral("#ffffff");
    }
    return {};
}

std::optional<MarkupColor> markupColorFromRawValue(const QString& raw)
{
    for (const MarkupColor color : kAllMarkupColors) {
        if (rawValue(color) == raw) {
            return color;
        }
    }
    return std::nullopt;
}

QColor displayColor(MarkupColor color)
{
    switch (color) {
    case MarkupColor::yellow: return QColor::fromRgbF(0.91f, 1.0f, 0.0f);
    case MarkupColor::red: return QColor::fromRgbF(1.0f, 0.3f, 0.3f);
    case MarkupColor::blue: return QColor::fromRgbF(0.3f, 0.67f, 1.0f);
    case MarkupColor::white: return QColor(Qt::white);
    }
    return {};
}

double rawValue(MarkupStrokeSize size)
{
    switch (size) {
    case MarkupStrokeSize::thin: return 2;
    case MarkupStrokeSize::medium: return 3;
    case MarkupStrokeSize::thick: return 5;
    case MarkupStrokeSize::fat: return 8;
    }
    return 0;
}

std::optional<MarkupStrokeSize> markupStrokeSizeFromRawValue(double raw)
{
    for (const MarkupStrokeSize size : kAllMarkupStrokeSizes) {
        if (rawValue(size) == raw) {
            return size;
        }
    }
    return std::nullopt;
}

QString label(MarkupStrokeSize size)
{
    switch (size) {
    case MarkupStrokeSize::thin: return QStringLiteral("thin");
    case MarkupStrokeSize::medium: return QStringLiteral("med");
    case MarkupStrokeSize::thick: return QStringLiteral("thick");
    case MarkupStrokeSize::fat: return QStringLiteral("fat");
    }
    return {};
}

qint64 truncatedCoordinate(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLimit = 9.2e18;
    if (value >= kLimit) {
        return std::numeric_limits<qint64>::max();
    }
    if (value <= -kLimit) {
        return std::numeric_limits<qint64>::min();
    }
    return static_cast<qint64>(std::trunc(value));
}

QString rawValue(MarkupStroke::StrokeType type)
{
    return type == MarkupStroke::StrokeType::arrow ? QStringLiteral("arrow") : QStringLiteral("freehand");
}

MarkupStroke::MarkupStroke(StrokeType type, QList<QPointF> points, MarkupColor color, double size)
    : id(QUuid::createUuid()), type(type), points(std::move(points)), color(color), size(size)
{
}

QString MarkupStroke::pathData() const
{
    if (points.size() < 2) {
        return {};
    }
    QString path;
    for (qsizetype i = 0; i < points.size(); ++i) {
        path += (i == 0 ? QStringLiteral("M ") : QStringLiteral(" L "));
        path += QString::number(truncatedCoordinate(points[i].x())) + QLatin1Char(' ')
                + QString::number(truncatedCoordinate(points[i].y()));
    }
    return path;
}

QJsonObject MarkupStroke::toJson() const
{
    QJsonArray pointArray;
    for (const QPointF& point : points) {
        pointArray.append(QJsonArray{point.x(), point.y()});
    }
    return QJsonObject{{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
                       {QStringLiteral("type"), rawValue(type)},
                       {QStringLiteral("points"), pointArray},
                       {QStringLiteral("color"), rawValue(color)},
                       {QStringLiteral("size"), size}};
}

std::optional<MarkupStroke> MarkupStroke::fromJson(const QJsonObject& object)
{
    const QUuid id = QUuid::fromString(object.value(QStringLiteral("id")).toString());
    const QString typeText = object.value(QStringLiteral("type")).toString();
    const std::optional<MarkupColor> color = markupColorFromRawValue(object.value(QStringLiteral("color")).toString());
    const QJsonValue size = object.value(QStringLiteral("size"));
    const QJsonValue pointsValue = object.value(QStringLiteral("points"));
    if (id.isNull() || (typeText != QLatin1String("freehand") && typeText != QLatin1String("arrow")) || !color
        || !size.isDouble() || !pointsValue.isArray()) {
        return std::nullopt;
    }
    QList<QPointF> points;
    for (const QJsonValue& pointValue : pointsValue.toArray()) {
        const QJsonArray pair = pointValue.toArray();
        if (!pointValue.isArray() || pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble()) {
            return std::nullopt;
        }
        points.append(QPointF(pair[0].toDouble(), pair[1].toDouble()));
    }
    MarkupStroke stroke(typeText == QLatin1String("arrow") ? StrokeType::arrow : StrokeType::freehand,
                        std::move(points), *color, size.toDouble());
    stroke.id = id;
    return stroke;
}

QJsonObject MarkupAnnotation::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("x"), x},
                       {QStringLiteral("y"), y},
                       {QStringLiteral("text"), text}};
}

std::optional<MarkupAnnotation> MarkupAnnotation::fromJson(const QJsonObject& object)
{
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue x = object.value(QStringLiteral("x"));
    const QJsonValue y = object.value(QStringLiteral("y"));
    const QJsonValue text = object.value(QStringLiteral("text"));
    constexpr qint64 kNotWhole = std::numeric_limits<qint64>::min();
    if (!id.isDouble() || id.toInteger(kNotWhole) == kNotWhole || !x.isDouble() || !y.isDouble()
        || !text.isString()) {
        return std::nullopt;
    }
    return MarkupAnnotation{id.toInteger(), x.toDouble(), y.toDouble(), text.toString()};
}
