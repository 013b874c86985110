#include "document/BufferedWriter.h"

#include "platform/rtl/Exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TBufferedWriter::TBufferedWriter(const std::string& FileName, int32_t BufferSize)
    : FCapacity(BufferSize > 2 ? BufferSize : 2), FFileName(FileName) {
    FBuffer = std::make_unique<char[]>(static_cast<size_t>(FCapacity));
    ::unlink(FileName.c_str());
    FFile = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFile < 0) RaiseException("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
}

TBufferedWriter::~TBufferedWriter() {
    try {
        Flush();
    } catch (...) {
        // Reported by the explicit Flush that the writer's users make before they free it.
    }
    ::close(FFile);
}

void TBufferedWriter::WriteLn(std::string_view S) {
    const int64_t need = static_cast<int64_t>(S.size()) + 2;
    if (need + FUsed > FCapacity) Flush();
    if (need > FCapacity) {
        // Longer than the whole buffer: straight to the file, after what came before it.
        WriteAll(S.data(), S.size());
        WriteAll("\n\r", 2);
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
    // Dropped before writing: after a failure the file is incomplete anyway, and the
    // destructor must not try the same bytes again.
    FUsed = 0;
    WriteAll(FBuffer.get(), count);
}

void TBufferedWriter::WriteAll(const char* Data, size_t Count) {
    while (Count > 0) {
        const ssize_t n = ::write(FFile, Data, Count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) RaiseException("Disk full");
        Data += n;
        Count -= static_cast<size_t>(n);
    }
}
