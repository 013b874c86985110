// SPDX-License-Identifier: GPL-3.0-or-later
// A label whose caption is one string of the running executable's version information,
// chosen by Kind.
#pragma once

#include "controls/ExeInfo.h"

#include <QLabel>

#include <memory>

enum TKindInfoLabel {
    kiCompanyName,
    kiFileDescription,
    kiFileVersion,
    kiInternalName,
    kiLegalCopyright,
    kiLegalTrademarks,
    kiOriginalFilename,
    kiProductName,
    kiProductVersion,
    kiComments
};

// The version-information key of a kind ("ProductVersion"); empty beyond the ten kinds.
const char* InfoKeyName(TKindInfoLabel Kind);

class TInfoLabel : public QLabel {
    Q_OBJECT
public:
    // A label being designed on a form reads no file and shows the key names.
    explicit TInfoLabel(QWidget* Owner = nullptr, bool Designing = false);
    ~TInfoLabel() override;

    TExeInfo* ExeInfo() const { return FExeInfo.get(); }
    TKindInfoLabel Kind() const { return FKind; }
    // The caption becomes the kind's string (its key name while designing); a value beyond the
    // ten kinds is only stored.
    void SetKind(TKindInfoLabel Value);

private:
    std::unique_ptr<TExeInfo> FExeInfo;
    TKindInfoLabel FKind = kiCompanyName;
};
