#pragma once

#include <QColor>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

// Value types of the markup overlay. Points are in the overlay's own space: origin top left, y down.

enum class MarkupMode { select, note, draw, arrow };
inline constexpr std::array<MarkupMode, 4> kAllMarkupModes{MarkupMode::select, MarkupMode::note, MarkupMode::draw,
                                                           MarkupMode::arrow};
QString rawValue(MarkupMode mode);
// Exact match only: "Draw" gives nothing.
std::optional<MarkupMode> markupModeFromRawValue(const QString& raw);

enum class MarkupColor { yellow, red, blue, white };
inline constexpr std::array<MarkupColor, 4> kAllMarkupColors{MarkupColor::yellow, MarkupColor::red,
                                                             MarkupColor::blue, MarkupColor::white};
// The lower-case hex written to the feedback file ("#e8ff00").
QString rawValue(MarkupColor color);
std::optional<MarkupColor> markupColorFromRawValue(const QString& raw);
// What the views draw: the two-decimal components (yellow is 0.91, 1.0, 0.0), not the hex value.
QColor displayColor(MarkupColor color);

enum class MarkupStrokeSize { thin, medium, thick, fat };
inline constexpr std::array<MarkupStrokeSize, 4> kAllMarkupStrokeSizes{
    MarkupStrokeSize::thin, MarkupStrokeSize::medium, MarkupStrokeSize::thick, MarkupStrokeSize::fat};
// Line width in points: 2, 3, 5, 8.
double rawValue(MarkupStrokeSize size);
// Exactly 2, 3, 5 or 8.
std::optional<MarkupStrokeSize> markupStrokeSizeFromRawValue(double raw);
// "thin", "med", "thick", "fat".
QString label(MarkupStrokeSize size);

// One finished freehand stroke or arrow; an arrow holds exactly two points, tail then head.
struct MarkupStroke {
    enum class StrokeType { freehand, arrow };

    MarkupStroke(StrokeType type, QList<QPointF> points, MarkupColor color, double size);

    QUuid id;
    StrokeType type;
    QList<QPointF> points;
    MarkupColor color;
    double size;

    // "M x y L x y ...", each coordinate truncated toward zero; empty below two points.
    QString pathData() const;

    QJsonObject toJson() const;
    static std::optional<MarkupStroke> fromJson(const QJsonObject& object);
};

QString rawValue(MarkupStroke::StrokeType type);

// One numbered note; its point is the centre of its card.
struct MarkupAnnotation {
    qint64 id = 0;
    double x = 0;
    double y = 0;
    QString text;

    QJsonObject toJson() const;
    static std::optional<MarkupAnnotation> fromJson(const QJsonObject& object);

    friend bool operator==(const MarkupAnnotation&, const MarkupAnnotation&) = default;
};

// Truncation toward zero for coordinates that leave the overlay; saturates instead of overflowing.
qint64 truncatedCoordinate(double value);
