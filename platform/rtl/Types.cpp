// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Types.h"

#include <algorithm>

bool IntersectRect(TRect& Result, const TRect& A, const TRect& B) {
    Result = TRect{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                   std::min(A.Bottom, B.Bottom)};
    if (Result.IsEmpty()) {
        Result = TRect{};
        return false;
    }
    return true;
}

bool PtInRect(const TRect& R, const TPoint& P) {
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
