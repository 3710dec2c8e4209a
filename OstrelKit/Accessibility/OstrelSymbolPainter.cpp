#include "OstrelSymbolPainter.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>

namespace ostrel::OstrelSymbolPainter {

namespace {

// Glyphs present in DejaVu Sans (checked by the symbol tests).
const QHash<QString, QString>& glyphTable()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("gearshape"), QStringLiteral("\u2699")},
        {QStringLiteral("questionmark.circle"), QStringLiteral("?")},
        {QStringLiteral("xmark"), QStringLiteral("\u2715")},
        {QStringLiteral("info.circle"), QStringLiteral("\u2139")},
        {QStringLiteral("plus"), QStringLiteral("+")},
        {QStringLiteral("play.fill"), QStringLiteral("\u25B6")},
        {QStringLiteral("pause.fill"), QStringLiteral("\u275A\u275A")},
        {QStringLiteral("stop.fill"), QStringLiteral("\u25A0")},
        {QStringLiteral("forward.fill"), QStringLiteral("\u25B6\u25B6")},
        {QStringLiteral("backward.fill"), QStringLiteral("\u25C0\u25C0")},
        {QStringLiteral("arrow.counterclockwise"), QStringLiteral("\u21BA")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("\u21BB")},
        {QStringLiteral("grid"), QStringLiteral("\u229E")},
        {QStringLiteral("sun.max"), QStringLiteral("\u2600")},
        {QStringLiteral("pencil"), QStringLiteral("\u270E")},
        {QStringLiteral("command"), QStringLiteral("\u2318")},
        {QStringLiteral("terminal"), QStringLiteral(">_")},
        {QStringLiteral("circle.dotted"), QStringLiteral("\u25CC")},
        {QStringLiteral("arrow.backward"), QStringLiteral("\u2190")},
    };
    return table;
}

enum class Painted {
    None,
    MagnifyingGlass,
    ChevronRight,
    ChevronDown,
    ChevronUp,
    // The status marks: one drawing for every status line and indicator.
    CheckCircle,
    CheckCircleFill,
    Triangle,
    TriangleFill,
    XCircleFill,
    InfoCircleFill,
    Circle,
    Rectangle,
    Square,
    // The Preferences section headings.
    Sparkles,
    SlidersHorizontal,
    FigureWalkMotion,
    // The local AI symbol (the model setup view's header).
    Brain,
};

Painted paintedKind(QAnyStringView name)
{
    static const QHash<QString, Painted> kinds{
        {QStringLiteral("magnifyingglass"), Painted::MagnifyingGlass},
        {QStringLiteral("chevron.right"), Painted::ChevronRight},
        {QStringLiteral("chevron.down"), Painted::ChevronDown},
        {QStringLiteral("chevron.up"), Painted::ChevronUp},
        {QStringLiteral("checkmark.circle"), Painted::CheckCircle},
        {QStringLiteral("checkmark.circle.fill"), Painted::CheckCircleFill},
        {QStringLiteral("exclamationmark.triangle"), Painted::Triangle},
        {QStringLiteral("exclamationmark.triangle.fill"), Painted::TriangleFill},
        {QStringLiteral("xmark.circle.fill"), Painted::XCircleFill},
        {QStringLiteral("info.circle.fill"), Painted::InfoCircleFill},
        {QStringLiteral("circle"), Painted::Circle},
        {QStringLiteral("rectangle"), Painted::Rectangle},
        {QStringLiteral("square"), Painted::Square},
        {QStringLiteral("sparkles"), Painted::Sparkles},
        {QStringLiteral("slider.horizontal.3"), Painted::SlidersHorizontal},
        {QStringLiteral("figure.walk.motion"), Painted::FigureWalkMotion},
        {QStringLiteral("brain"), Painted::Brain},
    };
    return kinds.value(name.toString(), Painted::None);
}

// A disc with its mark cut out (`mark` paints in the clear composition mode), or an outlined circle.
void paintCircled(QPainter& painter, const QRectF& box, const QColor& color, bool filled,
                  const std::function<void(QPainter&, qreal stroke)>& mark)
{
    const qreal s = box.width();
    const qreal stroke = s * 0.1;
    QPixmap layer(QSize(int(std::ceil(s * 2)), int(std::ceil(s * 2))));
    layer.setDevicePixelRatio(2.0);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    if (filled) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(QPen(Qt::black, s * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::black);
    } else {
        p.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(stroke / 2, stroke / 2, s - stroke, s - stroke));
    }
    if (mark) {
        p.setBrush(Qt::NoBrush);
        mark(p, s * 0.11);
    }
    p.end();
    painter.drawPixmap(box.topLeft(), layer);
}

void paintTriangle(QPainter& painter, const QRectF& box, const QColor& color, bool filled)
{
    const qreal s = box.width();
    const qreal stroke = s * 0.08;
    QPainterPath triangle;
    triangle.moveTo(s / 2, stroke);
    triangle.lineTo(s - stroke, s * 0.9);
    triangle.lineTo(stroke, s * 0.9);
    triangle.closeSubpath();
    QPixmap layer(QSize(int(std::ceil(s * 2)), int(std::ceil(s * 2))));
    layer.setDevicePixelRatio(2.0);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(filled ? QBrush(color) : QBrush(Qt::NoBrush));
    p.drawPath(triangle);
    if (filled) {
        p.setCompositionMode(QPainter::CompositionMode_Clear);
    }
    const QColor ink = filled ? QColor(Qt::black) : color;
    p.setPen(QPen(ink, stroke, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s / 2, s * 0.38), QPointF(s / 2, s * 0.62));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(s / 2, s * 0.75), stroke * 0.7, stroke * 0.7);
    p.end();
    painter.drawPixmap(box.topLeft(), layer);
}

QPainterPath checkPath(qreal s)
{
    QPainterPath check;
    check.moveTo(s * 0.3, s * 0.52);
    check.lineTo(s * 0.44, s * 0.66);
    check.lineTo(s * 0.7, s * 0.36);
    return check;
}

void paintStatus(QPainter& painter, const QRectF& box, Painted kind, const QColor& color)
{
    const qreal s = box.width();
    const auto drawCheck = [s](QPainter& p, qreal) { p.drawPath(checkPath(s)); };
    switch (kind) {
    case Painted::CheckCircle:
        paintCircled(painter, box, color, false, drawCheck);
        break;
    case Painted::CheckCircleFill:
        paintCircled(painter, box, color, true, drawCheck);
        break;
    case Painted::XCircleFill:
        paintCircled(painter, box, color, true, [s](QPainter& p, qreal) {
            p.drawLine(QPointF(s * 0.34, s * 0.34), QPointF(s * 0.66, s * 0.66));
            p.drawLine(QPointF(s * 0.66, s * 0.34), QPointF(s * 0.34, s * 0.66));
        });
        break;
    case Painted::InfoCircleFill:
        paintCircled(painter, box, color, true, [s](QPainter& p, qreal stroke) {
            p.drawLine(QPointF(s * 0.5, s * 0.46), QPointF(s * 0.5, s * 0.72));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawEllipse(QPointF(s * 0.5, s * 0.3), stroke * 0.7, stroke * 0.7);
        });
        break;
    case Painted::Circle:
        paintCircled(painter, box, color, false, {});
        break;
    case Painted::Triangle:
    case Painted::TriangleFill:
        paintTriangle(painter, box, color, kind == Painted::TriangleFill);
        break;
    default:
        break;
    }
}

// A four-pointed star centred on `centre` with arms `arm` long, filled.
QPainterPath fourPointStar(QPointF centre, qreal arm)
{
    const qreal waist = arm * 0.28;
    QPainterPath star;
    star.moveTo(centre.x(), centre.y() - arm);
    star.quadTo(centre.x() + waist * 0.4, centre.y() - waist * 0.4, centre.x() + arm, centre.y());
    star.quadTo(centre.x() + waist * 0.4, centre.y() + waist * 0.4, centre.x(), centre.y() + arm);
    star.quadTo(centre.x() - waist * 0.4, centre.y() + waist * 0.4, centre.x() - arm, centre.y());
    star.quadTo(centre.x() - waist * 0.4, centre.y() - waist * 0.4, centre.x(), centre.y() - arm);
    star.closeSubpath();
    return star;
}

// One large and two small stars.
void paintSparkles(QPainter& painter, const QRectF& box, const QColor& color)
{
    const qreal s = box.width();
    const auto at = [&box, s](qreal fx, qreal fy) {
        return QPointF(box.left() + fx * s, box.top() + fy * s);
    };
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(fourPointStar(at(0.42, 0.58), s * 0.38));
    painter.drawPath(fourPointStar(at(0.8, 0.22), s * 0.2));
    painter.drawPath(fourPointStar(at(0.82, 0.8), s * 0.14));
}

// Three slider tracks, each with its knob at a different place.
void paintSliders(QPainter& painter, const QRectF& box, const QColor& color, qreal pen)
{
    const qreal s = box.width();
    const qreal knob = std::max(1.5, s * 0.12);
    const qreal rows[] = {0.2, 0.5, 0.8};
    const qreal knobs[] = {0.32, 0.7, 0.45};
    for (int i = 0; i < 3; ++i) {
        const qreal y = box.top() + rows[i] * s;
        painter.setPen(QPen(color, pen * 0.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(box.left() + 0.08 * s, y), QPointF(box.right() - 0.08 * s, y));
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(box.left() + knobs[i] * s, y), knob, knob);
        painter.setBrush(Qt::NoBrush);
    }
}

// A walking figure with two motion lines behind it.
void paintWalkingFigure(QPainter& painter, const QRectF& box, const QColor& color, qreal pen)
{
    const qreal s = box.width();
    const auto at = [&box, s](qreal fx, qreal fy) {
        return QPointF(box.left() + fx * s, box.top() + fy * s);
    };
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(at(0.6, 0.14), s * 0.11, s * 0.11);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(at(0.56, 0.32), at(0.5, 0.62));                                     // body
    painter.drawPolyline(QList<QPointF>{at(0.36, 0.5), at(0.48, 0.38), at(0.56, 0.32)}); // back arm
    painter.drawPolyline(QList<QPointF>{at(0.56, 0.32), at(0.66, 0.46), at(0.78, 0.5)}); // front arm
    painter.drawPolyline(QList<QPointF>{at(0.5, 0.62), at(0.4, 0.76), at(0.32, 0.92)});  // back leg
    painter.drawPolyline(QList<QPointF>{at(0.5, 0.62), at(0.64, 0.76), at(0.68, 0.92)}); // front leg
    painter.setPen(QPen(color, pen * 0.7, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(at(0.06, 0.42), at(0.24, 0.42));
    painter.drawLine(at(0.1, 0.6), at(0.28, 0.6));
}

// The local AI symbol: two hemispheres seen from above, the midline between them and two folds in each.
void paintBrain(QPainter& painter, const QRectF& box, const QColor& color)
{
    const double side = box.width();
    const auto at = [&box](double fx, double fy) {
        return QPointF(box.left() + fx * box.width(), box.top() + fy * box.height());
    };
    painter.setPen(QPen(color, std::max(1.0, side / 12.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath left;
    left.addEllipse(QRectF(at(0.08, 0.16), at(0.54, 0.84)));
    QPainterPath right;
    right.addEllipse(QRectF(at(0.46, 0.16), at(0.92, 0.84)));
    painter.drawPath(left.united(right));
    painter.drawLine(at(0.5, 0.24), at(0.5, 0.78));
    for (const double mirror : {0.0, 1.0}) {
        const auto x = [mirror](double fx) { return mirror == 0.0 ? fx : 1.0 - fx; };
        QPainterPath folds;
        folds.moveTo(at(x(0.18), 0.42));
        folds.quadTo(at(x(0.3), 0.32), at(x(0.4), 0.44));
        folds.moveTo(at(x(0.2), 0.62));
        folds.quadTo(at(x(0.32), 0.7), at(x(0.42), 0.6));
        painter.drawPath(folds);
    }
}

void paintLines(QPainter& painter, const QRectF& rect, Painted kind, const QColor& color)
{
    const double side = std::min(rect.width(), rect.height());
    const QRectF box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    const double pen = std::max(1.0, side / 8.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const auto at = [&box](double fx, double fy) {
        return QPointF(box.left() + fx * box.width(), box.top() + fy * box.height());
    };
    switch (kind) {
    case Painted::MagnifyingGlass: {
        const double r = side * 0.3;
        const QPointF c = at(0.42, 0.42);
        painter.drawEllipse(c, r, r);
        painter.drawLine(at(0.64, 0.64), at(0.88, 0.88));
        break;
    }
    case Painted::ChevronRight:
        painter.drawPolyline(QList<QPointF>{at(0.35, 0.2), at(0.68, 0.5), at(0.35, 0.8)});
        break;
    case Painted::ChevronDown:
        painter.drawPolyline(QList<QPointF>{at(0.2, 0.35), at(0.5, 0.68), at(0.8, 0.35)});
        break;
    case Painted::ChevronUp:
        painter.drawPolyline(QList<QPointF>{at(0.2, 0.65), at(0.5, 0.32), at(0.8, 0.65)});
        break;
    case Painted::Rectangle:
        painter.setPen(QPen(color, std::max(1.0, side / 11.0)));
        painter.drawRoundedRect(QRectF(at(0.06, 0.22), at(0.94, 0.78)), side * 0.12, side * 0.12);
        break;
    case Painted::Square:
        painter.setPen(QPen(color, std::max(1.0, side / 11.0)));
        painter.drawRoundedRect(QRectF(at(0.14, 0.14), at(0.86, 0.86)), side * 0.12, side * 0.12);
        break;
    case Painted::Sparkles:
        paintSparkles(painter, box, color);
        break;
    case Painted::SlidersHorizontal:
        paintSliders(painter, box, color, pen);
        break;
    case Painted::FigureWalkMotion:
        paintWalkingFigure(painter, box, color, pen);
        break;
    case Painted::Brain:
        paintBrain(painter, box, color);
        break;
    default:
        paintStatus(painter, box, kind, color);
        break;
    }
    painter.restore();
}

} // namespace

std::optional<QString> glyph(QAnyStringView name)
{
    const auto& table = glyphTable();
    const auto it = table.constFind(name.toString());
    if (it == table.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

bool canDraw(QAnyStringView name)
{
    return paintedKind(name) != Painted::None || glyph(name).has_value();
}

bool paint(QPainter& painter, const QRectF& rect, QAnyStringView name, const QColor& color)
{
    const Painted kind = paintedKind(name);
    if (kind != Painted::None) {
        paintLines(painter, rect, kind, color);
        return true;
    }
    const auto text = glyph(name);
    if (!text) {
        return false;
    }
    painter.save();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(1, int(std::min(rect.width(), rect.height()) * 0.85)));
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignCenter, *text);
    painter.restore();
    return true;
}

QPixmap pixmap(QAnyStringView name, const QColor& color, int sizePx, qreal scale)
{
    QPixmap result(QSize(int(sizePx * scale), int(sizePx * scale)));
    result.setDevicePixelRatio(scale);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    paint(painter, QRectF(0, 0, sizePx, sizePx), name, color);
    painter.end();
    return result;
}

QIcon icon(QAnyStringView name, const QColor& color, int sizePx)
{
    if (!canDraw(name) || sizePx <= 0) {
        return {};
    }
    return QIcon(pixmap(name, color, sizePx, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0));
}

} // namespace ostrel::OstrelSymbolPainter
