// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ExeInfo.h"

#include "platform/rtl/Format.h"
#include "platform/system/VersionBlock.h"

std::string TExeInfo::BlockName(uint32_t Translation) {
    const uint32_t language = Translation & 0xFFFF;
    const uint32_t codePage = Translation >> 16;
    return Format("%.8X", language * 65536 + codePage);
}

TExeInfo::TExeInfo(const std::string& FileName) {
    Data = ReadVersionBlock(FileName);
    Size = static_cast<int32_t>(Data.size());
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    if (!VerQueryValue(Data, "\\VarFileInfo\\Translation", value, length) || length < 4) return;
    const uint32_t translation = static_cast<uint32_t>(value[0]) | (static_cast<uint32_t>(value[1]) << 8) |
                                 (static_cast<uint32_t>(value[2]) << 16) |
                                 (static_cast<uint32_t>(value[3]) << 24);
    const std::string prefix = "\\StringFileInfo\\" + BlockName(translation) + "\\";
    const struct {
        const char* Key;
        std::string* Field;
    } keys[] = {{"CompanyName", &CompanyName},           {"FileDescription", &FileDescription},
                {"FileVersion", &FileVersion},           {"InternalName", &InternalName},
                {"LegalCopyright", &LegalCopyright},     {"LegalTrademarks", &LegalTrademarks},
                {"OriginalFilename", &OriginalFilename}, {"ProductName", &ProductName},
                {"ProductVersion", &ProductVersion},     {"Comments", &Comments}};
    for (const auto& key : keys)
        if (VerQueryValue(Data, prefix + key.Key, value, length)) {
            // The text up to its terminating zero, or the whole value when it has none.
            const char* text = reinterpret_cast<const char*>(value);
            size_t n = 0;
            while (n < length && text[n] != 0)
                ++n;
            key.Field->assign(text, n);
        }
}
