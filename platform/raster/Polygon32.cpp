// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Polygon32.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>

// A sparse scanline rasteriser for even-odd and non-zero fills.
//
// Sampling: every pixel row is cut into sample lines (8 when antialiased, 1 otherwise) and every
// sample line into sample columns (8 per pixel, or 1). A sample line at height Y crosses the
// edges whose ends lie on either side of Y (upper end included); each crossing at x flips the
// samples at x and to its right. The samples flipped an odd number of times (even-odd), or
// those whose running winding number is not zero, are covered.
//
// Coverage is gathered per pixel without sorting any crossing: a pixel's 64 samples are the 64
// bits of one word (byte j = sample line j, bit i = sample column i). A flip at column 8p + i on
// line j is written as "flip byte j of every pixel from p on" (Flip) and "but not its i lowest
// bits in pixel p" (Low). One pass along the row then keeps the running xor of Flip, and a
// pixel's covered samples are that xor with its own Low: the coverage is a population count.
// Only the cells between the leftmost and the rightmost crossing of a row are read, and each is
// zeroed as it is read, so the buffer is clean for the next row and the next call.
//
// Crossings are stepped from line to line by an exact integer DDA, so no rounding drifts along
// an edge. The rows are processed in bands whose cells fit the first-level cache.

namespace {

using i128 = __int128;

i128 FloorDiv(i128 n, i128 d) {
    if (n == static_cast<int64_t>(n) && d == static_cast<int64_t>(d)) {
        // The common case in 64 bits: a 128-bit division is a library call.
        const int64_t n64 = static_cast<int64_t>(n), d64 = static_cast<int64_t>(d);
        int64_t q = n64 / d64;
        if (n64 % d64 != 0 && (n64 < 0) != (d64 < 0)) --q;
        return q;
    }
    i128 q = n / d;
    if (n % d != 0 && (n < 0) != (d < 0)) --q;
    return q;
}

i128 CeilDiv(i128 n, i128 d) {
    return -FloorDiv(-n, d);
}

// One edge while it is scanned: on sample line S it flips the samples from column Q on, where
// Q = ceil(N / D) and N grows by A * D + B from one line to the next.
struct TEdge {
    int64_t S;    // current sample line
    int64_t SEnd; // first sample line past the edge (or past the bitmap)
    int64_t Q;    // first flipped sample column on line S
    int64_t R;    // Q * D - N, in [0, D)
    int64_t A;    // whole columns per line
    int64_t B;    // remainder per line, in [0, D)
    int64_t D;
    int32_t Dir; // +1 for an edge that runs down, -1 up (winding)
};

struct TCell {
    uint64_t Flip;
    uint64_t Low;
};

// Buffers kept from call to call, so that filling thousands of strokes allocates nothing.
struct TScratch {
    std::vector<TEdge> Edges;
    std::vector<uint32_t> Active;
    std::vector<TCell> Cells;
    std::vector<int32_t> RowMin;
    std::vector<int32_t> RowMax;
    std::vector<uint64_t> Crossings; // winding fill: packed (line, column, direction)
};

thread_local TScratch gScratch;

// The low i bits of every byte.
constexpr uint64_t LowBits(int i) {
    return ((uint64_t{1} << i) - 1) * 0x0101010101010101ull;
}
constexpr uint64_t kLow[8] = {LowBits(0), LowBits(1), LowBits(2), LowBits(3),
                              LowBits(4), LowBits(5), LowBits(6), LowBits(7)};

// At most this many cells per band (16 bytes each): a band stays in the first-level cache.
constexpr int64_t kBandCells = 4096;
constexpr int kMaxBandRows = 64;

// The sampling grid in the units of the vertices fed to the rasteriser.
struct TGrid {
    int64_t Step;  // distance between neighbouring sample lines and columns
    int64_t Half;  // position of the first sample line (column) of a pixel, from its edge
    int LineShift; // log2 of the sample lines per pixel row
    int ColScale;  // eighth-pixel cells per sample column
};

// Antialiased: vertices in sixteenths of a pixel (eighths, doubled), samples at the odd
// sixteenths, the centres of the eighth-pixel cells. Aliased: vertices in 16.16, one sample
// at each pixel's centre.
constexpr TGrid kGridAA{2, 1, 3, 1};
constexpr TGrid kGridPixel{65536, 32768, 0, 8};

// The blend weight for each coverage 0..64: alpha x coverage / 64, rounded, halves to even.
void MakeWeights(uint32_t Alpha, uint8_t* Weights) {
    for (uint32_t c = 0; c <= 64; ++c) {
        const uint32_t t = Alpha * c;
        uint32_t q = t >> 6;
        const uint32_t r = t & 63;
        if (r > 32 || (r == 32 && (q & 1))) ++q;
        Weights[c] = static_cast<uint8_t>(q);
    }
}

// The cells of one band of rows and the clamping of crossings into them.
struct TBand {
    TCell* Cells;
    int32_t* RowMin; // per row: leftmost and rightmost cell flipped
    int32_t* RowMax;
    int Width;     // cells per row
    int Px0;       // pixel of cell 0
    int64_t ColLo; // crossings are clamped to [ColLo, ColHi], in eighth-pixel columns
    int64_t ColHi;
    int64_t S0, S1; // the band's sample lines
};

// Applies flip masks to cell P of a row.
inline void Flush(const TBand& B, int Row, int P, uint64_t Flip, uint64_t Low) {
    TCell& cell = B.Cells[static_cast<size_t>(Row) * B.Width + P];
    cell.Flip ^= Flip;
    cell.Low ^= Low;
}

// Even-odd: every crossing flips its cell. The stepping runs without branches (where the
// remainder wraps follows the edge's slope and would be mispredicted half the time); the flips
// go straight to memory, which measured faster than gathering a steep edge's flips per cell.
template <bool AA>
void ScanEvenOdd(TScratch& Sc, const TBand& B) {
    constexpr int shift = AA ? 3 : 0;
    for (uint32_t idx : Sc.Active) {
        TEdge& e = Sc.Edges[idx];
        const int64_t end = std::min(e.SEnd, B.S1);
        int64_t s = e.S, q = e.Q, r = e.R;
        const int64_t a = e.A, b = e.B, d = e.D;
        while (s < end) {
            const int row = static_cast<int>((s - B.S0) >> shift);
            const int64_t rowEnd = std::min(end, B.S0 + (int64_t{row + 1} << shift));
            int lo = INT32_MAX, hi = -1;
            TCell* cells = B.Cells + static_cast<size_t>(row) * B.Width;
            for (; s < rowEnd; ++s) {
                const int64_t cc = std::clamp(AA ? q : q * 8, B.ColLo, B.ColHi);
                const int p = static_cast<int>((cc >> 3) - B.Px0);
                lo = std::min(lo, p);
                hi = std::max(hi, p);
                if constexpr (AA) {
                    const int line = static_cast<int>(s & 7) * 8;
                    cells[p].Flip ^= uint64_t{0xFF} << line;
                    cells[p].Low ^= kLow[cc & 7] & (uint64_t{0xFF} << line);
                } else {
                    cells[p].Flip = ~cells[p].Flip;
                }
                r -= b;
                const int64_t wrap = r >> 63;
                r += d & wrap;
                q += a - wrap;
            }
            B.RowMin[row] = std::min(B.RowMin[row], lo);
            B.RowMax[row] = std::max(B.RowMax[row], hi);
        }
        e.S = s;
        e.Q = q;
        e.R = r;
    }
}

// Non-zero winding: the band's crossings sorted by line and column; the covered spans are where
// the running winding number is not zero, and each span's ends are flipped.
void ScanWinding(TScratch& Sc, const TBand& B, const TGrid& G, bool AA) {
    Sc.Crossings.clear();
    for (uint32_t idx : Sc.Active) {
        TEdge& e = Sc.Edges[idx];
        const int64_t end = std::min(e.SEnd, B.S1);
        for (; e.S < end; ++e.S) {
            const uint64_t cc = static_cast<uint64_t>(std::clamp(e.Q * G.ColScale, B.ColLo, B.ColHi));
            Sc.Crossings.push_back((static_cast<uint64_t>(e.S - B.S0) << 34) | (cc << 1) |
                                   (e.Dir > 0 ? 1u : 0u));
            e.Q += e.A;
            e.R -= e.B;
            if (e.R < 0) {
                e.R += e.D;
                ++e.Q;
            }
        }
    }
    std::sort(Sc.Crossings.begin(), Sc.Crossings.end());
    int64_t lineOf = -1;
    int wind = 0;
    for (uint64_t key : Sc.Crossings) {
        const int64_t sRel = static_cast<int64_t>(key >> 34);
        const int64_t cc = static_cast<int64_t>((key >> 1) & ((uint64_t{1} << 33) - 1));
        if (sRel != lineOf) {
            lineOf = sRel;
            wind = 0;
        }
        const int before = wind;
        wind += (key & 1) ? 1 : -1;
        if ((before == 0) == (wind == 0)) continue;
        const int row = static_cast<int>(sRel >> G.LineShift);
        const int p = static_cast<int>((cc >> 3) - B.Px0);
        const uint64_t mask = AA ? uint64_t{0xFF} << (8 * (sRel & 7)) : ~uint64_t{0};
        Flush(B, row, p, mask, kLow[cc & 7] & mask);
        B.RowMin[row] = std::min(B.RowMin[row], p);
        B.RowMax[row] = std::max(B.RowMax[row], p);
    }
}

// The number of set bits of a word: the instruction where the caller is built for it, a short
// bit-twiddling sequence elsewhere.
struct TPopCount {
    int operator()(uint64_t V) const { return __builtin_popcountll(V); }
};

// Turns the cells First..Last of a row into coverage and blends the pixels up to Paint (cells
// past it lie beyond the bitmap); every cell read is zeroed. Blending runs without branches: a
// weight of 255 gives the colour and 0 the pixel as it was, and the edges of thin shapes make
// those cases unpredictable.
inline void ResolveRow(TCell* Row, int First, int Last, int Paint, TColor32* Dst, TColor32 Color,
                       const uint8_t* Weights) {
    uint64_t run = 0;
    int p = First;
    for (; p <= Paint; ++p) {
        run ^= Row[p].Flip;
        const uint64_t bits = run ^ Row[p].Low;
        Row[p] = TCell{0, 0};
        Dst[p] = BlendChannels(Color, Dst[p], Weights[TPopCount()(bits)]);
    }
    for (; p <= Last; ++p)
        Row[p] = TCell{0, 0};
}

using TResolveRow = void (*)(TCell*, int, int, int, TColor32*, TColor32, const uint8_t*);

void ResolveRowPortable(TCell* Row, int First, int Last, int Paint, TColor32* Dst, TColor32 Color,
                        const uint8_t* Weights) {
    ResolveRow(Row, First, Last, Paint, Dst, Color, Weights);
}

#if defined(__x86_64__) || defined(__i386__)
// The population count instruction is not part of the base instruction set: a copy of the loop
// built with it is chosen at start where the processor has it.
__attribute__((target("popcnt"))) void ResolveRowPopcnt(TCell* Row, int First, int Last, int Paint,
                                                        TColor32* Dst, TColor32 Color,
                                                        const uint8_t* Weights) {
    ResolveRow(Row, First, Last, Paint, Dst, Color, Weights);
}

TResolveRow ChooseResolveRow() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") ? ResolveRowPopcnt : ResolveRowPortable;
}
#else
TResolveRow ChooseResolveRow() {
    return ResolveRowPortable;
}
#endif

// ---------------------------------------------------------------------------------------------
// Edges

// A vertex in the grid's units: snapped to eighths of a pixel (doubled) when antialiased, as
// given otherwise.
inline void GridVertex(const TFixedPoint& P, bool Antialiased, int64_t& X, int64_t& Y) {
    if (Antialiased) {
        X = 2 * ((int64_t{P.X} + 2047) >> 13);
        Y = 2 * ((int64_t{P.Y} + 2047) >> 13);
    } else {
        X = P.X;
        Y = P.Y;
    }
}

// The edge from (X0, Y0) to (X1, Y1), not horizontal, over the sample lines it crosses within
// the bitmap's LinesTotal lines; false when it crosses none.
bool MakeEdge(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, const TGrid& G, int64_t LinesTotal,
              TEdge& Edge) {
    int32_t dir = 1;
    if (Y0 > Y1) {
        std::swap(X0, X1);
        std::swap(Y0, Y1);
        dir = -1;
    }
    // Sample lines with Y0 <= Y < Y1, clipped to the bitmap's rows.
    const int64_t s0 = std::max<int64_t>(static_cast<int64_t>(CeilDiv(Y0 - G.Half, G.Step)), 0);
    const int64_t s1 = std::min<int64_t>(static_cast<int64_t>(CeilDiv(Y1 - G.Half, G.Step)), LinesTotal);
    if (s0 >= s1) return false;
    // The crossing on line s lies at X0 + dx (Y - Y0) / dy; the first flipped column is the least
    // i with i * Step + Half >= that: i = ceil(N / D) with the N and D below.
    const int64_t dx = X1 - X0, dy = Y1 - Y0;
    const i128 n = i128{X0} * dy + i128{dx} * (s0 * G.Step + G.Half - Y0) - i128{G.Half} * dy;
    const i128 d = i128{G.Step} * dy;
    Edge.S = s0;
    Edge.SEnd = s1;
    const i128 q = CeilDiv(n, d);
    Edge.Q = static_cast<int64_t>(q);
    Edge.R = static_cast<int64_t>(q * d - n);
    const i128 inc = i128{dx} * G.Step;
    const i128 a = FloorDiv(inc, d);
    Edge.A = static_cast<int64_t>(a);
    Edge.B = static_cast<int64_t>(inc - a * d);
    Edge.D = static_cast<int64_t>(d);
    Edge.Dir = dir;
    return true;
}

// What the edges span: the vertices' columns and the sample lines crossed.
struct TEdgeBounds {
    int64_t MinX = INT64_MAX, MaxX = INT64_MIN; // in the grid's units
    int64_t SLo = INT64_MAX, SHi = INT64_MIN;   // first and past-last sample line
};

// Builds into Sc.Edges the edges of every contour that cross a sample line of the bitmap, each
// contour closed back to its first point.
TEdgeBounds BuildEdges(TScratch& Sc, const TFixedPoint* Points, size_t Count, const size_t* Starts,
                       size_t StartCount, const TGrid& G, bool Antialiased, int64_t LinesTotal) {
    Sc.Edges.clear();
    TEdgeBounds bounds;
    for (size_t k = 0; k <= StartCount; ++k) {
        const size_t b = k == 0 ? 0 : Starts[k - 1];
        const size_t e = k == StartCount ? Count : Starts[k];
        if (e <= b) continue;
        for (size_t i = b; i < e; ++i) {
            int64_t x0, y0, x1, y1;
            GridVertex(Points[i], Antialiased, x0, y0);
            GridVertex(Points[i + 1 < e ? i + 1 : b], Antialiased, x1, y1);
            bounds.MinX = std::min(bounds.MinX, x0);
            bounds.MaxX = std::max(bounds.MaxX, x0);
            TEdge edge;
            if (y0 == y1 || !MakeEdge(x0, y0, x1, y1, G, LinesTotal, edge)) continue;
            Sc.Edges.push_back(edge);
            bounds.SLo = std::min(bounds.SLo, edge.S);
            bounds.SHi = std::max(bounds.SHi, edge.SEnd);
        }
    }
    return bounds;
}

// ---------------------------------------------------------------------------------------------
// Bands

// The cells that the crossings can reach, pixels Px0 .. Px1 with a spare cell past the last
// pixel, into the band's Width, Px0, ColLo and ColHi; false when every crossing pairs up left or
// right of the bitmap.
bool PlaceColumns(const TEdgeBounds& Bounds, const TGrid& G, int W, TBand& Band) {
    // Columns, in eighth-pixel cells: every crossing lies between the extreme vertices.
    const int64_t ccMin = static_cast<int64_t>(CeilDiv(Bounds.MinX - G.Half, G.Step)) * G.ColScale;
    const int64_t ccMax = static_cast<int64_t>(CeilDiv(Bounds.MaxX - G.Half, G.Step)) * G.ColScale;
    if (ccMax < 0 || ccMin >= int64_t{W} * 8) return false;
    const int px0 = static_cast<int>(std::clamp<int64_t>(ccMin >> 3, 0, W));
    const int px1 = static_cast<int>(std::clamp<int64_t>(ccMax >> 3, 0, W));
    // Crossings left of the bitmap flip from its first sample on; those right of it land on the
    // spare cell past the last pixel, which is never painted.
    Band.ColLo = int64_t{px0} * 8;
    Band.ColHi = px1 == W ? int64_t{W} * 8 : int64_t{px1} * 8 + 7;
    Band.Px0 = px0;
    Band.Width = px1 - px0 + 1;
    return true;
}

// Rows per band for bands Width cells wide, with the scratch buffers grown to hold one band.
int PrepareBands(TScratch& Sc, TBand& Band) {
    const int bandRows = static_cast<int>(std::clamp<int64_t>(kBandCells / Band.Width, 1, kMaxBandRows));
    const size_t cellsNeeded = static_cast<size_t>(bandRows) * Band.Width;
    if (Sc.Cells.size() < cellsNeeded) Sc.Cells.resize(cellsNeeded, TCell{0, 0});
    if (Sc.RowMin.size() < static_cast<size_t>(bandRows)) {
        Sc.RowMin.resize(bandRows);
        Sc.RowMax.resize(bandRows);
    }
    Band.Cells = Sc.Cells.data();
    Band.RowMin = Sc.RowMin.data();
    Band.RowMax = Sc.RowMax.data();
    return bandRows;
}

// Blends the Rows flipped rows of a band, from bitmap row RowTop on, and clears their cells.
void ResolveBand(const TBand& B, int RowTop, int Rows, TBitmap32& Bitmap, TColor32 Color,
                 const uint8_t* Weights) {
    static const TResolveRow resolveRow = ChooseResolveRow();
    const int lastPixel = Bitmap.Width() - 1 - B.Px0;
    // The pixels about to be blended are fetched while the first rows are worked on.
    for (int r = 0; r < Rows; ++r) {
        if (B.RowMax[r] < 0) continue;
        const TColor32* line = Bitmap.ScanLine(RowTop + r) + B.Px0;
        const int last = std::min(B.RowMax[r], lastPixel);
        for (int p = B.RowMin[r]; p <= last; p += 16)
            __builtin_prefetch(line + p, 1);
        if (last >= B.RowMin[r]) __builtin_prefetch(line + last, 1);
    }
    for (int r = 0; r < Rows; ++r) {
        if (B.RowMax[r] < 0) continue;
        resolveRow(B.Cells + static_cast<size_t>(r) * B.Width, B.RowMin[r], B.RowMax[r],
                   std::min(B.RowMax[r], lastPixel), Bitmap.ScanLine(RowTop + r) + B.Px0, Color, Weights);
    }
}

// ---------------------------------------------------------------------------------------------
// Fill

void Fill(TBitmap32& Bitmap, const TFixedPoint* Points, size_t Count, const size_t* Starts, size_t StartCount,
          TColor32 Color, TPolyFillMode FillMode, bool Antialiased) {
    const int W = Bitmap.Width();
    const int H = Bitmap.Height();
    if (W <= 0 || H <= 0 || Count < 2) return;
    const uint32_t alpha = AlphaComponent(Color);
    if (alpha == 0) return; // weight 0 everywhere: nothing changes

    const TGrid& g = Antialiased ? kGridAA : kGridPixel;
    TScratch& sc = gScratch;
    const TEdgeBounds bounds =
        BuildEdges(sc, Points, Count, Starts, StartCount, g, Antialiased, int64_t{H} << g.LineShift);
    if (sc.Edges.empty()) return;
    TBand band{};
    if (!PlaceColumns(bounds, g, W, band)) return;
    const int bandRows = PrepareBands(sc, band);

    std::sort(sc.Edges.begin(), sc.Edges.end(), [](const TEdge& a, const TEdge& b) { return a.S < b.S; });
    sc.Active.clear();
    uint8_t weights[65];
    MakeWeights(alpha, weights);
    const TColor32 color = Color | 0xFF000000u;
    const bool winding = FillMode == pfWinding;

    // Band by band: the edges that reach the band join the active list, every active edge flips
    // the cells of its crossings, the finished ones leave, and the flipped rows are blended.
    const int rowLo = static_cast<int>(bounds.SLo >> g.LineShift);
    const int rowHi = static_cast<int>(((bounds.SHi - 1) >> g.LineShift) + 1);
    size_t next = 0;
    for (int rowTop = rowLo; rowTop < rowHi; rowTop += bandRows) {
        const int rows = std::min(bandRows, rowHi - rowTop);
        band.S0 = int64_t{rowTop} << g.LineShift;
        band.S1 = int64_t{rowTop + rows} << g.LineShift;
        while (next < sc.Edges.size() && sc.Edges[next].S < band.S1)
            sc.Active.push_back(static_cast<uint32_t>(next++));
        std::fill(band.RowMin, band.RowMin + rows, INT32_MAX);
        std::fill(band.RowMax, band.RowMax + rows, -1);

        if (winding)
            ScanWinding(sc, band, g, Antialiased);
        else if (Antialiased)
            ScanEvenOdd<true>(sc, band);
        else
            ScanEvenOdd<false>(sc, band);
        sc.Active.erase(std::remove_if(sc.Active.begin(), sc.Active.end(),
                                       [&](uint32_t idx) { return sc.Edges[idx].S >= sc.Edges[idx].SEnd; }),
                        sc.Active.end());
        ResolveBand(band, rowTop, rows, Bitmap, color, weights);
    }
}

} // namespace

void TPolygon32::Clear() {
    FPoints.clear();
    FStarts.clear();
}

void TPolygon32::NewLine() {
    const size_t start = FPoints.size();
    if (start == 0 || (!FStarts.empty() && FStarts.back() == start)) return;
    FStarts.push_back(start);
}

void TPolygon32::DrawFill(TBitmap32& Bitmap, TColor32 Color) const {
    Fill(Bitmap, FPoints.data(), FPoints.size(), FStarts.data(), FStarts.size(), Color, FillMode,
         Antialiased);
}
