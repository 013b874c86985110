// SPDX-License-Identifier: GPL-3.0-or-later
// Small ELF files for the tests of the version reader: a header, a section-name table and one
// section of the caller's name and bytes, 32 or 64 bit, little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace testelf {

inline void Put(std::vector<uint8_t>& B, size_t At, uint64_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i)
        B[At + static_cast<size_t>(i)] = static_cast<uint8_t>(Value >> (8 * i));
}

inline void Append32(std::vector<uint8_t>& B, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        B.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

// A version block: the magic, the entry size, a translation entry and one text entry per key.
inline std::vector<uint8_t> VersionBlock(uint32_t Translation, const std::string& BlockName,
                                         const std::vector<std::pair<std::string, std::string>>& Strings) {
    std::vector<uint8_t> entries;
    auto entry = [&](const std::string& Path, const std::vector<uint8_t>& Value) {
        entries.insert(entries.end(), Path.begin(), Path.end());
        entries.push_back(0);
        Append32(entries, static_cast<uint32_t>(Value.size()));
        entries.insert(entries.end(), Value.begin(), Value.end());
    };
    std::vector<uint8_t> translation;
    Append32(translation, Translation);
    entry("\\VarFileInfo\\Translation", translation);
    for (const auto& [key, text] : Strings) {
        std::vector<uint8_t> value(text.begin(), text.end());
        value.push_back(0);
        entry("\\StringFileInfo\\" + BlockName + "\\" + key, value);
    }
    std::vector<uint8_t> block(16);
    std::memcpy(block.data(), "QuorVersionInfo", 16);
    Append32(block, static_cast<uint32_t>(entries.size()));
    block.insert(block.end(), entries.begin(), entries.end());
    return block;
}

// Layout: header, names, the section's bytes, then the three section headers (null, names, it).
inline std::vector<uint8_t> File(bool Is64, const std::string& SectionName,
                                 const std::vector<uint8_t>& Content) {
    const size_t headerSize = Is64 ? 64 : 52;
    const size_t entrySize = Is64 ? 64 : 40;
    std::string names = std::string(1, '\0') + ".shstrtab" + '\0' + SectionName + '\0';
    const size_t namesAt = headerSize;
    const size_t contentAt = namesAt + names.size();
    const size_t tableAt = contentAt + Content.size();
    std::vector<uint8_t> b(tableAt + 3 * entrySize, 0);
    b[0] = 0x7F;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = Is64 ? 2 : 1;
    b[5] = 1;
    b[6] = 1;
    std::memcpy(b.data() + namesAt, names.data(), names.size());
    std::memcpy(b.data() + contentAt, Content.data(), Content.size());
    if (Is64) {
        Put(b, 0x28, tableAt, 8);
        Put(b, 0x3A, entrySize, 2);
        Put(b, 0x3C, 3, 2);
        Put(b, 0x3E, 1, 2);
    } else {
        Put(b, 0x20, tableAt, 4);
        Put(b, 0x2E, entrySize, 2);
        Put(b, 0x30, 3, 2);
        Put(b, 0x32, 1, 2);
    }
    auto section = [&](int Index, uint32_t Name, uint32_t Type, uint64_t Offset, uint64_t Size) {
        const size_t at = tableAt + static_cast<size_t>(Index) * entrySize;
        Put(b, at, Name, 4);
        Put(b, at + 4, Type, 4);
        Put(b, at + (Is64 ? 24 : 16), Offset, Is64 ? 8 : 4);
        Put(b, at + (Is64 ? 32 : 20), Size, Is64 ? 8 : 4);
    };
    section(1, 1, 3, namesAt, names.size());
    section(2, 11, 1, contentAt, Content.size());
    return b;
}

} // namespace testelf
