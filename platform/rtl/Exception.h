// SPDX-License-Identifier: GPL-3.0-or-later
// The exceptions of the system: Exception carries a message for the user or the log,
// EAbort unwinds an operation silently.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The silent abort: whoever catches it shows nothing.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// The words a user reads for E: its message, or "Out of memory" for memory that ran out (whose
// own message says nothing to a user).
std::string ErrorMessage(const std::exception& E);

// Every error of the system is raised through these two, so one breakpoint catches them all.
[[noreturn]] void RaiseException(const std::string& message);
[[noreturn]] void Abort();
