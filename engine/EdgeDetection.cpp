#include "engine/EdgeDetection.h"

#include "engine/MapCheck.h"
#include "engine/ParallelRows.h"
#include "engine/imagproc.h"

#include <array>
#include <cstdlib>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Edge detection
// ---------------------------------------------------------------------------------------------
//
// The gradient's direction is the angle of gx / gy from the y axis, folded into [0, 180) and
// held in single precision; its sector (0, 45, 90, 135) chooses the two neighbours compared.
// The sector bounds 22.5 and 67.5 degrees are the slopes sqrt 2 - 1 and sqrt 2 + 1, so with
// r = |gx| / |gy| the sector follows from two exact integer comparisons:
//   r < sqrt 2 - 1  <=>  (|gx| + |gy|)^2 < 2 gy^2
//   r > sqrt 2 + 1  <=>  |gx| > |gy| and (|gx| - |gy|)^2 > 2 gy^2
// With |gx|, |gy| <= 1020 the nearest slope to either bound (408 / 985 and its inverse) gives an
// angle 1.8e-5 degrees away from it, more than the single-precision angle's half step there
// (at most 7.6e-6), so the comparisons and the arctangent always agree.

namespace {

enum TSector { Sector0 = 0, Sector45 = 45, Sector90 = 90, Sector135 = 135 };

inline TSector SectorOf(int Gx, int Gy) {
    if (Gy == 0) return Gx == 0 ? Sector0 : Sector90;
    const int ax = std::abs(Gx), ay = std::abs(Gy);
    const int twoGy2 = 2 * ay * ay;
    const bool belowLow = (ax + ay) * (ax + ay) < twoGy2;             // under 22.5 degrees from the y axis
    const bool aboveHigh = ax > ay && (ax - ay) * (ax - ay) > twoGy2; // over 67.5 degrees
    if (Gx == 0 || (Gx > 0) == (Gy > 0)) return belowLow ? Sector0 : aboveHigh ? Sector90 : Sector45;
    // Opposite signs: the angle is 180 minus the same arctangent.
    return aboveHigh ? Sector90 : belowLow ? Sector0 : Sector135;
}

void DetectRows(const uint8_t* T, uint8_t* Dst, int W, int First, int Last) {
    for (int y = First; y < Last; ++y) {
        const uint8_t* below = T + static_cast<size_t>(y - 1) * W; // map row y - 1
        const uint8_t* row = below + W;
        const uint8_t* above = row + W; // map row y + 1
        uint8_t* out = Dst + static_cast<size_t>(y) * W;
        for (int x = 1; x < W - 1; ++x) {
            const int gy =
                (below[x - 1] + 2 * below[x] + below[x + 1]) - (above[x - 1] + 2 * above[x] + above[x + 1]);
            const int gx = (below[x - 1] + 2 * row[x - 1] + above[x - 1]) -
                           (below[x + 1] + 2 * row[x + 1] + above[x + 1]);
            int mag = std::abs(gy) + std::abs(gx);
            if (mag > 255) mag = 255;
            // Under 30 no rule can make an edge.
            if (mag < 30) {
                out[x] = 0;
                continue;
            }
            int p, q;
            switch (SectorOf(gx, gy)) {
            case Sector0:
                p = row[x - 1], q = row[x + 1];
                break;
            case Sector45:
                p = above[x - 1], q = below[x + 1];
                break;
            case Sector90:
                p = below[x], q = above[x];
                break;
            default:
                p = below[x - 1], q = above[x + 1];
                break;
            }
            uint8_t result;
            if (mag < p || mag < q)
                result = 0;
            else if (mag >= 100)
                result = 255;
            else
                result = below[x - 1] > 100 || below[x] > 100 || below[x + 1] > 100 || row[x - 1] > 100 ||
                                 row[x + 1] > 100 || above[x - 1] > 100 || above[x] > 100 ||
                                 above[x + 1] > 100
                             ? 255
                             : 0;
            out[x] = result;
        }
    }
}

} // namespace

int GradientSector(int Gx, int Gy) {
    return SectorOf(Gx, Gy);
}

void DetectEdges(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "DetectEdges");
    CheckMapSize(Dst, W, H, "DetectEdges");
    if (W < 3 || H < 3) return;
    TByteMap t(MapElements(W, H));
    GaussianBlur5x5(Src, t, W, H);
    ParallelRows(1, H - 1, MinRowBand(W),
                 [&](int first, int last) { DetectRows(t.data(), Dst.data(), W, first, last); });
}

// ---------------------------------------------------------------------------------------------
// Thinning
// ---------------------------------------------------------------------------------------------
//
// Whether a set pixel is removed depends only on its eight neighbours, so each sub-pass reads a
// table by the neighbours' bit pattern. A pixel that a sub-pass kept stays kept by the next
// sub-pass of the same kind until one of its neighbours is removed; after a first full sweep
// only the neighbours of removed pixels are examined again. This visits far fewer pixels than
// sweeping the whole range every time, and removes exactly the same ones.

namespace {

// Bit k of a pattern is neighbour P(k + 2): P2 above... in map terms (x, y - 1), then clockwise
// P3 (x + 1, y - 1), P4 (x + 1, y), P5 (x + 1, y + 1), P6 (x, y + 1), P7 (x - 1, y + 1),
// P8 (x - 1, y), P9 (x - 1, y - 1).
struct TThinTables {
    std::array<uint8_t, 256> Remove[2]{};
    constexpr TThinTables() {
        for (int code = 0; code < 256; ++code) {
            auto p = [code](int n) { return (code >> (n - 2)) & 1; }; // P2 .. P9
            int b = 0, a = 0;
            for (int n = 2; n <= 9; ++n) {
                b += p(n);
                if (p(n) == 0 && p(n == 9 ? 2 : n + 1) == 1) ++a;
            }
            const bool common = b >= 2 && b <= 6 && a == 1;
            Remove[0][code] = common && !(p(2) && p(4) && p(6)) && !(p(4) && p(6) && p(8));
            Remove[1][code] = common && !(p(2) && p(4) && p(8)) && !(p(2) && p(6) && p(8));
        }
    }
};

constexpr TThinTables ThinTables;

class TThinning {
public:
    TThinning(uint8_t* Map, int W, int H) : FMap(Map), FW(W), FH(H), FQueued(MapElements(W, H)) {}

    void Run() {
        // The first iteration sweeps the whole range in both sub-passes.
        bool changed = Sweep(0);
        Forget(1);
        changed = Sweep(1) || changed;
        while (changed) {
            changed = Revisit(0);
            changed = Revisit(1) || changed;
        }
    }

private:
    int Pattern(size_t I) const {
        const uint8_t* m = FMap;
        const size_t w = FW;
        return (m[I - w] != 0) | (m[I - w + 1] != 0) << 1 | (m[I + 1] != 0) << 2 | (m[I + w + 1] != 0) << 3 |
               (m[I + w] != 0) << 4 | (m[I + w - 1] != 0) << 5 | (m[I - 1] != 0) << 6 |
               (m[I - w - 1] != 0) << 7;
    }

    bool Sweep(int Pass) {
        const uint8_t* table = ThinTables.Remove[Pass].data();
        for (int y = 2; y <= FH - 2; ++y) {
            const size_t base = static_cast<size_t>(y) * FW;
            for (int x = 2; x <= FW - 2; ++x) {
                const size_t i = base + x;
                if (FMap[i] != 0 && table[Pattern(i)]) FFlagged.push_back(i);
            }
        }
        return Remove();
    }

    bool Revisit(int Pass) {
        const uint8_t* table = ThinTables.Remove[Pass].data();
        const uint8_t bit = static_cast<uint8_t>(1 << Pass);
        for (size_t i : FDirty[Pass]) {
            FQueued[i] &= static_cast<uint8_t>(~bit);
            if (FMap[i] != 0 && table[Pattern(i)]) FFlagged.push_back(i);
        }
        FDirty[Pass].clear();
        return Remove();
    }

    // Drops the pixels waiting for a sub-pass that sweeps everything anyway.
    void Forget(int Pass) {
        for (size_t i : FDirty[Pass])
            FQueued[i] &= static_cast<uint8_t>(~(1 << Pass));
        FDirty[Pass].clear();
    }

    // Clears the flagged pixels and queues their set neighbours inside the range for both kinds
    // of sub-pass.
    bool Remove() {
        const bool any = !FFlagged.empty();
        const size_t w = FW;
        for (size_t i : FFlagged) {
            FMap[i] = 0;
            const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if ((dx == 0 && dy == 0) || nx < 2 || nx > FW - 2 || ny < 2 || ny > FH - 2) continue;
                    const size_t j = static_cast<size_t>(ny) * w + nx;
                    if (FMap[j] == 0) continue;
                    for (int pass = 0; pass < 2; ++pass)
                        if (!(FQueued[j] & (1 << pass))) {
                            FQueued[j] |= static_cast<uint8_t>(1 << pass);
                            FDirty[pass].push_back(j);
                        }
                }
        }
        FFlagged.clear();
        return any;
    }

    uint8_t* FMap;
    int FW, FH;
    std::vector<uint8_t> FQueued; // bit 0: waits for the first sub-pass, bit 1: for the second
    std::vector<size_t> FDirty[2];
    std::vector<size_t> FFlagged;
};

} // namespace

void ThinEdges(std::span<uint8_t> Map, int W, int H) {
    CheckMapSize(Map, W, H, "ThinEdges");
    if (W < 4 || H < 4) return; // the range 2 .. W - 2 is empty
    TThinning(Map.data(), W, H).Run();
}

void PackEdgeFlag(std::span<const uint8_t> Mag, std::span<uint8_t> Edge, int W, int H) {
    CheckMapSize(Mag, W, H, "PackEdgeFlag");
    CheckMapSize(Edge, W, H, "PackEdgeFlag");
    const size_t n = MapElements(W, H);
    for (size_t i = 0; i < n; ++i)
        Edge[i] = static_cast<uint8_t>((Mag[i] >> 1) | (Edge[i] != 0 ? 128 : 0));
}
