// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempNotices.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {
using TKind = TTempNotices::TKind;
using TTold = std::vector<std::pair<std::string, TKind>>;

// What a hook set on Notices is told at Take.
TTold Told(TTempNotices& Notices) {
    TTold told;
    Notices.SetHook([&](const std::string& Message, TKind Kind) { told.emplace_back(Message, Kind); });
    Notices.Take().Tell();
    Notices.SetHook(nullptr);
    return told;
}
} // namespace

TEST(TempNotices, WaitForAHookAndAreToldInOrderOnceEachAndWrittenToStderr) {
    TTempNotices notices;
    testing::internal::CaptureStderr();
    notices.Add("files go elsewhere", TKind::Trouble);
    notices.Add("the folder was made", TKind::Relief);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorvelle: files go elsewhere\nquorvelle: the folder was made\n");
    // No hook yet: nothing is handed over, and nothing is lost.
    const TTempNotices::TBatch none = notices.Take();
    EXPECT_FALSE(none.Hook);
    EXPECT_TRUE(none.Notices.empty());
    EXPECT_EQ(Told(notices),
              (TTold{{"files go elsewhere", TKind::Trouble}, {"the folder was made", TKind::Relief}}));
    EXPECT_TRUE(Told(notices).empty());
}

// A loss the user heard of is followed by the news that the log is written again; a loss still
// waiting for the hook is withdrawn instead, and the other notices stay.
TEST(TempNotices, ALossIsToldOnceAndTheLogWrittenAgainOnlyAfterALossThatWasTold) {
    TTempNotices notices;
    testing::internal::CaptureStderr();
    notices.LogLost("lost");
    EXPECT_EQ(Told(notices), (TTold{{"lost", TKind::Trouble}}));
    notices.LogWrittenAgain("written again");
    EXPECT_EQ(Told(notices), (TTold{{"written again", TKind::Relief}}));

    notices.Add("before", TKind::Trouble);
    notices.LogLost("lost again");
    notices.Add("after", TKind::Relief);
    notices.LogWrittenAgain("written again");
    EXPECT_EQ(Told(notices), (TTold{{"before", TKind::Trouble}, {"after", TKind::Relief}}));
    // Both ends of each loss went to stderr all the same.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorvelle: lost\nquorvelle: written again\nquorvelle: before\nquorvelle: lost again\n"
              "quorvelle: after\nquorvelle: written again\n");
}
