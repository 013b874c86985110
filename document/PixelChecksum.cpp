// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PixelChecksum.h"

#include <bit>
#include <cstring>

namespace {
constexpr uint64_t Prime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t Prime2 = 0xC2B2AE3D27D4EB4FULL;

uint64_t Round64(uint64_t Acc, uint64_t Input) {
    return std::rotl((Acc ^ Input) * Prime1, 29);
}

uint64_t Mix(uint64_t H) {
    H ^= H >> 33;
    H *= 0xFF51AFD7ED558CCDULL;
    H ^= H >> 33;
    H *= 0xC4CEB9FE1A85EC53ULL;
    return H ^ (H >> 33);
}
} // namespace

uint64_t PixelSum(const TColor32* Pixels, size_t Count) {
    constexpr size_t Lanes = 8;
    const auto* bytes = reinterpret_cast<const unsigned char*>(Pixels);
    const size_t words = Count / 2;
    uint64_t lane[Lanes];
    for (size_t k = 0; k < Lanes; ++k)
        lane[k] = Prime2 * (k + 1);
    size_t i = 0;
    for (; i + Lanes <= words; i += Lanes)
        for (size_t k = 0; k < Lanes; ++k) {
            uint64_t w;
            std::memcpy(&w, bytes + (i + k) * 8, 8);
            lane[k] = Round64(lane[k], w);
        }
    for (size_t k = 0; i < words; ++i, ++k) {
        uint64_t w;
        std::memcpy(&w, bytes + i * 8, 8);
        lane[k] = Round64(lane[k], w);
    }
    uint64_t h = Count;
    for (size_t k = 0; k < Lanes; ++k)
        h += std::rotl(Mix(lane[k]), static_cast<int>(7 * k));
    if (Count % 2 != 0) h = Round64(h, Pixels[Count - 1]);
    return Mix(h);
}

uint64_t FoldPixelSum(uint64_t Sum, uint64_t Piece) {
    return Mix(Round64(Sum, Piece) + Prime2);
}
