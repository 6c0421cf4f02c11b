#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ui/NewsLayout.h"

namespace {

// A stand-in for the font measure: '.' is 3 px, other ASCII 10 px, any
// multi-byte character 12 px (counted once, at its lead byte).
float FakeWidth(std::string_view s) {
    float w = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) == 0x80) continue;
        w += c == '.' ? 3.0f : (c < 0x80 ? 10.0f : 12.0f);
    }
    return w;
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// The rule as worded: drop the last character while the text plus "..." is too wide.
std::string DropOneByOne(const std::string& title, float room) {
    std::string t = title;
    bool dropped = false;
    while (!t.empty() && FakeWidth(t + "...") > room) {
        size_t i = t.size() - 1;
        while (i > 0 && (static_cast<unsigned char>(t[i]) & 0xC0) == 0x80) --i;
        t.erase(i);
        dropped = true;
    }
    return dropped ? t + "..." : t;
}

std::string Scale2f(float s) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%.2f", static_cast<double>(s));
    return buf;
}

}  // namespace

TEST(NewsLayout, TitleShortening) {
    struct Case {
        const char* title;
        float room;
        const char* shown;
    } cases[] = {
        {"Patch", 100, "Patch"},
        {"Patch", 59, "Patch"},             // fits exactly with "..." after it: whole, no "..."
        {"Patch", 58, "Patc..."},           // fits alone but not with "...": shortened anyway
        {"Patch", 50, "Patc..."},
        {"Patch", 48, "Pat..."},
        {"Patch", 9, "..."},                // nothing fits: "..." alone
        {"Patch", 8, "..."},
        {"Patch", 0, "..."},
        {"Atualização", 123, "Atualização"},
        {"Atualização", 122, "Atualizaçã..."},
        {"Atualização", 110, "Atualizaç..."},  // never half of "ã"
        {"Atualização", 100, "Atualiza..."},   // never half of "ç"
        {"ÇÃO", 21, "Ç..."},
        {"ÇÃO", 20, "..."},
        {"", 0, ""},                        // an empty title stays empty
    };
    for (const auto& c : cases) {
        std::string shown = ShortenNewsTitle(c.title, c.room, FakeWidth);
        EXPECT_EQ(shown, c.shown) << c.title << " in " << c.room;
        EXPECT_TRUE(ValidUtf8(shown)) << shown;
    }
}

TEST(NewsLayout, ShorteningMatchesTheOneByOneRuleAtEveryWidth) {
    const char* titles[] = {"Nova temporada: Ruínas de Ondrel", "ééééé", "a", "Manutenção às 03:00 — servidores",
                            "...", "x.y.z"};
    for (const char* t : titles)
        for (float room = 0; room <= 400; room += 1.0f)
            ASSERT_EQ(ShortenNewsTitle(t, room, FakeWidth), DropOneByOne(t, room)) << t << " in " << room;
}

TEST(NewsLayout, CardHeights) {
    // fs 18 is the body font; 13 is Dear ImGui's default font.
    struct Case {
        float scale, fontSize, measured, body, card;
    } cases[] = {
        {1.0f, 18, 0, 20, 56},        // empty content: one line
        {1.0f, 18, 16, 20, 56},       // less than a line: one line
        {1.0f, 18, 20, 20, 56},
        {1.0f, 18, 32, 32, 68},       // two lines fit exactly
        {1.0f, 18, 44, 44, 80},       // 2.2 line heights
        {1.0f, 18, 48, 44, 80},       // three lines: held at 2.2
        {1.0f, 18, 4000, 44, 80},
        {1.4f, 18, 1000, 61.6f, 105.6f},
        {1.4f, 18, 0, 28, 72},
        {0.9f, 18, 28.8f, 28.8f, 62.8f},
        {1.0f, 13, 13, 13.75f, 49.75f},
        {1.0f, 13, 26, 26, 62},
    };
    for (const auto& c : cases) {
        NewsCardMeasures m = MeasureNewsCard(487, c.scale, c.fontSize);
        float body = NewsBodyHeight(c.measured, m.lineHeight);
        EXPECT_NEAR(body, c.body, 1e-3) << c.scale << "/" << c.fontSize << "/" << c.measured;
        EXPECT_NEAR(NewsCardHeight(m, body), c.card, 1e-3) << c.scale << "/" << c.fontSize << "/" << c.measured;
    }
}

TEST(NewsLayout, CardMeasuresFollowTheScale) {
    NewsCardMeasures m = MeasureNewsCard(487, 1.0f, 18);
    EXPECT_FLOAT_EQ(m.textWidth, 463);
    EXPECT_FLOAT_EQ(m.titleBand, 20);
    EXPECT_FLOAT_EQ(m.headerHeight, 30);
    EXPECT_FLOAT_EQ(m.titleSize, 18);
    EXPECT_FLOAT_EQ(m.contentSize, 16);
    EXPECT_FLOAT_EQ(m.badgeSize, 15);
    m = MeasureNewsCard(487, 1.25f, 18);
    EXPECT_FLOAT_EQ(m.titleBand, 25);
    EXPECT_FLOAT_EQ(m.titleSize, 22.5f);
    EXPECT_FLOAT_EQ(m.contentSize, 20);
    EXPECT_FLOAT_EQ(m.badgeSize, 18.75f);
    EXPECT_FLOAT_EQ(m.lineHeight, 25);
}

TEST(NewsLayout, FontScaleSteps) {
    float s = 1.0f;
    for (int i = 0; i < 5; ++i) s = StepNewsFontScale(s, kNewsFontScaleStep);
    EXPECT_NEAR(s, 1.25f, 1e-5);
    EXPECT_EQ(Scale2f(s), "1.25");

    struct Case {
        float from, delta;
        const char* to;
    } cases[] = {
        {1.4f, +0.05f, "1.40"},  // clamped: unchanged
        {0.9f, -0.05f, "0.90"},
        {1.38f, +0.05f, "1.40"},  // clamped on the way
        {0.92f, -0.05f, "0.90"},
        {1.0f, -0.05f, "0.95"},
        {2.0f, +0.05f, "1.40"},   // a value from outside is pulled back in
        {0.0f, -0.05f, "0.90"},
    };
    for (const auto& c : cases) EXPECT_EQ(Scale2f(StepNewsFontScale(c.from, c.delta)), c.to) << c.from;

    s = 1.0f;
    for (int i = 0; i < 20; ++i) s = StepNewsFontScale(s, kNewsFontScaleStep);
    EXPECT_FLOAT_EQ(s, kNewsFontScaleMax);
    for (int i = 0; i < 20; ++i) s = StepNewsFontScale(s, -kNewsFontScaleStep);
    EXPECT_FLOAT_EQ(s, kNewsFontScaleMin);
}
