// The drawing kit and the background, read back from the draw list they fill.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "support/HeadlessImGui.h"
#include "support/RegistrySandbox.h"
#include "ui/DrawKit.h"
#include "ui/UIManager.h"

namespace {

constexpr float kPi = 3.14159265f;
// Anti-aliased fills keep their opaque vertices half a pixel inside the shape.
constexpr float kAA = 0.75f;

void ExpectBox(const ColourBox& b, ImVec2 min, ImVec2 max, const char* what) {
    EXPECT_NEAR(b.min.x, min.x, kAA) << what;
    EXPECT_NEAR(b.min.y, min.y, kAA) << what;
    EXPECT_NEAR(b.max.x, max.x, kAA) << what;
    EXPECT_NEAR(b.max.y, max.y, kAA) << what;
}

std::set<ImU32> Keys(const std::map<ImU32, ColourBox>& m) {
    std::set<ImU32> out;
    for (const auto& [c, b] : m) out.insert(c);
    return out;
}

class DrawKit : public ::testing::Test {
protected:
    void SetUp() override { imgui.BeginFrame(); }
    void TearDown() override { imgui.EndFrame(); }
    ImDrawList* List() { return ImGui::GetBackgroundDrawList(); }
    HeadlessImGui imgui;
};

TEST(ScaleAlpha, ScalesOnlyTheAlphaByteAndTruncates) {
    struct Case {
        ImU32 in;
        float factor;
        ImU32 out;
    } cases[] = {
        {IM_COL32(10, 20, 30, 200), 1.0f, IM_COL32(10, 20, 30, 200)},
        {IM_COL32(10, 20, 30, 200), 0.5f, IM_COL32(10, 20, 30, 100)},
        {IM_COL32(255, 255, 255, 255), 0.999f, IM_COL32(255, 255, 255, 254)},
        {IM_COL32(1, 2, 3, 99), 0.0f, IM_COL32(1, 2, 3, 0)},
        {IM_COL32(1, 2, 3, 210), 0.55f, IM_COL32(1, 2, 3, 115)},
    };
    for (const Case& c : cases) EXPECT_EQ(ScaleAlpha(c.in, c.factor), c.out) << std::hex << c.in;
}

TEST_F(DrawKit, PanelFrameAtTimeZeroDrawsItsTenLayersWithMidPulseBorders) {
    const int from = List()->VtxBuffer.Size;
    const ImVec2 min(569, 112), max(994, 561);  // the right-hand panel of the launcher window
    DrawPanelFrame(List(), 0.0f, min, max, 14.0f);
    auto colours = ColoursSince(List(), from);

    const ImU32 shadow = IM_COL32(16, 4, 30, 88), body = IM_COL32(30, 10, 56, 188),
                outerTint = IM_COL32(255, 92, 230, 16), innerTint = IM_COL32(102, 28, 138, 34),
                sheen = IM_COL32(146, 34, 164, 28), c1 = IM_COL32(255, 84, 214, 196),
                c2 = IM_COL32(255, 142, 235, 166), cyan = IM_COL32(84, 225, 255, 175),
                dot1 = IM_COL32(255, 255, 255, 140), dot2 = IM_COL32(255, 140, 240, 185);
    EXPECT_EQ(Keys(colours), (std::set<ImU32>{shadow, body, outerTint, innerTint, sheen, c1, c2, cyan, dot1, dot2}));

    ExpectBox(colours[shadow], ImVec2(573.5f, 119.5f), ImVec2(997.5f, 567.5f), "shadow");
    ExpectBox(colours[body], ImVec2(569.5f, 112.5f), ImVec2(993.5f, 560.5f), "body");
    ExpectBox(colours[outerTint], ImVec2(568.5f, 111.5f), ImVec2(994.5f, 561.5f), "outer tint");
    ExpectBox(colours[innerTint], ImVec2(570.5f, 113.5f), ImVec2(992.5f, 559.5f), "inner tint");
    ExpectBox(colours[sheen], ImVec2(571.5f, 114.5f), ImVec2(991.5f, 173.5f), "sheen 60 px high");
    // The accent line is a square gradient of exact corners: 30 % of 425 is past 118, so 118.
    ExpectBox(colours[cyan], ImVec2(569 + 18 + 118, 112), ImVec2(569 + 18 + 118, 114), "accent right edge");
    const ColourBox& d1 = colours[dot1];
    EXPECT_NEAR((d1.min.x + d1.max.x) / 2, 994 - 18, 0.1f);
    EXPECT_NEAR((d1.min.y + d1.max.y) / 2, 112 + 14, 0.1f);
    const ColourBox& d2 = colours[dot2];
    EXPECT_NEAR((d2.min.x + d2.max.x) / 2, 994 - 31, 0.1f);
    EXPECT_NEAR((d2.min.y + d2.max.y) / 2, 112 + 11, 0.1f);
}

TEST_F(DrawKit, PanelFramePulsesItsBordersAndShortensTheAccentOnNarrowPanels) {
    struct Case {
        float time;
        int a1, a2;
    } cases[] = {{0.0f, 196, 166}, {kPi / 4, 210, 182}, {3 * kPi / 4, 182, 150}};
    for (const Case& c : cases) {
        const int from = List()->VtxBuffer.Size;
        DrawPanelFrame(List(), c.time, ImVec2(0, 0), ImVec2(300, 200), 1.0f);
        auto colours = ColoursSince(List(), from);
        EXPECT_TRUE(colours.count(IM_COL32(255, 84, 214, c.a1))) << c.time;
        EXPECT_TRUE(colours.count(IM_COL32(84, 225, 255, 175))) << c.time;
        // 30 % of 300 px.
        EXPECT_NEAR(colours[IM_COL32(84, 225, 255, 175)].max.x, 18 + 90, 0.01f);
        // The inner border's colour is also the accent's left end.
        EXPECT_NEAR(colours[IM_COL32(255, 142, 235, c.a2)].min.x, 0, kAA) << c.time;
    }
}

TEST_F(DrawKit, SparkleIsAHexagonThatBobsWithItsPhase) {
    struct Case {
        float time, phase, alphaScale;
        float dy;
        int alpha;
    } cases[] = {
        {0.0f, 0.0f, 1.0f, 0.0f, 200},
        {0.0f, kPi / 2, 0.5f, 4.0f, 100},
        {kPi / 4, 0.0f, 1.0f, 4.0f, 200},  // speed 2: sin(pi/2)
        {0.0f, -kPi / 2, 0.25f, -4.0f, 50},
    };
    for (const Case& c : cases) {
        const int from = List()->VtxBuffer.Size;
        draw_sparkle(List(), c.time, 100, 50, 4.0f, IM_COL32(10, 20, 30, 200), 3.0f, 2.0f, c.phase, c.alphaScale);
        auto colours = ColoursSince(List(), from);
        ASSERT_EQ(colours.size(), 1u);
        ASSERT_TRUE(colours.count(IM_COL32(10, 20, 30, c.alpha))) << c.alpha;
        const ColourBox& b = colours.begin()->second;
        EXPECT_NEAR((b.min.y + b.max.y) / 2, 50 + c.dy, 0.3f);
        EXPECT_EQ(b.vertices, 6);  // six segments, one opaque ring
    }
}

TEST_F(DrawKit, GlitterStarTwinklesBetweenTenPercentAndFullAlpha) {
    const ImU32 colour = IM_COL32(255, 170, 240, 210);
    int lowest = 255, highest = 0;
    for (int i = 0; i < 400; ++i) {
        const int from = List()->VtxBuffer.Size;
        draw_glitter_star(List(), i * 0.0027f, 40, 60, 3.0f, colour);
        auto colours = ColoursSince(List(), from);
        ASSERT_EQ(colours.size(), 1u);
        const int alpha = static_cast<int>(colours.begin()->first >> IM_COL32_A_SHIFT);
        lowest = std::min(lowest, alpha);
        highest = std::max(highest, alpha);
    }
    EXPECT_GE(lowest, 20);
    EXPECT_LE(lowest, 23);
    EXPECT_LE(highest, 210);
    EXPECT_GE(highest, 207);

    // At time 0 the position alone sets the phase: x 0, y 0 gives 0.55.
    const int from = List()->VtxBuffer.Size;
    draw_glitter_star(List(), 0.0f, 0.0f, 0.0f, 3.0f, colour);
    auto colours = ColoursSince(List(), from);
    ASSERT_TRUE(colours.count(IM_COL32(255, 170, 240, 115)));
    const ColourBox& b = colours.begin()->second;
    EXPECT_NEAR(b.min.x, -3.0f, 1.0f);
    EXPECT_NEAR(b.max.x, 3.0f, 1.0f);
    EXPECT_NEAR(b.min.y, -3.0f, 1.0f);
    EXPECT_NEAR(b.max.y, 3.0f, 1.0f);
}

class Button : public ::testing::Test {
protected:
    // One frame with the mouse at `mouse`; returns the button's result and its colours.
    bool Frame(ImVec2 mouse, bool down, bool primary, std::map<ImU32, ColourBox>* colours = nullptr) {
        imgui.BeginFrame(0.0, mouse, down);
        ImDrawList* dl = ImGui::GetBackgroundDrawList();
        const int from = dl->VtxBuffer.Size;
        const bool clicked = DrawPremiumButton(dl, "##Probe", "ENTRAR", pos, size, 0.0f, primary);
        if (colours) *colours = ColoursSince(dl, from);
        imgui.EndFrame();
        return clicked;
    }
    HeadlessImGui imgui;
    ImVec2 pos{100, 100}, size{200, 40};
};

TEST_F(Button, ColoursFollowHoverAndKind) {
    struct Case {
        bool primary, hovered;
        ImU32 fill, border, highlight, sheen, label;
    } cases[] = {
        {true, false, IM_COL32(135, 26, 152, 255), IM_COL32(255, 108, 228, 245), IM_COL32(255, 255, 255, 22),
         IM_COL32(255, 255, 255, 5), IM_COL32(247, 232, 250, 255)},
        {true, true, IM_COL32(210, 46, 185, 255), IM_COL32(255, 174, 246, 255), IM_COL32(255, 255, 255, 64),
         IM_COL32(255, 255, 255, 10), IM_COL32(255, 255, 255, 255)},
        {false, false, IM_COL32(40, 46, 98, 248), IM_COL32(84, 184, 245, 235), IM_COL32(255, 255, 255, 22),
         IM_COL32(255, 255, 255, 5), IM_COL32(247, 232, 250, 255)},
        {false, true, IM_COL32(66, 74, 168, 255), IM_COL32(140, 236, 255, 255), IM_COL32(255, 255, 255, 64),
         IM_COL32(255, 255, 255, 10), IM_COL32(255, 255, 255, 255)},
    };
    for (const Case& c : cases) {
        std::map<ImU32, ColourBox> colours;
        Frame(c.hovered ? ImVec2(150, 120) : ImVec2(10, 10), false, c.primary, &colours);
        const ImU32 shadow = IM_COL32(18, 2, 32, 142);
        const ImU32 glow = c.primary ? IM_COL32(255, 104, 230, 24) : IM_COL32(84, 218, 255, 18);
        std::set<ImU32> expected{shadow, c.fill, c.border, c.highlight, c.sheen, c.label};
        if (c.hovered) expected.insert(glow);
        EXPECT_EQ(Keys(colours), expected) << "primary " << c.primary << " hovered " << c.hovered;
        ExpectBox(colours[shadow], ImVec2(102.5f, 104.5f), ImVec2(301.5f, 143.5f), "shadow");
        ExpectBox(colours[c.fill], ImVec2(100.5f, 100.5f), ImVec2(299.5f, 139.5f), "body");
        if (c.hovered) ExpectBox(colours[glow], ImVec2(98.5f, 98.5f), ImVec2(301.5f, 141.5f), "glow");
        // The label is centred.
        const ColourBox& label = colours[c.label];
        EXPECT_NEAR((label.min.x + label.max.x) / 2, 200, 2.0f);
        EXPECT_GT(label.min.y, 100);
        EXPECT_LT(label.max.y, 140);
    }
}

TEST_F(Button, ClickCountsOnlyWhenItStartsAndEndsOnTheButton) {
    const ImVec2 inside(150, 120), outside(10, 10);
    Frame(inside, false, true);
    EXPECT_FALSE(Frame(inside, true, true));  // pressed: not yet a click
    EXPECT_TRUE(Frame(inside, false, true));  // released on it
    Frame(outside, true, true);               // pressed elsewhere
    Frame(inside, true, true);
    EXPECT_FALSE(Frame(inside, false, true));
    Frame(inside, true, true);                // pressed on it, released elsewhere
    EXPECT_FALSE(Frame(outside, false, true));
}

TEST_F(DrawKit, BackgroundAtTimeZeroHasItsGradientGlowsBarsAndDecorations) {
    RegistrySandbox sandbox;
    UIManager ui(nullptr);
    const int from = List()->VtxBuffer.Size;
    ui.RenderBackground(List(), 0.0f, 1024, 615);
    auto colours = ColoursSince(List(), from);

    ExpectBox(colours[IM_COL32(30, 11, 51, 255)], ImVec2(0, 0), ImVec2(0, 0), "top-left");
    ExpectBox(colours[IM_COL32(13, 19, 47, 255)], ImVec2(1024, 0), ImVec2(1024, 0), "top-right");
    ExpectBox(colours[IM_COL32(13, 10, 30, 255)], ImVec2(1024, 615), ImVec2(1024, 615), "bottom-right");
    ExpectBox(colours[IM_COL32(55, 12, 58, 255)], ImVec2(0, 615), ImVec2(0, 615), "bottom-left");

    struct Glow {
        ImU32 col;
        float cx, cy, r;
    } glows[] = {{IM_COL32(233, 34, 185, 16), 102.4f, 110.7f, 210},
                 {IM_COL32(34, 167, 255, 13), 942.08f, 221.4f, 240},
                 {IM_COL32(157, 44, 213, 12), 512, 651.9f, 280}};
    for (const Glow& g : glows) {
        const ColourBox& b = colours[g.col];
        EXPECT_NEAR((b.min.x + b.max.x) / 2, g.cx, 1.0f);
        EXPECT_NEAR((b.min.y + b.max.y) / 2, g.cy, 1.0f);
        EXPECT_NEAR((b.max.x - b.min.x) / 2, g.r, 1.5f);
        EXPECT_EQ(b.vertices, 64);
    }

    // Bars at mid pulse: heights 4, 11.5, 6, 12, 6.5, 14, 7, 14.5, 9 standing on y 80.
    const float heights[9] = {4, 11.5f, 6, 12, 6.5f, 14, 7, 14.5f, 9};
    for (ImU32 col : {IM_COL32(255, 91, 218, 70), IM_COL32(72, 211, 255, 70)}) {
        ASSERT_TRUE(colours.count(col));
        EXPECT_NEAR(colours[col].max.y, 79.5f, kAA);
    }
    for (int i = 0; i < 9; ++i) {
        const ImU32 col = i % 2 == 0 ? IM_COL32(255, 91, 218, 70) : IM_COL32(72, 211, 255, 70);
        const float x = 40 + 17.0f * i;
        float top = 1e9f;
        for (int v = from; v < List()->VtxBuffer.Size; ++v) {
            const ImDrawVert& vert = List()->VtxBuffer[v];
            if (vert.col == col && vert.pos.x >= x && vert.pos.x <= x + 3) top = std::min(top, vert.pos.y);
        }
        EXPECT_NEAR(top, 80 - heights[i], kAA) << "bar " << i;
    }

    const ImU32 sparkles[] = {IM_COL32(255, 230, 250, 190), IM_COL32(103, 219, 255, 150)};
    for (ImU32 col : sparkles) EXPECT_EQ(colours[col].vertices, 6);
    EXPECT_NEAR((colours[sparkles[0]].min.x + colours[sparkles[0]].max.x) / 2, 0.37f * 1024, 0.2f);
    EXPECT_NEAR((colours[sparkles[1]].min.y + colours[sparkles[1]].max.y) / 2, 67 + 3 * std::sin(1.4f), 0.2f);

    // Five stars, each four lines in its own twinkled alpha.
    struct Star {
        float x, y;
        ImU32 col;
    } stars[] = {{0.22f * 1024, 52, IM_COL32(255, 170, 240, 210)}, {0.48f * 1024, 28, IM_COL32(110, 232, 255, 190)},
                 {0.83f * 1024, 88, IM_COL32(255, 240, 255, 180)}, {0.73f * 1024, 162, IM_COL32(255, 112, 225, 190)},
                 {0.15f * 1024, 185, IM_COL32(101, 222, 255, 160)}};
    for (const Star& s : stars) {
        const float twinkle = 0.55f + 0.45f * std::sin(s.x * 0.03f + s.y * 0.02f);
        EXPECT_TRUE(colours.count(ScaleAlpha(s.col, twinkle))) << s.x;
    }
}

}  // namespace
