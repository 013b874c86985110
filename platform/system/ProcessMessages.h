// SPDX-License-Identifier: GPL-3.0-or-later
// Letting the window system catch up during long work on the GUI thread: the lower layers ask
// for it through a hook that app/ installs at start-up; without a hook nothing happens.
#pragma once

#include <functional>

using TProcessMessagesHook = std::function<void()>;

// An empty function removes the hook.
void SetProcessMessagesHook(TProcessMessagesHook Hook);

// Handles the pending messages of the window system once.
void ProcessMessages();
