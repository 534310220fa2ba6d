#include "Scatter3D.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "parallel/TMultiThread.h"

namespace orvala {

namespace {

struct Projected {
    std::vector<float> xyz;
    std::vector<uint32_t> color;
    int skipped = 0;
};

double weight(const TVector& d, int p) { return p < int(d.size()) ? d[size_t(p)] : 0.0; }

}  // namespace

uint32_t reducedColor(uint32_t color)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (color >> shift) & 0xFF;
        const uint32_t level = (c * 3 + 127) / 255;  // 0..3, nearest
        out |= (level * 85) << shift;
    }
    return out;
}

Scatter3DPoints prepareScatter3D(const double* data, int rows, int cols, const TVector& dx, const TVector& dy,
                                 const TVector& dz, const uint32_t* colors, int budget, TMultiThread* pool)
{
    Scatter3DPoints out;
    if (!data || rows <= 0 || cols <= 0 || budget <= 0) return out;
    out.step = int((int64_t(rows) + budget - 1) / budget);
    const int taken = (rows + out.step - 1) / out.step;  // events 0, step, 2 step, ...

    // The weights as dense rows, zero where a direction is short.
    std::vector<double> w(size_t(3) * size_t(cols));
    for (int p = 0; p < cols; ++p) {
        w[size_t(p)] = weight(dx, p);
        w[size_t(cols + p)] = weight(dy, p);
        w[size_t(2 * cols + p)] = weight(dz, p);
    }
    constexpr int Chunk = 1 << 16;
    const int chunks = (taken + Chunk - 1) / Chunk;
    std::vector<Projected> parts(static_cast<size_t>(chunks));
    auto project = [&](int c) {
        Projected& part = parts[size_t(c)];
        const int from = c * Chunk, to = std::min(taken, from + Chunk);
        part.xyz.reserve(size_t(to - from) * 3);
        part.color.reserve(size_t(to - from));
        for (int k = from; k < to; ++k) {
            const size_t e = size_t(k) * size_t(out.step);
            const double* row = data + e * size_t(cols);
            double v[3] = {0, 0, 0};
            for (int a = 0; a < 3; ++a) {
                const double* wa = w.data() + size_t(a) * size_t(cols);
                for (int p = 0; p < cols; ++p)
                    if (wa[p] != 0) v[a] += wa[p] * row[p];
            }
            // Drawn in single precision: a coordinate beyond its range counts as
            // non-finite (NaN fails the comparison too).
            constexpr double Largest = std::numeric_limits<float>::max();
            if (!(std::fabs(v[0]) <= Largest && std::fabs(v[1]) <= Largest && std::fabs(v[2]) <= Largest)) {
                ++part.skipped;
                continue;
            }
            part.xyz.insert(part.xyz.end(), {float(v[0]), float(v[1]), float(v[2])});
            part.color.push_back(colors ? colors[e] & 0x00FFFFFFu : 0u);
        }
    };
    if (pool && pool->NumberOfThreads() > 1 && chunks > 1) {
        pool->Process(
            [&](int, int index, int size, int&, std::atomic<bool>& aborted) {
                for (int c = index; c < index + size && !aborted; ++c) project(c);
            },
            {}, chunks, 1);
    } else {
        for (int c = 0; c < chunks; ++c) project(c);
    }

    // Distinct colours, in order of first appearance; too many are reduced.
    std::unordered_map<uint32_t, int> groupOf;
    bool reduce = false;
    for (const Projected& part : parts) {
        for (uint32_t c : part.color) {
            if (groupOf.emplace(c, 0).second && int(groupOf.size()) > Scatter3DMaxGroups) {
                reduce = true;
                break;
            }
        }
        if (reduce) break;
    }
    groupOf.clear();
    for (int a = 0; a < 3; ++a) {
        out.lo[a] = INFINITY;
        out.hi[a] = -INFINITY;
    }
    for (const Projected& part : parts) {
        out.skipped += part.skipped;
        for (size_t k = 0; k < part.color.size(); ++k) {
            const uint32_t c = reduce ? reducedColor(part.color[k]) : part.color[k];
            auto [it, fresh] = groupOf.emplace(c, int(out.groups.size()));
            if (fresh) out.groups.push_back({c, {}});
            std::vector<float>& xyz = out.groups[size_t(it->second)].xyz;
            for (int a = 0; a < 3; ++a) {
                const float v = part.xyz[k * 3 + size_t(a)];
                xyz.push_back(v);
                out.lo[a] = std::min(out.lo[a], double(v));
                out.hi[a] = std::max(out.hi[a], double(v));
            }
            ++out.points;
        }
    }
    if (out.points == 0)
        for (int a = 0; a < 3; ++a) out.lo[a] = out.hi[a] = 0;
    return out;
}

int dominantParameter(const TVector& direction)
{
    int best = -1;
    double size = 0;
    for (size_t p = 0; p < direction.size(); ++p) {
        const double a = std::fabs(direction[p]);
        if (a > size) {
            size = a;
            best = int(p);
        }
    }
    return best;
}

TVector parameterAxis(int n, int p)
{
    TVector d(size_t(std::max(n, 0)), 0.0);
    if (p >= 0 && p < n) d[size_t(p)] = 1.0;
    return d;
}

}  // namespace orvala
