// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/BufferedWriter.h"

#include "platform/rtl/Streams.h"

#include <cstring>

TBufferedWriter::TBufferedWriter(const std::string& FileName, int32_t BufferSize)
    : FCapacity(BufferSize > 2 ? BufferSize : 2), FFileName(FileName) {
    FBuffer = std::make_unique<char[]>(static_cast<size_t>(FCapacity));
    FFile = std::make_unique<TAtomicFileStream>(FileName);
}

TBufferedWriter::~TBufferedWriter() = default;

void TBufferedWriter::WriteLn(std::string_view S) {
    const int64_t need = static_cast<int64_t>(S.size()) + 2;
    if (need + FUsed > FCapacity) Flush();
    if (need > FCapacity) {
        // Longer than the whole buffer: straight to the file, after what came before it.
        FFile->WriteBuffer(S.data(), S.size());
        FFile->WriteBuffer("\n\r", 2);
        FFile->Flush();
        return;
    }
    std::memcpy(FBuffer.get() + FUsed, S.data(), S.size());
    FUsed += static_cast<int32_t>(S.size());
    FBuffer[static_cast<size_t>(FUsed++)] = '\n';
    FBuffer[static_cast<size_t>(FUsed++)] = '\r';
}

void TBufferedWriter::Flush() {
    if (FUsed == 0) return;
    const size_t count = static_cast<size_t>(FUsed);
    // Dropped before writing: after a failure the file is incomplete anyway.
    FUsed = 0;
    FFile->WriteBuffer(FBuffer.get(), count);
    FFile->Flush();
}

void TBufferedWriter::Close() {
    Flush();
    FFile->Close();
}
