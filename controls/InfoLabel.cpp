// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/InfoLabel.h"

#include "platform/system/VersionBlock.h"

const char* InfoKeyName(TKindInfoLabel Kind) {
    static const char* const names[] = {
        "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
        "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};
    const int i = static_cast<int>(Kind);
    return i >= 0 && i < 10 ? names[i] : "";
}

TInfoLabel::TInfoLabel(QWidget* Owner, bool Designing) : QLabel(Owner) {
    if (!Designing) FExeInfo = std::make_unique<TExeInfo>(RunningExecutableName());
}

TInfoLabel::~TInfoLabel() = default;

void TInfoLabel::SetKind(TKindInfoLabel Value) {
    FKind = Value;
    const int i = static_cast<int>(Value);
    if (i < 0 || i > 9) return;
    if (!FExeInfo) {
        setText(QString::fromUtf8(InfoKeyName(Value)));
        return;
    }
    const std::string* strings[] = {&FExeInfo->CompanyName,      &FExeInfo->FileDescription,
                                    &FExeInfo->FileVersion,      &FExeInfo->InternalName,
                                    &FExeInfo->LegalCopyright,   &FExeInfo->LegalTrademarks,
                                    &FExeInfo->OriginalFilename, &FExeInfo->ProductName,
                                    &FExeInfo->ProductVersion,   &FExeInfo->Comments};
    setText(QString::fromStdString(*strings[i]));
}
