#pragma once

#include <QPoint>
#include <QRect>

namespace palmota::ui {

// Where a window whose frame would be `frame` goes so that it lies wholly within
// `available` (a screen less its panels), moved as little as it can be and never resized;
// the new top-left corner of its frame. A frame larger than `available` keeps its top-left
// corner inside it, so that its caption stays within reach.
QPoint placeWithin(const QRect& frame, const QRect& available);

}  // namespace palmota::ui
