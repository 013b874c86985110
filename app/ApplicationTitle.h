// SPDX-License-Identifier: GPL-3.0-or-later
// The application's title: the name the program gives itself at start, and the caption of the
// messages that speak for the program as a whole rather than for one of its windows.
#pragma once

inline constexpr const char* ApplicationTitle = "Quorvelle PS";
