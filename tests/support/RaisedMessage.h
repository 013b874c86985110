// SPDX-License-Identifier: GPL-3.0-or-later
// What an action raises, for tests that check the words a user is shown.
#pragma once

#include <exception>
#include <functional>
#include <string>

// The message of the exception F raises; empty when it raises none.
inline std::string MessageOf(const std::function<void()>& F) {
    try {
        F();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}
