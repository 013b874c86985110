// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/CriticalSection.h"

TCriticalSection& ProcessLock() {
    static TCriticalSection lock;
    return lock;
}
