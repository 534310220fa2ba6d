#pragma once
// Where a plot window accepts its own control panel while the panel is
// dragged: the right seventh of the window's client area, full height.
// Plain integer geometry, so the rule is the same under every window manager.

namespace orvala {

struct DropRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const DropRect&) const = default;
};

// The drop rectangle of a client area clientWidth x clientHeight: x from
// clientWidth - clientWidth div 7 up to the right edge, y over the whole
// height. Empty for an area narrower than 7 pixels or with no height.
DropRect dockDropRect(int clientWidth, int clientHeight);

// Whether the client point (x, y) lies in r: left and top edges included,
// right and bottom excluded, so the rectangle covers exactly its pixels.
bool dropsInto(const DropRect& r, int x, int y);

}  // namespace orvala
