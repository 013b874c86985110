// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Random.h"

uint32_t RandSeed = 0;

namespace {
uint32_t NextSeed() {
    RandSeed = RandSeed * 134775813u + 1u;
    return RandSeed;
}
} // namespace

int32_t Random(int32_t N) {
    const uint64_t seed = NextSeed();
    // An unsigned 32 x 32 -> 64 bit product; its high half is the result.
    const uint64_t product = static_cast<uint64_t>(static_cast<uint32_t>(N)) * seed;
    return static_cast<int32_t>(static_cast<uint32_t>(product >> 32));
}

double Random() {
    return static_cast<double>(NextSeed()) / 4294967296.0;
}
