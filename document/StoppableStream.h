// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file that another thread may ask to stop: a stream that passes writes on until the
// stop flag is raised, and the writing of a whole file that leaves nothing behind when it fails or
// stops.
#pragma once

#include "platform/rtl/Streams.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Thrown inside a write that was asked to stop.
struct TStopped {};

// Passes writes on to Target until *Stop is raised (nil: never), then throws TStopped.
class TStoppableStream : public TStream {
public:
    TStoppableStream(TStream& Target, const std::atomic<bool>* Stop) : FTarget(Target), FStop(Stop) {}
    size_t Read(void* Buffer, size_t Count) override { return FTarget.Read(Buffer, Count); }
    size_t Write(const void* Buffer, size_t Count) override {
        if (FStop != nullptr && FStop->load(std::memory_order_relaxed)) throw TStopped{};
        return FTarget.Write(Buffer, Count);
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FTarget.Seek(Offset, Origin); }
    void SetSize(int64_t NewSize) override { FTarget.SetSize(NewSize); }

private:
    TStream& FTarget;
    const std::atomic<bool>* FStop;
};

// Writes a file's contents to Stream and returns the checksum of what it wrote.
using TWriteSwap = std::function<uint64_t(TStream& Stream)>;

// Creates FileName and has Write fill it, then closes it; returns Write's checksum. Raises what
// the writing raises (TStopped when *Stop was raised on the way), and then no part of the file is
// left.
uint64_t WriteWholeFile(const std::string& FileName, const TWriteSwap& Write, const std::atomic<bool>* Stop);
