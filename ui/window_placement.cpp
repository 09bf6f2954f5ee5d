#include "ui/window_placement.h"

#include <algorithm>

namespace palmota::ui {

QPoint placeWithin(const QRect& frame, const QRect& available) {
    // A QRect's right() and bottom() are its last pixels, one short of left + width.
    const auto fit = [](int start, int length, int first, int extent) {
        return std::max(first, std::min(start, first + extent - length));
    };
    return {fit(frame.left(), frame.width(), available.left(), available.width()),
            fit(frame.top(), frame.height(), available.top(), available.height())};
}

}  // namespace palmota::ui
