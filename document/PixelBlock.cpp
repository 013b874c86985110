// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PixelBlock.h"

#include <atomic>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {
std::atomic<int> gFaultScopes{0};
std::atomic<int> gFaultHits{0};

size_t PageBytes() {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

size_t WholePages(size_t Bytes) {
    const size_t page = PageBytes();
    return (Bytes + page - 1) / page * page;
}
} // namespace

TPixelBlock::TPixelBlock(size_t Pixels, bool Populate) {
    if (gFaultScopes.load() > 0) {
        gFaultHits.fetch_add(1);
        throw std::bad_alloc();
    }
    if (Pixels == 0) return;
    const size_t bytes = WholePages(Pixels * sizeof(TColor32));
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | (Populate ? MAP_POPULATE : 0), -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    FBits = static_cast<TColor32*>(p);
    FPixels = Pixels;
    FBytes = bytes;
}

TPixelBlock::~TPixelBlock() {
    Free();
}

TPixelBlock::TPixelBlock(TPixelBlock&& Other) noexcept
    : FBits(std::exchange(Other.FBits, nullptr)), FPixels(std::exchange(Other.FPixels, 0)),
      FBytes(std::exchange(Other.FBytes, 0)) {}

TPixelBlock& TPixelBlock::operator=(TPixelBlock&& Other) noexcept {
    if (this != &Other) {
        Free();
        FBits = std::exchange(Other.FBits, nullptr);
        FPixels = std::exchange(Other.FPixels, 0);
        FBytes = std::exchange(Other.FBytes, 0);
    }
    return *this;
}

void TPixelBlock::Shrink(size_t Pixels) {
    if (Pixels >= FPixels) return;
    if (Pixels == 0) {
        Free();
        return;
    }
    const size_t keep = WholePages(Pixels * sizeof(TColor32));
    if (keep < FBytes) munmap(reinterpret_cast<char*>(FBits) + keep, FBytes - keep);
    FPixels = Pixels;
    FBytes = keep;
}

void TPixelBlock::Free() {
    if (FBits != nullptr) munmap(FBits, FBytes);
    FBits = nullptr;
    FPixels = 0;
    FBytes = 0;
}

TPixelBlockFaultScope::TPixelBlockFaultScope() {
    if (gFaultScopes.fetch_add(1) == 0) gFaultHits.store(0);
}

TPixelBlockFaultScope::~TPixelBlockFaultScope() {
    gFaultScopes.fetch_sub(1);
}

int TPixelBlockFaultScope::Hits() const {
    return gFaultHits.load();
}
