// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/StoppableStream.h"

#include <cstdio>

uint64_t WriteWholeFile(const std::string& FileName, const TWriteSwap& Write, const std::atomic<bool>* Stop) {
    try {
        TFileStream file(FileName, TFileMode::fmCreate);
        TStoppableStream stream(file, Stop);
        const uint64_t sum = Write(stream);
        file.Close();
        return sum;
    } catch (...) {
        std::remove(FileName.c_str());
        throw;
    }
}
