// SPDX-License-Identifier: GPL-3.0-or-later
// A text file written line by line through one buffer: one write to the file per full buffer.
// The PostScript export writes its lines through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TAtomicFileStream;

class TBufferedWriter {
public:
    // Starts the file FileName, written aside and put in place by Close (a file of that name
    // stays as it was until then). A file that cannot be created raises an Exception naming it.
    TBufferedWriter(const std::string& FileName, int32_t BufferSize);
    // A writer destroyed before Close (after an error) leaves no file and the old one whole.
    ~TBufferedWriter();
    TBufferedWriter(const TBufferedWriter&) = delete;
    TBufferedWriter& operator=(const TBufferedWriter&) = delete;

    // The bytes of S followed by the bytes 10 then 13 (LF CR, in that order). A line that does
    // not fit beside what is buffered flushes the buffer first; a line longer than the whole
    // buffer goes to the file directly.
    void WriteLn(std::string_view S);
    // Writes the buffered bytes to the file and empties the buffer. Raises "Could not write
    // <name>: <reason>" when the file does not take them.
    void Flush();
    // Flushes, then puts the whole file in place of FileName; raises as Flush.
    void Close();

    int32_t Used() const { return FUsed; }
    const std::string& FileName() const { return FFileName; }

private:
    std::unique_ptr<TAtomicFileStream> FFile;
    std::unique_ptr<char[]> FBuffer;
    int32_t FCapacity = 0;
    int32_t FUsed = 0;
    std::string FFileName;
};
