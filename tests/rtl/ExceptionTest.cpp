// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Exception.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

TEST(ErrorMessage, IsTheMessageAndOutOfMemoryForMemoryThatRanOut) {
    EXPECT_EQ(ErrorMessage(Exception("Cannot open file \"a.bmp\"")), "Cannot open file \"a.bmp\"");
    EXPECT_EQ(ErrorMessage(std::runtime_error("vector::reserve")), "vector::reserve");
    EXPECT_EQ(ErrorMessage(std::bad_alloc()), "Out of memory");
    EXPECT_EQ(ErrorMessage(std::bad_array_new_length()), "Out of memory");
}
