// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Exception.h"

void RaiseException(const std::string& message) {
    throw Exception(message);
}

void Abort() {
    throw EAbort();
}
