// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the memory lines read at every show, and the animation and credits that move
// only while the box is shown.
#include "app/UFormAbout.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

TEST(FormAboutTest, ShowingAndHidingStartsAndStopsTheAnimationEachTime) {
    TFormAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(511, 350));
    EXPECT_FALSE(about.anim->Active());
    EXPECT_TRUE(about.lblTotal->text().isEmpty());

    for (int round = 0; round < 2; ++round) {
        about.show();
        EXPECT_TRUE(about.anim->Active());
        EXPECT_TRUE(about.Credits->Active());
        const QRegularExpression total(QStringLiteral("^Total physical memory: [1-9][0-9]*$"));
        const QRegularExpression free(QStringLiteral("^Free physical memory: [0-9]+$"));
        EXPECT_TRUE(total.match(about.lblTotal->text()).hasMatch()) << about.lblTotal->text().toStdString();
        EXPECT_TRUE(free.match(about.lblFree->text()).hasMatch()) << about.lblFree->text().toStdString();
        about.lblTotal->clear();

        const int frame = about.anim->FrameIndex();
        const int offset = about.Credits->Offset();
        // Both run on timers; a loaded machine may take a while to fire them.
        EXPECT_TRUE(QTest::qWaitFor([&] { return about.anim->FrameIndex() != frame; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return about.Credits->Offset() != offset; }, 5000));

        about.hide();
        EXPECT_FALSE(about.anim->Active());
        EXPECT_FALSE(about.Credits->Active());
        const int stopped = about.anim->FrameIndex();
        QTest::qWait(300);
        EXPECT_EQ(about.anim->FrameIndex(), stopped);
    }
}

TEST(FormAboutTest, TheMemoryCountsAreWholeBytesOfThisMachine) {
    const uint64_t total = TotalPhysicalMemory();
    EXPECT_GT(total, 1u << 20);
    EXPECT_LE(FreePhysicalMemory(), total);
}
