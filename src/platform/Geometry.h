#pragma once

#include <algorithm>

namespace zg {

// Global desktop coordinates: origin at the top-left corner of the primary display, y growing
// downwards, in points (X11: pixels).
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    double right() const { return x + width; }
    double bottom() const { return y + height; }
    bool operator==(const Rect&) const = default;

    // The bounding box of both; an empty rectangle adds nothing.
    Rect united(const Rect& other) const {
        if (empty()) return other;
        if (other.empty()) return *this;
        const double left = std::min(x, other.x), top = std::min(y, other.y);
        return {left, top, std::max(right(), other.right()) - left,
                std::max(bottom(), other.bottom()) - top};
    }
};

}  // namespace zg
