// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/ProcessMessages.h"

#include <utility>

namespace {
TProcessMessagesHook& InstalledHook() {
    static TProcessMessagesHook hook;
    return hook;
}
} // namespace

void SetProcessMessagesHook(TProcessMessagesHook Hook) {
    InstalledHook() = std::move(Hook);
}

void ProcessMessages() {
    if (InstalledHook()) InstalledHook()();
}
