#pragma once

namespace gm::platform {

// Global display coordinates: origin at the top left of the main screen, y downwards.
struct Point {
    double x = 0;
    double y = 0;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    // Half-open on the far edges, so a point on the border between two
    // side-by-side screens belongs to exactly one of them.
    constexpr bool contains(Point p) const {
        return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
    }
};

}  // namespace gm::platform
