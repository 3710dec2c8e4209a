#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

namespace ostrel {

// The About window's icon tile: a 110 × 110 rounded square (radius 26) with a diagonal gradient and an
// outline, and the emblems on top: up to three in the first row (36 pt when there are fewer than three,
// 26 pt otherwise) and, with four or more, every further emblem in a second row at 26 pt. The whole tile is
// drawn scaled about its centre by `tileScale`, inside a box that holds the tile and its outline at the
// largest scale the About window breathes to, so nothing is clipped. The tile is drawn once into a cached
// image; a change of scale only redraws that image scaled. GUI thread only.
class AboutEmblemTile : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double tileScale READ tileScale WRITE setTileScale)
public:
    static constexpr int kSidePt = 110;
    // The largest tileScale drawn without clipping.
    static constexpr double kMaxScale = 1.025;
    // The widget's side: the tile at kMaxScale plus its outline, rounded up.
    static int boxSidePt();

    AboutEmblemTile(QStringList emblems, QColor top, QColor bottom, QColor stroke, QWidget* parent = nullptr);

    double tileScale() const { return m_scale; }
    void setTileScale(double scale);

    // The emblem rows as drawn, and the size in points of each row's emblems.
    QList<QStringList> rows() const;
    double emblemSizePt(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintTile(QPainter& painter, const QRectF& tile) const;
    QPixmap m_cache;

    QStringList m_emblems;
    QColor m_top;
    QColor m_bottom;
    QColor m_stroke;
    double m_scale = 1.0;
};

} // namespace ostrel
