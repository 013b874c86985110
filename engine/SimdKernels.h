// SPDX-License-Identifier: GPL-3.0-or-later
// How the analysis kernels reach the vector units, in two ways.
//
// Most kernels are written once as plain loops over rows (QUOR_KERNEL, always inlined) that the
// compiler vectorises; QUOR_DISPATCH instantiates such a body twice, once for the machine's
// baseline and once for AVX2 (QUOR_AVX2), and UseAvx2() picks one at run time.
//
// Where the compiler does not vectorise the loop (a table lookup, branches per pixel, an arc
// tangent), the AVX2 copy is written by hand with intrinsics beside the plain function it
// copies, in a QUOR_HAS_AVX2_PATH block, and the caller asks UseAvx2() itself: the colour
// conversion (imagproc.cpp), the edge decision and the gradient sectors (EdgeDetection.cpp) and
// the direction bytes (OrientationField.cpp). Such a copy does the same arithmetic step for step,
// or, where it takes a shortcut (a polynomial for the arc tangent), hands the lanes that land
// near a rounding boundary to the plain conversion.
//
// Either way both copies compute the same results: the kernels use integers, or floating-point
// steps that the compiler may neither reorder nor contract (no fast-math, no fused multiply-add),
// so the plain copy is the reference of the wide one, and the tests hold each against the other.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUOR_HAS_AVX2_PATH 1
#define QUOR_AVX2 __attribute__((target("avx2")))
#else
#define QUOR_HAS_AVX2_PATH 0
#define QUOR_AVX2
#endif

#define QUOR_KERNEL inline __attribute__((always_inline))

// Whether the AVX2 copies run: when the processor has AVX2 and they are not switched off.
bool UseAvx2();
// Switches the AVX2 copies off (false) or back on, for comparing both copies in tests.
void SetAvx2Enabled(bool Enabled);

// Declares Name##Plain and Name##Avx2 from one kernel body and a dispatcher Name.
// Usage: QUOR_DISPATCH(BlurRow, (const uint8_t* S, int W), (S, W)) with QUOR_KERNEL BlurRowBody.
#if QUOR_HAS_AVX2_PATH
#define QUOR_DISPATCH(Name, Params, Args)                                                                    \
    static void Name##Plain Params {                                                                         \
        Name##Body Args;                                                                                     \
    }                                                                                                        \
    QUOR_AVX2 static void Name##Avx2 Params {                                                                \
        Name##Body Args;                                                                                     \
    }                                                                                                        \
    static void Name Params {                                                                                \
        if (UseAvx2())                                                                                       \
            Name##Avx2 Args;                                                                                 \
        else                                                                                                 \
            Name##Plain Args;                                                                                \
    }
#else
#define QUOR_DISPATCH(Name, Params, Args)                                                                    \
    static void Name Params {                                                                                \
        Name##Body Args;                                                                                     \
    }
#endif
