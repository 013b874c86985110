// SPDX-License-Identifier: GPL-3.0-or-later
// The version strings of an executable: its version block is loaded and the ten standard
// strings of its first translation are read from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TExeInfo {
public:
    // A file without a version block, a translation or a key leaves those strings empty.
    explicit TExeInfo(const std::string& FileName);

    std::vector<uint8_t> Data;
    int32_t Size = 0;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTrademarks;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;

    // The name of the string block of a translation entry: language in the low 16 bits, code
    // page in the high, as eight upper-case hexadecimal digits, language first.
    static std::string BlockName(uint32_t Translation);
};
