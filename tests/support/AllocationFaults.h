// SPDX-License-Identifier: GPL-3.0-or-later
// Test seam: an allocation that fails on request, as on a machine whose memory ran out, or
// because it is larger than a test allows. A test program built with AllocationFaults.cpp has its
// own global operator new (plain and nothrow, single and array), which fails where a scope asks
// and otherwise allocates as the library's does.
// The ThreadSanitizer build keeps the operator new of its run-time library, which cannot be
// replaced: there the seam is missing (AllocationFaultsAvailable).
#pragma once

#include <cstddef>

// False in a build where the seam is missing: a scope then fails nothing.
bool AllocationFaultsAvailable();

// While a scope lives, the Nth allocation with operator new on the calling thread from the
// scope's start (1: the first) fails with std::bad_alloc (nil for a nothrow new); every other
// allocation, and every allocation on other threads, succeeds.
class TAllocationFaultScope {
public:
    explicit TAllocationFaultScope(long Nth);
    ~TAllocationFaultScope();
    TAllocationFaultScope(const TAllocationFaultScope&) = delete;
    TAllocationFaultScope& operator=(const TAllocationFaultScope&) = delete;
    // True once the allocation failed.
    bool Hit() const;
};

// While a ceiling lives, every allocation with operator new of more than Bytes on the calling
// thread fails with std::bad_alloc (nil for a nothrow new): a test sees that nothing large is
// asked for. Memory that C libraries take with malloc is not watched.
class TAllocationCeiling {
public:
    explicit TAllocationCeiling(std::size_t Bytes);
    ~TAllocationCeiling();
    TAllocationCeiling(const TAllocationCeiling&) = delete;
    TAllocationCeiling& operator=(const TAllocationCeiling&) = delete;
    // True once a larger allocation was asked for.
    bool Hit() const;
};
