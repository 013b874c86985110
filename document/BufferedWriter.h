// A text file written line by line through one buffer: one write to the file per full buffer.
// The PostScript export writes its lines through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TBufferedWriter {
public:
    // Deletes a file of that name, then creates it empty. A file that cannot be created raises
    // an Exception naming it.
    TBufferedWriter(const std::string& FileName, int32_t BufferSize);
    // Writes what is still buffered (a failure is lost here: call Flush first to see it) and
    // closes the file.
    ~TBufferedWriter();
    TBufferedWriter(const TBufferedWriter&) = delete;
    TBufferedWriter& operator=(const TBufferedWriter&) = delete;

    // The bytes of S followed by the bytes 10 then 13 (LF CR, in that order). A line that does
    // not fit beside what is buffered flushes the buffer first; a line longer than the whole
    // buffer goes to the file directly.
    void WriteLn(std::string_view S);
    // Writes the buffered bytes to the file and empties the buffer. Raises "Disk full" when the
    // file takes fewer bytes than asked.
    void Flush();

    int32_t Capacity() const { return FCapacity; }
    int32_t Used() const { return FUsed; }
    const std::string& FileName() const { return FFileName; }

private:
    void WriteAll(const char* Data, size_t Count);

    int FFile = -1;
    std::unique_ptr<char[]> FBuffer;
    int32_t FCapacity = 0;
    int32_t FUsed = 0;
    std::string FFileName;
};
