// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Exception.h"

#include <new>

std::string ErrorMessage(const std::exception& E) {
    if (dynamic_cast<const std::bad_alloc*>(&E) != nullptr) return "Out of memory";
    return E.what();
}

void RaiseException(const std::string& message) {
    throw Exception(message);
}

void Abort() {
    throw EAbort();
}
