// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/VersionBlock.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace {
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint64_t U64(const uint8_t* p) {
    return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}

// One section header, in the fields we use.
struct TSection {
    uint32_t Name = 0;
    uint32_t Type = 0;
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint32_t Link = 0;
};

constexpr uint32_t SHT_NOBITS = 8;
// More sections than this is taken for a damaged file.
constexpr uint32_t MaxSections = 1u << 16;

class TElfReader {
public:
    explicit TElfReader(const TReadAt& ReadAt) : FReadAt(ReadAt) {}

    bool ReadHeader() {
        uint8_t h[64];
        if (!FReadAt(0, h, 52)) return false;
        if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F') return false;
        if (h[5] != 1) return false; // little-endian only
        if (h[4] == 2) {
            if (!FReadAt(0, h, 64)) return false;
            F64 = true;
            FShOff = U64(h + 0x28);
            FShEntSize = U16(h + 0x3A);
            FShNum = U16(h + 0x3C);
            FShStrNdx = U16(h + 0x3E);
        } else if (h[4] == 1) {
            FShOff = U32(h + 0x20);
            FShEntSize = U16(h + 0x2E);
            FShNum = U16(h + 0x30);
            FShStrNdx = U16(h + 0x32);
        } else {
            return false;
        }
        if (FShOff == 0 || FShEntSize < (F64 ? 64u : 40u)) return false;
        // Extended numbering: the real count and string-table index live in section 0.
        if (FShNum == 0 || FShStrNdx == 0xFFFF) {
            TSection first;
            if (!Section(0, first)) return false;
            if (FShNum == 0)
                FShNum = first.Size > MaxSections ? MaxSections + 1 : static_cast<uint32_t>(first.Size);
            if (FShStrNdx == 0xFFFF) FShStrNdx = first.Link;
        }
        return FShNum <= MaxSections && FShStrNdx < FShNum;
    }

    bool Section(uint32_t Index, TSection& S) const {
        uint8_t e[64];
        const uint64_t at = FShOff + static_cast<uint64_t>(Index) * FShEntSize;
        if (at < FShOff) return false;
        if (F64) {
            if (!FReadAt(at, e, 64)) return false;
            S = {U32(e), U32(e + 4), U64(e + 24), U64(e + 32), U32(e + 40)};
        } else {
            if (!FReadAt(at, e, 40)) return false;
            S = {U32(e), U32(e + 4), U32(e + 16), U32(e + 20), U32(e + 24)};
        }
        return true;
    }

    // The section of that name, if any.
    bool Find(const char* Wanted, TSection& Found) const {
        TSection names;
        if (!Section(FShStrNdx, names)) return false;
        const size_t length = std::strlen(Wanted) + 1;
        std::vector<char> name(length);
        for (uint32_t i = 0; i < FShNum; ++i) {
            TSection s;
            if (!Section(i, s)) return false;
            if (s.Name >= names.Size || names.Size - s.Name < length) continue;
            if (!FReadAt(names.Offset + s.Name, name.data(), length)) continue;
            if (std::memcmp(name.data(), Wanted, length) == 0) {
                Found = s;
                return true;
            }
        }
        return false;
    }

private:
    const TReadAt& FReadAt;
    bool F64 = false;
    uint64_t FShOff = 0;
    uint32_t FShEntSize = 0;
    uint32_t FShNum = 0;
    uint32_t FShStrNdx = 0;
};

bool SamePath(const char* A, size_t ALength, const std::string& B) {
    if (ALength != B.size()) return false;
    for (size_t i = 0; i < ALength; ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(A[i])) != lower(static_cast<unsigned char>(B[i]))) return false;
    }
    return true;
}
} // namespace

std::vector<uint8_t> FindVersionBlock(const TReadAt& ReadAt) {
    TElfReader elf(ReadAt);
    TSection section;
    if (!elf.ReadHeader() || !elf.Find(VersionBlockSection, section)) return {};
    if (section.Type == SHT_NOBITS || section.Size < VersionBlockHeaderSize ||
        section.Size > VersionBlockMaxSize)
        return {};
    uint8_t header[VersionBlockHeaderSize];
    if (!ReadAt(section.Offset, header, sizeof header)) return {};
    if (std::memcmp(header, VersionBlockMagic, sizeof VersionBlockMagic) != 0) return {};
    const uint32_t entries = U32(header + 16);
    if (entries > section.Size - VersionBlockHeaderSize) return {};
    std::vector<uint8_t> block(VersionBlockHeaderSize + entries);
    if (!ReadAt(section.Offset, block.data(), block.size())) return {};
    return block;
}

std::vector<uint8_t> FindVersionBlock(const uint8_t* Data, size_t Size) {
    const TReadAt readAt = [&](uint64_t Offset, void* Dest, size_t Count) {
        if (Offset > Size || Count > Size - Offset) return false;
        std::memcpy(Dest, Data + Offset, Count);
        return true;
    };
    return FindVersionBlock(readAt);
}

std::vector<uint8_t> ReadVersionBlock(const std::string& FileName) {
    std::ifstream file(FileName, std::ios::binary);
    if (!file) return {};
    file.seekg(0, std::ios::end);
    const auto end = file.tellg();
    if (end < 0) return {};
    const uint64_t size = static_cast<uint64_t>(end);
    const TReadAt readAt = [&](uint64_t Offset, void* Dest, size_t Count) {
        if (Offset > size || Count > size - Offset) return false;
        file.clear();
        file.seekg(static_cast<std::streamoff>(Offset));
        file.read(static_cast<char*>(Dest), static_cast<std::streamsize>(Count));
        return static_cast<size_t>(file.gcount()) == Count;
    };
    return FindVersionBlock(readAt);
}

bool VerQueryValue(const std::vector<uint8_t>& Block, const std::string& Path, const uint8_t*& Value,
                   uint32_t& Length) {
    if (Block.size() < VersionBlockHeaderSize) return false;
    const size_t end =
        std::min(Block.size(), VersionBlockHeaderSize + static_cast<size_t>(U32(Block.data() + 16)));
    size_t at = VersionBlockHeaderSize;
    while (at < end) {
        const char* path = reinterpret_cast<const char*>(Block.data() + at);
        const void* zero = std::memchr(path, 0, end - at);
        if (!zero) return false;
        const size_t pathLength = static_cast<size_t>(static_cast<const char*>(zero) - path);
        at += pathLength + 1;
        if (end - at < 4) return false;
        const uint32_t length = U32(Block.data() + at);
        at += 4;
        if (length > end - at) return false;
        if (SamePath(path, pathLength, Path)) {
            Value = Block.data() + at;
            Length = length;
            return true;
        }
        at += length;
    }
    return false;
}

std::string RunningExecutableName() {
    char path[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}
