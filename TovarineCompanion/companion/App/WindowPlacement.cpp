#include "WindowPlacement.h"

#include <algorithm>

namespace tovarine::WindowPlacement {

QRect openingGeometry(const QRect& available, const QMargins& frame, QSize wantedContent,
                      QSize minimumContent)
{
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const int width =
        std::max(std::min(wantedContent.width(), available.width() - frameWidth), minimumContent.width());
    const int height =
        std::max(std::min(wantedContent.height(), available.height() - frameHeight), minimumContent.height());
    // The framed window, placed in the free area; when it is larger, from the free area's top-left corner.
    const int spareWidth = available.width() - (width + frameWidth);
    const int spareHeight = available.height() - (height + frameHeight);
    const int frameLeft = available.left() + std::max(0, spareWidth / 2);
    const int frameTop = available.top() + std::max(0, spareHeight / 2);
    return {frameLeft + frame.left(), frameTop + frame.top(), width, height};
}

} // namespace tovarine::WindowPlacement
