// SPDX-License-Identifier: GPL-3.0-or-later
// The plain notification event of every layer: Sender is the object that fires it, or none.
#pragma once

#include <functional>

using TNotifyEvent = std::function<void(void* Sender)>;

// Progress of a long operation: Percent from 0 to 100.
using TPercentEvent = std::function<void(void* Sender, int Percent)>;
