// SPDX-License-Identifier: GPL-3.0-or-later
// Sets (or, with nullptr, unsets) an environment variable for one scope.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class TScopedEnv {
public:
    TScopedEnv(const char* Name, const char* Value) : FName(Name) {
        if (const char* old = std::getenv(Name)) FOld = old;
        if (Value != nullptr)
            setenv(Name, Value, 1);
        else
            unsetenv(Name);
    }
    TScopedEnv(const char* Name, const std::string& Value) : TScopedEnv(Name, Value.c_str()) {}
    ~TScopedEnv() {
        if (FOld)
            setenv(FName.c_str(), FOld->c_str(), 1);
        else
            unsetenv(FName.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};
