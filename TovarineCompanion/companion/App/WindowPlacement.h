#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Where a window opens on its screen. Sizes and positions in device-independent pixels. Any thread (plain
// geometry).
namespace tovarine::WindowPlacement {

// The content geometry (without the window manager's frame) of a window that wants `wantedContent` on a
// screen whose free area is `available`, with a frame of `frame` around the content (none known: zero):
// the wanted size, cut so that the content and its frame fit the free area but never below
// `minimumContent`; the framed window centred across the free area and at its top when it takes the whole
// height, else centred in it too. A window whose minimum does not fit keeps the free area's top-left corner
// (its title bar stays reachable) and runs over the bottom or right edge.
QRect openingGeometry(const QRect& available, const QMargins& frame, QSize wantedContent,
                      QSize minimumContent);

} // namespace tovarine::WindowPlacement
