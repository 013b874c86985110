// SPDX-License-Identifier: GPL-3.0-or-later
// Checks that a writer fails loudly and harmlessly: under each write fault of the stream layer
// (a write, a flush, a close failing with ENOSPC), Save raises "Could not write <Target>: No
// space left on device", the target keeps every byte it had and no other file is left in its
// folder.
#pragma once

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

inline std::string FileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::set<std::string> FolderEntries(const std::string& Folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Target should exist already (its old bytes are what must survive); AtByte lies inside what
// Save writes.
inline void ExpectFailedSavesKeepTarget(const std::string& Target, const std::function<void()>& Save,
                                        int64_t AtByte = 64) {
    const std::string before = FileBytes(Target);
    const std::string folder = std::filesystem::path(Target).parent_path().string();
    const std::set<std::string> entries = FolderEntries(folder);
    const std::pair<TFaultPoint, const char*> points[] = {
        {TFaultPoint::fpWrite, "write"}, {TFaultPoint::fpFlush, "flush"}, {TFaultPoint::fpClose, "close"}};
    for (const auto& [point, name] : points) {
        SCOPED_TRACE(name);
        std::string message;
        {
            TWriteFaultScope fault(point, AtByte, ENOSPC);
            try {
                Save();
            } catch (const Exception& E) {
                message = E.Message();
            }
            EXPECT_GT(fault.Hits(), 0);
        }
        EXPECT_EQ(message, "Could not write " + Target + ": No space left on device");
        EXPECT_EQ(FileBytes(Target), before);
        EXPECT_EQ(FolderEntries(folder), entries);
    }
}
