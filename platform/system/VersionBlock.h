// SPDX-License-Identifier: GPL-3.0-or-later
// The version block that the build embeds in every executable, and finding it in a file.
//
// The block lies in the executable's ELF section ".quor_version". All numbers little-endian:
//   16 bytes  "QuorVersionInfo" and a zero byte
//   u32       byte count of the entries that follow
//   entries   each: a zero-terminated path, a u32 value length, the value's bytes
// Paths name values as version resources do: "\VarFileInfo\Translation" holds u32 words, each a
// language (low 16 bits) and a code page (high 16 bits); "\StringFileInfo\<block>\<key>" holds
// a zero-terminated UTF-8 text, where <block> is the translation as eight upper-case hexadecimal
// digits (language 0409 and code page FDE9 give "0409FDE9").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr char VersionBlockSection[] = ".quor_version";
constexpr char VersionBlockMagic[] = "QuorVersionInfo";
constexpr size_t VersionBlockHeaderSize = 20;
// A larger block is taken for a damaged one.
constexpr size_t VersionBlockMaxSize = 64 * 1024;

// Reads Count bytes at Offset of a file; false when they are not all there.
using TReadAt = std::function<bool(uint64_t Offset, void* Dest, size_t Count)>;

// The version block of an executable (ELF, 32 or 64 bit, little-endian), header included.
// Empty when the file cannot be read, is no such executable, has no block or a damaged one.
std::vector<uint8_t> ReadVersionBlock(const std::string& FileName);
std::vector<uint8_t> FindVersionBlock(const TReadAt& ReadAt);
std::vector<uint8_t> FindVersionBlock(const uint8_t* Data, size_t Size);

// The value stored under Path (compared without regard to ASCII case); false when the block
// has none or is damaged.
bool VerQueryValue(const std::vector<uint8_t>& Block, const std::string& Path, const uint8_t*& Value,
                   uint32_t& Length);

// The running executable's full file name.
std::string RunningExecutableName();
