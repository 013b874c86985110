// SPDX-License-Identifier: GPL-3.0-or-later
// The version reader on any bytes: finding the block in an executable and every query on it.
#include "platform/system/VersionBlock.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> block = FindVersionBlock(Data, Size);
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    if (VerQueryValue(block, "\\VarFileInfo\\Translation", value, length) && length >= 4)
        VerQueryValue(block, "\\StringFileInfo\\0409FDE9\\ProductVersion", value, length);
    // The block's own bytes as a block: queries walk entries without an executable around them.
    const std::vector<uint8_t> raw(Data, Data + Size);
    VerQueryValue(raw, "\\VarFileInfo\\Translation", value, length);
    return 0;
}
