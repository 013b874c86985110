// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EdgeDetection.h"

#include "engine/MapCheck.h"
#include "engine/ParallelRows.h"
#include "engine/SimdKernels.h"
#include "engine/imagproc.h"

#include <algorithm>
#include <array>
#if QUOR_HAS_AVX2_PATH
#include <immintrin.h>
#endif
#include <cstdlib>
#include <cstring>
#include <mutex>
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

// The gradient of one row: Gx, Gy and Strong[x] = 1 where |gx| + |gy| reaches EdgeWeakGradient
// (below that no rule can make an edge), for x in 1 .. W - 2; Out is cleared there.
QUOR_KERNEL void GradientRowBody(const uint8_t* __restrict Below, const uint8_t* __restrict Row,
                                 const uint8_t* __restrict Above, int16_t* __restrict Gx,
                                 int16_t* __restrict Gy, uint8_t* __restrict Strong, uint8_t* __restrict Out,
                                 int W) {
    for (int x = 1; x < W - 1; ++x) {
        const int16_t gy = static_cast<int16_t>((Below[x - 1] + 2 * Below[x] + Below[x + 1]) -
                                                (Above[x - 1] + 2 * Above[x] + Above[x + 1]));
        const int16_t gx = static_cast<int16_t>((Below[x - 1] + 2 * Row[x - 1] + Above[x - 1]) -
                                                (Below[x + 1] + 2 * Row[x + 1] + Above[x + 1]));
        Gx[x] = gx;
        Gy[x] = gy;
        const int16_t ax = gx < 0 ? static_cast<int16_t>(-gx) : gx;
        const int16_t ay = gy < 0 ? static_cast<int16_t>(-gy) : gy;
        Strong[x] = static_cast<uint8_t>(ax + ay >= EdgeWeakGradient);
        Out[x] = 0;
    }
}
QUOR_DISPATCH(GradientRow,
              (const uint8_t* Below, const uint8_t* Row, const uint8_t* Above, int16_t* Gx, int16_t* Gy,
               uint8_t* Strong, uint8_t* Out, int W),
              (Below, Row, Above, Gx, Gy, Strong, Out, W))

// The decision at a pixel whose gradient strength reaches EdgeWeakGradient.
inline uint8_t EdgeAt(const uint8_t* Below, const uint8_t* Row, const uint8_t* Above, int X, int Gx, int Gy) {
    int mag = std::abs(Gy) + std::abs(Gx);
    if (mag > 255) mag = 255;
    int p, q;
    switch (SectorOf(Gx, Gy)) {
    case Sector0:
        p = Row[X - 1], q = Row[X + 1];
        break;
    case Sector45:
        p = Above[X - 1], q = Below[X + 1];
        break;
    case Sector90:
        p = Below[X], q = Above[X];
        break;
    default:
        p = Below[X - 1], q = Above[X + 1];
        break;
    }
    if (mag < p || mag < q) return 0;
    if (mag >= EdgeStrongGradient) return 255;
    constexpr int dark = EdgeDarkNeighbour;
    return Below[X - 1] > dark || Below[X] > dark || Below[X + 1] > dark || Row[X - 1] > dark ||
                   Row[X + 1] > dark || Above[X - 1] > dark || Above[X] > dark || Above[X + 1] > dark
               ? 255
               : 0;
}

void DetectRowPlain(const uint8_t* Below, const uint8_t* Row, const uint8_t* Above, uint8_t* Out, int W,
                    int16_t* Gx, int16_t* Gy, uint8_t* Strong) {
    GradientRow(Below, Row, Above, Gx, Gy, Strong, Out, W);
    // Most of a photo is smooth: skip eight weak pixels at a time (Strong has 8 spare zeros).
    for (int x = 1; x < W - 1;) {
        uint64_t eight;
        std::memcpy(&eight, Strong + x, 8);
        if (eight == 0) {
            x += 8;
            continue;
        }
        const int end = std::min(x + 8, W - 1);
        for (; x < end; ++x)
            if (Strong[x]) Out[x] = EdgeAt(Below, Row, Above, x, Gx[x], Gy[x]);
    }
}

#if QUOR_HAS_AVX2_PATH
// SectorOf for eight gradients (32-bit lanes): 0, 45, 90 or 135. Both components 0 give 45
// here instead of 0; such a pixel has strength 0 and is never an edge.
QUOR_AVX2 inline __m256i SectorsAvx2(__m256i Gx, __m256i Gy) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ax = _mm256_abs_epi32(Gx), ay = _mm256_abs_epi32(Gy);
    const __m256i twoGy2 = _mm256_slli_epi32(_mm256_mullo_epi32(ay, ay), 1);
    const __m256i s = _mm256_add_epi32(ax, ay), d = _mm256_sub_epi32(ax, ay);
    const __m256i belowLow = _mm256_cmpgt_epi32(twoGy2, _mm256_mullo_epi32(s, s));
    const __m256i aboveHigh =
        _mm256_and_si256(_mm256_cmpgt_epi32(ax, ay), _mm256_cmpgt_epi32(_mm256_mullo_epi32(d, d), twoGy2));
    // Opposite signs, both non-zero.
    const __m256i opposite =
        _mm256_andnot_si256(_mm256_or_si256(_mm256_cmpeq_epi32(Gx, zero), _mm256_cmpeq_epi32(Gy, zero)),
                            _mm256_cmpgt_epi32(zero, _mm256_xor_si256(Gx, Gy)));
    __m256i sector = _mm256_blendv_epi8(_mm256_set1_epi32(45), _mm256_set1_epi32(135), opposite);
    sector = _mm256_blendv_epi8(sector, _mm256_set1_epi32(90), aboveHigh);
    return _mm256_andnot_si256(belowLow, sector);
}

QUOR_AVX2 inline __m256i Bytes8(const uint8_t* P) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)));
}

// Eight pixels at a time, the whole decision without branches; the last few pixels of the row
// go the plain way.
QUOR_AVX2 void DetectRowAvx2(const uint8_t* Below, const uint8_t* Row, const uint8_t* Above, uint8_t* Out,
                             int W, int16_t* Gx, int16_t* Gy, uint8_t* Strong) {
    // Strength thresholds less one, for "reaches" as a greater-than comparison.
    const __m256i weakLess1 = _mm256_set1_epi32(EdgeWeakGradient - 1);
    const __m256i strongLess1 = _mm256_set1_epi32(EdgeStrongGradient - 1);
    const __m256i dark = _mm256_set1_epi32(EdgeDarkNeighbour), c255 = _mm256_set1_epi32(255);
    const __m256i s0 = _mm256_set1_epi32(0), s45 = _mm256_set1_epi32(45), s90 = _mm256_set1_epi32(90);
    int x = 1;
    for (; x + 8 <= W - 1; x += 8) {
        const __m256i bl = Bytes8(Below + x - 1), bc = Bytes8(Below + x), br = Bytes8(Below + x + 1);
        const __m256i rl = Bytes8(Row + x - 1), rr = Bytes8(Row + x + 1);
        const __m256i al = Bytes8(Above + x - 1), ac = Bytes8(Above + x), ar = Bytes8(Above + x + 1);
        const __m256i gy =
            _mm256_sub_epi32(_mm256_add_epi32(_mm256_add_epi32(bl, br), _mm256_slli_epi32(bc, 1)),
                             _mm256_add_epi32(_mm256_add_epi32(al, ar), _mm256_slli_epi32(ac, 1)));
        const __m256i gx =
            _mm256_sub_epi32(_mm256_add_epi32(_mm256_add_epi32(bl, al), _mm256_slli_epi32(rl, 1)),
                             _mm256_add_epi32(_mm256_add_epi32(br, ar), _mm256_slli_epi32(rr, 1)));
        const __m256i mag =
            _mm256_min_epi32(_mm256_add_epi32(_mm256_abs_epi32(gx), _mm256_abs_epi32(gy)), c255);
        const __m256i strong = _mm256_cmpgt_epi32(mag, weakLess1);
        if (_mm256_testz_si256(strong, strong)) {
            std::memset(Out + x, 0, 8);
            continue;
        }
        const __m256i sector = SectorsAvx2(gx, gy);
        const __m256i is0 = _mm256_cmpeq_epi32(sector, s0), is45 = _mm256_cmpeq_epi32(sector, s45),
                      is90 = _mm256_cmpeq_epi32(sector, s90);
        // Sector 135 by default, then 90, 45, 0.
        __m256i p = _mm256_blendv_epi8(bl, bc, is90), q = _mm256_blendv_epi8(ar, ac, is90);
        p = _mm256_blendv_epi8(p, al, is45), q = _mm256_blendv_epi8(q, br, is45);
        p = _mm256_blendv_epi8(p, rl, is0), q = _mm256_blendv_epi8(q, rr, is0);
        // Not weaker than either compared neighbour's darkness.
        const __m256i peak =
            _mm256_andnot_si256(_mm256_or_si256(_mm256_cmpgt_epi32(p, mag), _mm256_cmpgt_epi32(q, mag)),
                                _mm256_cmpeq_epi32(p, p));
        const __m256i darkest =
            _mm256_max_epi32(_mm256_max_epi32(_mm256_max_epi32(bl, bc), _mm256_max_epi32(br, rl)),
                             _mm256_max_epi32(_mm256_max_epi32(rr, al), _mm256_max_epi32(ac, ar)));
        const __m256i strongEnough =
            _mm256_or_si256(_mm256_cmpgt_epi32(mag, strongLess1),
                            _mm256_and_si256(strong, _mm256_cmpgt_epi32(darkest, dark)));
        const __m256i edge = _mm256_and_si256(_mm256_and_si256(peak, strongEnough), c255);
        const __m128i e16 = _mm_packus_epi32(_mm256_castsi256_si128(edge), _mm256_extracti128_si256(edge, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + x), _mm_packus_epi16(e16, e16));
    }
    if (x < W - 1) {
        // The rest of the row from its last eight-pixel group on; the plain kernel starts at 1.
        DetectRowPlain(Below + x - 1, Row + x - 1, Above + x - 1, Out + x - 1, W - x + 1, Gx, Gy, Strong);
    }
}

QUOR_AVX2 void GradientSectorsAvx2(const int16_t* Gx, const int16_t* Gy, uint8_t* Sector, int Count) {
    int k = 0;
    for (; k + 8 <= Count; k += 8) {
        const __m256i gx = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Gx + k)));
        const __m256i gy = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Gy + k)));
        alignas(32) int32_t out[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(out), SectorsAvx2(gx, gy));
        for (int j = 0; j < 8; ++j)
            Sector[k + j] = Gx[k + j] == 0 && Gy[k + j] == 0 ? 0 : static_cast<uint8_t>(out[j]);
    }
    for (; k < Count; ++k)
        Sector[k] = static_cast<uint8_t>(SectorOf(Gx[k], Gy[k]));
}
#endif

void DetectRows(const uint8_t* T, uint8_t* Dst, int W, int First, int Last) {
    std::vector<int16_t> gx(W), gy(W);
    std::vector<uint8_t> strong(W + 8, 0);
    for (int y = First; y < Last; ++y) {
        const uint8_t* below = T + static_cast<size_t>(y - 1) * W; // map row y - 1
        const uint8_t* row = below + W;
        const uint8_t* above = row + W; // map row y + 1
        uint8_t* out = Dst + static_cast<size_t>(y) * W;
#if QUOR_HAS_AVX2_PATH
        if (UseAvx2()) {
            DetectRowAvx2(below, row, above, out, W, gx.data(), gy.data(), strong.data());
            continue;
        }
#endif
        DetectRowPlain(below, row, above, out, W, gx.data(), gy.data(), strong.data());
    }
}

} // namespace

int GradientSector(int Gx, int Gy) {
    return SectorOf(Gx, Gy);
}

void GradientSectors(const int16_t* Gx, const int16_t* Gy, uint8_t* Sector, int Count) {
#if QUOR_HAS_AVX2_PATH
    if (UseAvx2()) {
        GradientSectorsAvx2(Gx, Gy, Sector, Count);
        return;
    }
#endif
    for (int k = 0; k < Count; ++k)
        Sector[k] = static_cast<uint8_t>(SectorOf(Gx[k], Gy[k]));
}

void DetectEdges(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "DetectEdges");
    CheckMapSize(Dst, W, H, "DetectEdges");
    if (W < 3 || H < 3) return;
    TUnclearedByteMap t(MapElements(W, H));
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
// sub-pass of the same kind until a pixel beside it is removed; so after the first sweeps only
// the row segments around removed pixels are examined again. This visits
// far fewer pixels than sweeping the whole range every time, and removes exactly the same ones.

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

// Row segments of this many pixels are the unit of revisiting.
constexpr int ThinSegment = 32;

class TThinning {
public:
    TThinning(uint8_t* Map, int W, int H)
        : FMap(Map), FW(W), FH(H), FSegments((W - 2 + ThinSegment - 1) / ThinSegment) {
        // Every segment of the range waits for both kinds of sub-pass at first.
        for (auto& dirty : FDirty) {
            dirty.assign(static_cast<size_t>(H) * FSegments, 0);
            for (int y = 2; y <= H - 2; ++y)
                std::fill_n(dirty.begin() + static_cast<ptrdiff_t>(y) * FSegments, FSegments, uint8_t{1});
        }
    }

    void Run() {
        bool changed = true;
        while (changed) {
            changed = SubPass(0);
            changed = SubPass(1) || changed;
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

    // The set pixels of one segment of row Y that the sub-pass removes, skipping empty stretches
    // eight at a time.
    void FlagSegment(int Y, int Segment, const uint8_t* Table, std::vector<size_t>& Flagged) const {
        const size_t base = static_cast<size_t>(Y) * FW;
        const int first = std::max(2, Segment * ThinSegment);
        const int last = std::min(FW - 2, Segment * ThinSegment + ThinSegment - 1);
        const size_t size = static_cast<size_t>(FW) * FH;
        for (int x = first; x <= last;) {
            uint64_t eight = 1;
            if (base + x + 8 <= size) std::memcpy(&eight, FMap + base + x, 8);
            if (eight == 0) {
                x += 8;
                continue;
            }
            const int end = std::min(x + 8, last + 1);
            for (; x < end; ++x) {
                const size_t i = base + x;
                if (FMap[i] != 0 && Table[Pattern(i)]) Flagged.push_back(i);
            }
        }
    }

    // One sub-pass over the segments whose neighbourhood changed since this kind last ran: flags
    // from the map as it stands (in row bands, possibly in parallel), then the removals.
    bool SubPass(int Pass) {
        std::vector<int> rows;
        uint8_t* dirty = FDirty[Pass].data();
        for (int y = 2; y <= FH - 2; ++y)
            if (std::find(dirty + static_cast<size_t>(y) * FSegments,
                          dirty + static_cast<size_t>(y + 1) * FSegments,
                          1) != dirty + static_cast<size_t>(y + 1) * FSegments)
                rows.push_back(y);
        const uint8_t* table = ThinTables.Remove[Pass].data();
        std::vector<size_t> flagged;
        std::mutex merge;
        ParallelRows(0, static_cast<int>(rows.size()), MinRowBand(FW), [&](int first, int last) {
            std::vector<size_t> mine;
            for (int k = first; k < last; ++k) {
                uint8_t* marks = dirty + static_cast<size_t>(rows[k]) * FSegments;
                for (int seg = 0; seg < FSegments; ++seg)
                    if (marks[seg]) {
                        marks[seg] = 0;
                        FlagSegment(rows[k], seg, table, mine);
                    }
            }
            std::lock_guard lock(merge);
            flagged.insert(flagged.end(), mine.begin(), mine.end());
        });
        for (size_t i : flagged) {
            FMap[i] = 0;
            const int y = static_cast<int>(i / static_cast<size_t>(FW)), x = static_cast<int>(i % FW);
            const int s0 = std::max(x - 1, 0) / ThinSegment,
                      s1 = std::min((x + 1) / ThinSegment, FSegments - 1);
            for (int r = std::max(y - 1, 2); r <= std::min(y + 1, FH - 2); ++r)
                for (int seg = s0; seg <= s1; ++seg)
                    FDirty[0][static_cast<size_t>(r) * FSegments + seg] =
                        FDirty[1][static_cast<size_t>(r) * FSegments + seg] = 1;
        }
        return !flagged.empty();
    }

    uint8_t* FMap;
    int FW, FH;
    int FSegments; // per row
    // Segments waiting for the first and for the second kind of sub-pass, FSegments a row.
    std::vector<uint8_t> FDirty[2];
};

QUOR_KERNEL void PackRunBody(const uint8_t* __restrict Mag, uint8_t* __restrict Edge, size_t Count) {
    for (size_t i = 0; i < Count; ++i)
        Edge[i] = static_cast<uint8_t>((Mag[i] >> 1) | (Edge[i] != 0 ? 128 : 0));
}
QUOR_DISPATCH(PackRun, (const uint8_t* Mag, uint8_t* Edge, size_t Count), (Mag, Edge, Count))

} // namespace

void ThinEdges(std::span<uint8_t> Map, int W, int H) {
    CheckMapSize(Map, W, H, "ThinEdges");
    if (W < 4 || H < 4) return; // the range 2 .. W - 2 is empty
    TThinning(Map.data(), W, H).Run();
}

void PackEdgeFlag(std::span<const uint8_t> Mag, std::span<uint8_t> Edge, int W, int H) {
    CheckMapSize(Mag, W, H, "PackEdgeFlag");
    CheckMapSize(Edge, W, H, "PackEdgeFlag");
    const uint8_t* mag = Mag.data();
    uint8_t* edge = Edge.data();
    ParallelElements(MapElements(W, H), [mag, edge](size_t first, size_t last) {
        PackRun(mag + first, edge + first, last - first);
    });
}
