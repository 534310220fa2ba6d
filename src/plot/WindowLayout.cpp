#include "plot/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace orvala {

std::vector<WinRect> tileLayout(int count, int width, int height, int minWidth, int minHeight)
{
    std::vector<WinRect> out;
    if (count <= 0) return out;
    width = std::max(width, 1);
    height = std::max(height, 1);
    minWidth = std::max(minWidth, 1);
    minHeight = std::max(minHeight, 1);
    // Columns that still fit side by side at the minimum width.
    const int maxColumns = std::max(1, std::min(count, width / minWidth));
    int columns = 1;
    double best = -1;
    for (int c = 1; c <= maxColumns; ++c) {
        const int rows = (count + c - 1) / c;
        const double w = double(width) / c, h = double(height) / rows;
        // How many times the minimum the smaller side of a cell holds; the
        // grid with the largest usable cells wins.
        const double score = std::min(w / minWidth, h / minHeight);
        if (score > best + 1e-12) best = score, columns = c;
    }
    const int rows = (count + columns - 1) / columns;
    const int cellW = std::max(width / columns, minWidth);
    const int cellH = std::max(height / rows, minHeight);
    for (int i = 0; i < count; ++i) out.push_back({(i % columns) * cellW, (i / columns) * cellH, cellW, cellH});
    return out;
}

std::vector<WinRect> cascadeLayout(int count, int width, int height, int minWidth, int minHeight, int step)
{
    std::vector<WinRect> out;
    if (count <= 0) return out;
    step = std::max(step, 1);
    const int w = std::max(width * 2 / 3, minWidth), h = std::max(height * 2 / 3, minHeight);
    // Windows per run down the diagonal before starting again at the top.
    const int perRun = std::max(1, std::min((width - w) / step, (height - h) / step) + 1);
    for (int i = 0; i < count; ++i) {
        const int k = i % perRun;
        // Each new run starts a little to the right so no title bar hides another.
        const int shift = (i / perRun) * step / 2 % std::max(1, width - w + 1);
        out.push_back({k * step + shift, k * step, w, h});
    }
    return out;
}

}  // namespace orvala
