#include "AboutEmblemTile.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ostrel {

namespace {
constexpr double kRadiusPt = 26;
constexpr double kStrokePt = 1.5;
constexpr double kRowGapPt = 2;
constexpr double kEmblemGapPt = 4;

QFont emblemFont(double sizePt)
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Color Emoji"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(int(sizePt));
    return font;
}
} // namespace

AboutEmblemTile::AboutEmblemTile(QStringList emblems, QColor top, QColor bottom, QColor stroke, QWidget* parent)
    : QWidget(parent)
    , m_emblems(std::move(emblems))
    , m_top(std::move(top))
    , m_bottom(std::move(bottom))
    , m_stroke(std::move(stroke))
{
    setFixedSize(boxSidePt(), boxSidePt());
}

int AboutEmblemTile::boxSidePt()
{
    return int(std::ceil(kSidePt * kMaxScale + kStrokePt * kMaxScale)) + 1;
}

void AboutEmblemTile::setTileScale(double scale)
{
    if (scale == m_scale) {
        return;
    }
    m_scale = scale;
    update();
}

QList<QStringList> AboutEmblemTile::rows() const
{
    QList<QStringList> result;
    if (m_emblems.isEmpty()) {
        return result;
    }
    result.append(m_emblems.mid(0, 3));
    if (m_emblems.size() >= 4) {
        result.append(m_emblems.mid(3));
    }
    return result;
}

double AboutEmblemTile::emblemSizePt(int row) const
{
    if (row == 0 && m_emblems.size() < 3) {
        return 36;
    }
    return 26;
}

void AboutEmblemTile::paintEvent(QPaintEvent*)
{
    const qreal ratio = devicePixelRatioF() * 2; // drawn at twice the pixels, so scaling stays sharp
    const QSize pixels(int(std::ceil(kSidePt * ratio)), int(std::ceil(kSidePt * ratio)));
    if (m_cache.size() != pixels) {
        m_cache = QPixmap(pixels);
        m_cache.setDevicePixelRatio(ratio);
        m_cache.fill(Qt::transparent);
        QPainter cachePainter(&m_cache);
        paintTile(cachePainter, QRectF(0, 0, kSidePt, kSidePt));
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPointF centre = QRectF(rect()).center();
    const double side = kSidePt * m_scale;
    painter.drawPixmap(QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side), m_cache,
                       QRectF(m_cache.rect()));
}

void AboutEmblemTile::paintTile(QPainter& painter, const QRectF& box) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPointF centre = box.center();

    // The outline is inset by half its width so the full stroke stays inside the tile's box.
    const QRectF tile = box.adjusted(kStrokePt / 2, kStrokePt / 2, -kStrokePt / 2, -kStrokePt / 2);
    QPainterPath path;
    path.addRoundedRect(tile, kRadiusPt, kRadiusPt);
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, m_top);
    gradient.setColorAt(1, m_bottom);
    painter.fillPath(path, gradient);
    painter.setPen(QPen(m_stroke, kStrokePt));
    painter.drawPath(path);

    const QList<QStringList> emblemRows = rows();
    QList<double> heights;
    QList<double> widths;
    double total = 0;
    for (int r = 0; r < emblemRows.size(); ++r) {
        const QFontMetricsF metrics(emblemFont(emblemSizePt(r)));
        double width = 0;
        for (const QString& emblem : emblemRows[r]) {
            width += metrics.horizontalAdvance(emblem);
        }
        width += kEmblemGapPt * std::max<qsizetype>(0, emblemRows[r].size() - 1);
        widths.append(width);
        heights.append(metrics.height());
        total += metrics.height();
    }
    total += kRowGapPt * std::max<qsizetype>(0, emblemRows.size() - 1);
    painter.setPen(Qt::white);
    double y = centre.y() - total / 2;
    for (int r = 0; r < emblemRows.size(); ++r) {
        const QFont font = emblemFont(emblemSizePt(r));
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        double x = centre.x() - widths[r] / 2;
        for (const QString& emblem : emblemRows[r]) {
            painter.drawText(QPointF(x, y + metrics.ascent()), emblem);
            x += metrics.horizontalAdvance(emblem) + kEmblemGapPt;
        }
        y += heights[r] + kRowGapPt;
    }
}

} // namespace ostrel
