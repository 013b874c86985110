// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempNotices.h"

#include <algorithm>
#include <cstdio>

void TTempNotices::TBatch::Tell() const {
    for (const auto& [text, kind] : Notices)
        Hook(text, kind);
}

void TTempNotices::Add(const std::string& Text, TKind Kind) {
    std::fprintf(stderr, "quorvelle: %s\n", Text.c_str());
    FQueue.emplace_back(Text, Kind);
}

void TTempNotices::LogLost(const std::string& Text) {
    Add(Text, TKind::Trouble);
    FLossNotice = Text;
    FLossQueued = true;
}

void TTempNotices::LogWrittenAgain(const std::string& Text) {
    std::fprintf(stderr, "quorvelle: %s\n", Text.c_str());
    if (FLossQueued) {
        if (const auto loss = std::find(FQueue.begin(), FQueue.end(), std::pair{FLossNotice, TKind::Trouble});
            loss != FQueue.end())
            FQueue.erase(loss);
        FLossQueued = false;
    } else if (FLossTold) {
        FQueue.emplace_back(Text, TKind::Relief);
        FLossTold = false;
    }
}

void TTempNotices::SetHook(THook Hook) {
    FHook = std::move(Hook);
}

TTempNotices::TBatch TTempNotices::Take() {
    TBatch batch;
    if (FQueue.empty() || !FHook) return batch;
    batch.Hook = FHook;
    batch.Notices.swap(FQueue);
    if (FLossQueued) FLossTold = true;
    FLossQueued = false;
    return batch;
}
