#pragma once

#include <QWidget>

namespace tovarine {

// The product word "tovarine" in two halves, "tova" yellow and "rine" white, serif 44 px, with a "™" (serif
// 11 px, white at 70%) hung 10 px right of and 10 px below the word's top-right corner. GUI thread only.
class Wordmark : public QWidget
{
    Q_OBJECT
public:
    explicit Wordmark(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont m_wordFont;
    QFont m_markFont;
};

} // namespace tovarine
