// SPDX-License-Identifier: GPL-3.0-or-later
// The only way a test may skip. A test skips for a right or a resource the machine lacks
// (mounting a tmpfs, a hard limit on open files above 128) or for a check that a build leaves
// out on purpose (the unoptimised sanitizer build), and says which; scripts/run-tests.sh fails a
// run in which a test skips without this mark.
#pragma once

#include <gtest/gtest.h>

// Skips the running test; the reason is streamed after it:
//     QUOR_ALLOWED_SKIP() << "no tmpfs can be mounted here";
#define QUOR_ALLOWED_SKIP() GTEST_SKIP() << "allowed skip: "
