#include "DockDrop.h"

namespace orvala {

DropRect dockDropRect(int clientWidth, int clientHeight)
{
    if (clientWidth <= 0 || clientHeight <= 0) return {};
    // Integer division as the rule is stated: a 699 px window gives 99 px, not 99.86.
    const int width = clientWidth / 7;
    if (width == 0) return {};
    return {clientWidth - width, 0, width, clientHeight};
}

bool dropsInto(const DropRect& r, int x, int y)
{
    return !r.empty() && x >= r.x && x - r.x < r.width && y >= r.y && y - r.y < r.height;
}

}  // namespace orvala
