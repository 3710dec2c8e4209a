#include "OstrelFlowLayout.h"

#include <QWidget>
#include <algorithm>

namespace ostrel {

namespace {

// An item that wraps its content: it can be given less width than its hint and grows in height instead.
bool wraps(const QLayoutItem* item)
{
    return item->hasHeightForWidth() && item->widget();
}

// The size `item` takes in rows `width` wide: its hint, or for a wrapping item wider than the rows, the
// rows' width and the height it needs there.
QSize placedSize(QLayoutItem* item, int width)
{
    const QSize hint = item->sizeHint();
    if (hint.width() <= width || !wraps(item)) {
        return hint;
    }
    const int narrowed = std::max(width, item->widget()->minimumSizeHint().width());
    return {narrowed, item->heightForWidth(narrowed)};
}

} // namespace

OstrelFlowLayout::OstrelFlowLayout(QWidget* parent, int spacing) : QLayout(parent), m_spacing(spacing) {}

OstrelFlowLayout::~OstrelFlowLayout()
{
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void OstrelFlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

int OstrelFlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem* OstrelFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* OstrelFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size()) {
        return nullptr;
    }
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations OstrelFlowLayout::expandingDirections() const
{
    return {};
}

bool OstrelFlowLayout::hasHeightForWidth() const
{
    return true;
}

int OstrelFlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize OstrelFlowLayout::minimumSize() const
{
    QSize size;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            continue;
        }
        if (wraps(item)) {
            // The height it needs at a given width comes through height for width; the minimum keeps to
            // one line, so a long label cannot make the whole window taller.
            const QSize hint = item->sizeHint();
            size = size.expandedTo(
                QSize(std::min(item->widget()->minimumSizeHint().width(), hint.width()), hint.height()));
        } else {
            size = size.expandedTo(item->minimumSize().expandedTo(item->sizeHint()));
        }
    }
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize OstrelFlowLayout::sizeHint() const
{
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        if (!item->isEmpty()) {
            const QSize hint = item->sizeHint();
            width += (width > 0 ? m_spacing : 0) + hint.width();
            height = std::max(height, hint.height());
        }
    }
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void OstrelFlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int OstrelFlowLayout::arrange(const QRect& rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    int x = area.left();
    int y = area.top();
    int rowHeight = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            continue;
        }
        const QSize size = placedSize(item, area.width());
        if (x > area.left() && x + size.width() - 1 > area.right()) {
            x = area.left();
            y += rowHeight + m_spacing;
            rowHeight = 0;
        }
        if (apply) {
            item->setGeometry(QRect(QPoint(x, y), size));
        }
        x += size.width() + m_spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    return y + rowHeight - rect.top() + contentsMargins().bottom();
}

} // namespace ostrel
