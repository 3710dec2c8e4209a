#pragma once

#include <QLayout>
#include <QList>

namespace ostrel {

// Lays its items out left to right at their size hints and starts a new row where the next item would pass
// the right edge, so every item shows whole at any width at least as wide as the widest one; the height
// follows the width (height for width). An item whose own height follows its width (a label that wraps) and
// whose hint is wider than the rows gets a row of its own at the rows' width and the height it needs there;
// it asks for no more width than its minimum size hint. Hidden items take no room. GUI thread only.
class OstrelFlowLayout : public QLayout
{
public:
    // `spacing` is the room between items in a row and between rows, in pixels.
    explicit OstrelFlowLayout(QWidget* parent = nullptr, int spacing = 4);
    ~OstrelFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // The widest item in a row of its own (a wrapping item at its minimum size hint, one line high).
    QSize minimumSize() const override;
    // Every item in one row.
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in `rect` (only when `apply`) and returns the height they take, margins included.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};

} // namespace ostrel
