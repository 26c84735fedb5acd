// A rectangle of editor pixels: left, top, right, bottom, right and bottom
// exclusive for hit tests. All four 0 is the empty rectangle, and only that.
// A plain value, used on the editor's window thread.
#pragma once

#include <algorithm>

struct IRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    IRect() = default;
    IRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    bool Empty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    int W() const { return right - left; }
    int H() const { return bottom - top; }
    bool operator==(const IRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const IRect& o) const { return !(*this == o); }

    IRect Union(const IRect& o) const {
        if (o.Empty())
            return *this;
        if (Empty())
            return o;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }

    // Rectangles touching at this one's right or bottom edge count as meeting:
    // a repaint area ending where a control starts still repaints it.
    bool Intersects(const IRect& o) const {
        if (Empty() || o.Empty())
            return false;
        return right >= o.left && left < o.right && bottom >= o.top && top < o.bottom;
    }

    IRect Intersection(const IRect& o) const {
        if (!Intersects(o))
            return {};
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
};
