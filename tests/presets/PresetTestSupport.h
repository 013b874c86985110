// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the preset tests: a private application folder that is also the current
// directory (where "quor.log" lands), little-endian byte builders and message capture.
#pragma once

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/system/ApplicationFolder.h"
#include "tests/support/RaisedMessage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

class TPresetFolder {
public:
    TPresetFolder() : FOldDirectory(std::filesystem::current_path()) {
        SetApplicationFolder(FFolder.Path());
        std::filesystem::current_path(FFolder.Path());
    }
    ~TPresetFolder() {
        std::filesystem::current_path(FOldDirectory);
        SetApplicationFolder("");
    }
    TPresetFolder(const TPresetFolder&) = delete;
    TPresetFolder& operator=(const TPresetFolder&) = delete;

    const std::string& Path() const { return FFolder.Path(); }
    std::string operator/(const std::string& Name) const { return FFolder / Name; }
    bool Exists(const std::string& Name) const { return std::filesystem::exists(FFolder / Name); }
    // The text of "quor.log", empty when there is none.
    std::string Log() const { return Read(FFolder / "quor.log"); }

    static std::string Read(const std::string& Path) {
        std::ifstream in(Path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& Path, const TBytes& Bytes) {
        std::ofstream(Path, std::ios::binary)
            .write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    }

private:
    TTestFolder FFolder;
    std::filesystem::path FOldDirectory;
};

// Appends Value's little-endian bytes.
template <typename T>
void Put(TBytes& Bytes, T Value) {
    unsigned char b[sizeof(T)];
    TStream::ToLittleEndian(Value, b);
    Bytes.insert(Bytes.end(), b, b + sizeof(T));
}

inline TBytes StreamBytes(TMemoryStream& Stream) {
    return TBytes(Stream.Memory(), Stream.Memory() + Stream.Size());
}

inline void Fill(TMemoryStream& Stream, const TBytes& Bytes) {
    Stream.Clear();
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
    Stream.SetPosition(0);
}

// The message of the Exception that F raises; a test failure when it raises none.
