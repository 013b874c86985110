#include "platform/system/CriticalSection.h"

TCriticalSection& ProcessLock() {
    static TCriticalSection lock;
    return lock;
}
