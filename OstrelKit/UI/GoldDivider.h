#pragma once

#include <QWidget>

namespace ostrel {

// The kit's gold divider: a 1-point line of ostrelGoldDark at the given opacity, 8 points in from each
// side, with 1 point of space above and below (3 points tall in layout at any opacity). GUI thread only.
class GoldDivider : public QWidget
{
    Q_OBJECT
public:
    explicit GoldDivider(double opacity, QWidget* parent = nullptr);

    double opacity() const { return m_opacity; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_opacity;
};

} // namespace ostrel
