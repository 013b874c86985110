// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/AllocationFaults.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__)
#define QUOR_NO_ALLOCATION_FAULTS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUOR_NO_ALLOCATION_FAULTS 1
#endif
#endif

namespace {
// Allocations left before the one that fails, on this thread (0: none fails).
thread_local long gCountdown = 0;
thread_local bool gHit = false;
// The largest allocation that may succeed on this thread, and whether a larger one was asked for.
thread_local std::size_t gCeiling = SIZE_MAX;
thread_local bool gCeilingHit = false;
} // namespace

#ifndef QUOR_NO_ALLOCATION_FAULTS
namespace {
// True for the allocation that is to fail.
bool FailsHere(std::size_t Size) noexcept {
    if (Size > gCeiling) {
        gCeilingHit = true;
        return true;
    }
    if (gCountdown <= 0 || --gCountdown > 0) return false;
    gHit = true;
    return true;
}

// As the library's operator new: malloc, and the new-handler while it gives nothing.
void* Allocate(std::size_t Size) {
    if (FailsHere(Size)) throw std::bad_alloc();
    for (;;) {
        if (void* p = std::malloc(Size == 0 ? 1 : Size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void* AllocateOrNil(std::size_t Size) noexcept {
    try {
        return Allocate(Size);
    } catch (...) {
        return nullptr;
    }
}
} // namespace

void* operator new(std::size_t Size) {
    return Allocate(Size);
}
void* operator new[](std::size_t Size) {
    return Allocate(Size);
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
    return AllocateOrNil(Size);
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
    return AllocateOrNil(Size);
}
void operator delete(void* P) noexcept {
    std::free(P);
}
void operator delete[](void* P) noexcept {
    std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
    std::free(P);
}
void operator delete[](void* P, std::size_t) noexcept {
    std::free(P);
}
void operator delete(void* P, const std::nothrow_t&) noexcept {
    std::free(P);
}
void operator delete[](void* P, const std::nothrow_t&) noexcept {
    std::free(P);
}

bool AllocationFaultsAvailable() {
    return true;
}
#else
bool AllocationFaultsAvailable() {
    return false;
}
#endif

TAllocationFaultScope::TAllocationFaultScope(long Nth) {
    gHit = false;
    gCountdown = Nth;
}

TAllocationFaultScope::~TAllocationFaultScope() {
    gCountdown = 0;
}

bool TAllocationFaultScope::Hit() const {
    return gHit;
}

TAllocationCeiling::TAllocationCeiling(std::size_t Bytes) {
    gCeilingHit = false;
    gCeiling = Bytes;
}

TAllocationCeiling::~TAllocationCeiling() {
    gCeiling = SIZE_MAX;
}

bool TAllocationCeiling::Hit() const {
    return gCeilingHit;
}
