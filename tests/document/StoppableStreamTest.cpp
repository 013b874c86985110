// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/StoppableStream.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Writes Chunks pieces of 4,096 bytes and returns their count as the checksum; raises Stop
// after the piece StopAfter (-1: never).
TWriteSwap Chunks(int Count, std::atomic<bool>* Stop = nullptr, int StopAfter = -1) {
    return [=](TStream& Stream) {
        const std::vector<char> piece(4096, 'x');
        for (int i = 0; i < Count; ++i) {
            Stream.WriteBuffer(piece.data(), piece.size());
            if (i == StopAfter) Stop->store(true);
        }
        return static_cast<uint64_t>(Count);
    };
}
} // namespace

TEST(StoppableStream, AWholeFileHoldsWhatWasWrittenAndGivesItsChecksum) {
    TTestFolder folder;
    const std::string name = folder / "whole";
    std::atomic<bool> stop{false};
    EXPECT_EQ(WriteWholeFile(name, Chunks(5), &stop), 5u);
    EXPECT_EQ(fs::file_size(name), 5u * 4096u);
    EXPECT_EQ(WriteWholeFile(folder / "unstoppable", Chunks(1), nullptr), 1u);
}

TEST(StoppableStream, AStoppedOrFailedWriteLeavesNoFile) {
    TTestFolder folder;
    const std::string name = folder / "part";
    // Stopped before the first write, and between two writes.
    for (const int after : {-2, 1}) {
        std::atomic<bool> stop{after == -2};
        EXPECT_THROW(WriteWholeFile(name, Chunks(5, &stop, after), &stop), TStopped);
        EXPECT_FALSE(fs::exists(name)) << after;
    }
    // The disk full at a write or at the close, and the writer's own failure.
    for (const TFaultPoint point : {TFaultPoint::fpWrite, TFaultPoint::fpClose}) {
        TWriteFaultScope fault(point, 6000, ENOSPC, folder.Path());
        EXPECT_THROW(WriteWholeFile(name, Chunks(5), nullptr), Exception);
        EXPECT_GT(fault.Hits(), 0);
        EXPECT_FALSE(fs::exists(name));
    }
    EXPECT_THROW(WriteWholeFile(
                     name, [](TStream&) -> uint64_t { RaiseException("no pixels"); }, nullptr),
                 Exception);
    EXPECT_FALSE(fs::exists(name));
    EXPECT_TRUE(fs::is_empty(folder.Path()));
}
