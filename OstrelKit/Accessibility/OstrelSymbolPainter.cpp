#include "OstrelSymbolPainter.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainterPath>
#include <QPixmap>

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
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("\u2714")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("\u26A0")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("\u2716")},
        {QStringLiteral("circle.dotted"), QStringLiteral("\u25CC")},
        {QStringLiteral("arrow.backward"), QStringLiteral("\u2190")},
    };
    return table;
}

enum class Painted { None, MagnifyingGlass, ChevronRight, ChevronDown, ChevronUp };

Painted paintedKind(QAnyStringView name)
{
    if (name == QAnyStringView(u"magnifyingglass")) {
        return Painted::MagnifyingGlass;
    }
    if (name == QAnyStringView(u"chevron.right")) {
        return Painted::ChevronRight;
    }
    if (name == QAnyStringView(u"chevron.down")) {
        return Painted::ChevronDown;
    }
    if (name == QAnyStringView(u"chevron.up")) {
        return Painted::ChevronUp;
    }
    return Painted::None;
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
    case Painted::None:
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

QIcon icon(QAnyStringView name, const QColor& color, int sizePx)
{
    if (!canDraw(name) || sizePx <= 0) {
        return {};
    }
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(sizePx, sizePx) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, sizePx, sizePx), name, color);
    painter.end();
    return QIcon(pixmap);
}

} // namespace ostrel::OstrelSymbolPainter
