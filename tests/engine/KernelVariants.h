// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a check under every way the analysis kernels can run: one thread or all cores, with the
// AVX2 copies of the kernels or the plain ones.
#pragma once

#include "engine/ParallelRows.h"
#include "engine/SimdKernels.h"

#include <gtest/gtest.h>

#include <string>

template <typename F>
void ForEachKernelVariant(F Check) {
    for (bool avx2 : {true, false})
        for (int threads : {1, 0}) {
            SCOPED_TRACE(std::string(threads == 1 ? "one thread" : "all threads") +
                         (avx2 ? ", AVX2" : ", plain"));
            SetAvx2Enabled(avx2);
            SetAnalysisThreadCount(threads);
            Check();
        }
    SetAvx2Enabled(true);
    SetAnalysisThreadCount(0);
}
