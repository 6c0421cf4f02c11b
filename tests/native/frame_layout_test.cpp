#include <gtest/gtest.h>

#include "ui/FrameLayout.h"

namespace {

TEST(FrameLayout, SplitsTheLauncherWindowIntoNewsAndRightColumns) {
    const FrameLayout l = ComputeFrameLayout(1024, 615);
    EXPECT_EQ(l.newsX, 30);
    EXPECT_EQ(l.newsWidth, 519);
    EXPECT_EQ(l.rightX, 569);
    EXPECT_EQ(l.rightWidth, 425);
    EXPECT_EQ(l.contentTop, 112);
    EXPECT_EQ(l.contentHeight, 449);
    EXPECT_EQ(l.footerHeight, 40);
}

TEST(FrameLayout, FollowsTheDisplayWidthWithTheNewsShareRoundedDown) {
    struct Case {
        float width, newsWidth, rightWidth, rightX;
    } cases[] = {
        {1024, 519, 425, 569},
        {1280, 660, 540, 710},  // (1200 * 0.55) = 660 exactly
        {1000, 506, 414, 556},  // 506.0 from 920 * 0.55
        {1001, 506, 415, 556},  // 506.55 rounds down
        {80, 0, 0, 50},         // nothing left after margins and gap
    };
    for (const Case& c : cases) {
        const FrameLayout l = ComputeFrameLayout(c.width, 615);
        EXPECT_EQ(l.newsWidth, c.newsWidth) << c.width;
        EXPECT_EQ(l.rightWidth, c.rightWidth) << c.width;
        EXPECT_EQ(l.rightX, c.rightX) << c.width;
        EXPECT_EQ(l.newsX + l.newsWidth + 20, l.rightX) << c.width;
    }
    EXPECT_EQ(ComputeFrameLayout(1024, 700).contentHeight, 534);
}

TEST(FrameLayout, CaptionZoneEndsAfterColumn795AndRow79) {
    struct Case {
        int x, y;
        bool caption;
    } cases[] = {
        {0, 0, true},     {795, 79, true},  {400, 40, true},  {786, 30, true},  // left 10 px of the repair button
        {796, 10, false}, {10, 80, false},  {796, 79, false}, {795, 80, false}, {-1, 10, false},
        {10, -1, false},  {900, 30, false}, {500, 300, false},
    };
    for (const Case& c : cases) EXPECT_EQ(InCaptionZone(c.x, c.y), c.caption) << c.x << "," << c.y;
}

TEST(FrameLayout, BusyStatesAreOneToFour) {
    struct Case {
        int32_t state;
        bool busy;
    } cases[] = {{0, false}, {1, true}, {2, true}, {3, true}, {4, true}, {5, false}, {6, false}, {-1, false}};
    for (const Case& c : cases) EXPECT_EQ(IsBusyState(static_cast<LauncherState>(c.state)), c.busy) << c.state;
}

TEST(FrameLayout, OverlayIsAWholePercentage) {
    struct Case {
        float progress;
        const char* text;
    } cases[] = {{0.0f, "0%"}, {0.5f, "50%"}, {0.004f, "0%"}, {0.426f, "43%"}, {0.999f, "100%"}, {1.0f, "100%"}};
    for (const Case& c : cases) EXPECT_EQ(ProgressOverlay(c.progress), c.text) << c.progress;
}

TEST(FrameLayout, PresentFailureLineCarriesTheFullHresult) {
    EXPECT_EQ(PresentFailureLine(static_cast<int32_t>(0x887A0005u)),
              "[UIManager::Run] Present falhou com HRESULT: 0x887A0005");
    EXPECT_EQ(PresentFailureLine(static_cast<int32_t>(0x80004005u)),
              "[UIManager::Run] Present falhou com HRESULT: 0x80004005");
}

}  // namespace
