// SPDX-License-Identifier: GPL-3.0-or-later
// Pen strokes are thin ribbon polygons filled by the thousand: our antialiased even-odd fill
// against Cairo's image surface on the same 100,000 ribbons in a one-megapixel bitmap.
#include "platform/raster/Polygon32.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kSize = 1024; // 1024 x 1024: one megapixel
constexpr int kRibbons = 100000;

struct TRibbons {
    std::vector<TFixedPoint> Points;
    std::vector<uint32_t> Start; // Start[i]..Start[i + 1] are ribbon i's points
    std::vector<TColor32> Colors;
};

// Ribbons of 8 to 20 points a side (16 to 40 vertices), 2 to 15 pixels wide, 40 to 200 long,
// bending a little, anywhere in the bitmap (some reach over its sides): the same every run.
const TRibbons& Ribbons() {
    static const TRibbons ribbons = [] {
        TRibbons r;
        std::mt19937 rng(12345);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        std::vector<TFixedPoint> right;
        for (int i = 0; i < kRibbons; ++i) {
            r.Start.push_back(static_cast<uint32_t>(r.Points.size()));
            r.Colors.push_back(0xFF000000u | (static_cast<uint32_t>(rng()) & 0xFFFFFF));
            const int side = 8 + static_cast<int>(u(rng) * 13);
            const double width = 2 + u(rng) * 13, length = 40 + u(rng) * 160;
            double x = u(rng) * kSize, y = u(rng) * kSize, heading = u(rng) * 2 * M_PI;
            const double bend = (u(rng) - 0.5) * 0.6 / side; // radians per segment
            const double step = length / (side - 1);
            right.clear();
            for (int k = 0; k < side; ++k) {
                // The width tapers toward both ends, as a pen stroke's does.
                const double t = static_cast<double>(k) / (side - 1);
                const double half = width / 2 * (0.4 + 0.6 * std::sin(M_PI * t));
                const double nx = -std::sin(heading) * half, ny = std::cos(heading) * half;
                r.Points.push_back(FixedPoint(x + nx, y + ny));
                right.push_back(FixedPoint(x - nx, y - ny));
                x += std::cos(heading) * step;
                y += std::sin(heading) * step;
                heading += bend;
            }
            r.Points.insert(r.Points.end(), right.rbegin(), right.rend());
        }
        r.Start.push_back(static_cast<uint32_t>(r.Points.size()));
        return r;
    }();
    return ribbons;
}

void BM_RibbonFill_Ours(benchmark::State& State) {
    const TRibbons& r = Ribbons();
    TBitmap32 bitmap(kSize, kSize);
    bitmap.Clear(clWhite32);
    for (auto _ : State) {
        for (int i = 0; i < kRibbons; ++i) {
            // As a stroke is filled: a new polygon each time.
            TPolygon32 poly;
            poly.Antialiased = true;
            poly.FillMode = pfAlternate;
            for (uint32_t k = r.Start[i]; k < r.Start[i + 1]; ++k)
                poly.Add(r.Points[k]);
            poly.DrawFill(bitmap, r.Colors[i]);
        }
        benchmark::ClobberMemory();
    }
    State.SetItemsProcessed(State.iterations() * kRibbons);
}

void CairoFill(benchmark::State& State, cairo_antialias_t Antialias) {
    const TRibbons& r = Ribbons();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_antialias(cr, Antialias);
    for (auto _ : State) {
        for (int i = 0; i < kRibbons; ++i) {
            for (uint32_t k = r.Start[i]; k < r.Start[i + 1]; ++k) {
                const double x = r.Points[k].X / 65536.0, y = r.Points[k].Y / 65536.0;
                if (k == r.Start[i])
                    cairo_move_to(cr, x, y);
                else
                    cairo_line_to(cr, x, y);
            }
            cairo_close_path(cr);
            const TColor32 c = r.Colors[i];
            cairo_set_source_rgb(cr, RedComponent(c) / 255.0, GreenComponent(c) / 255.0,
                                 BlueComponent(c) / 255.0);
            cairo_fill(cr);
        }
        cairo_surface_flush(surface);
    }
    State.SetItemsProcessed(State.iterations() * kRibbons);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void BM_RibbonFill_Cairo(benchmark::State& State) {
    CairoFill(State, CAIRO_ANTIALIAS_DEFAULT);
}

void BM_RibbonFill_CairoFast(benchmark::State& State) {
    CairoFill(State, CAIRO_ANTIALIAS_FAST);
}

} // namespace

BENCHMARK(BM_RibbonFill_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RibbonFill_Cairo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RibbonFill_CairoFast)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
