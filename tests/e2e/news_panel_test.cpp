// The news column of the real window: the cards drawn from the stand-in
// server's news, their badges, the notice without news, and the text-size
// buttons clicked with the real mouse, read back from the registry.
#include <gtest/gtest.h>

#include "support/Harness.h"
#include "support/LauncherWorld.h"

using namespace e2e;

namespace {

// Window-relative points of the 1024 x 615 window with the 13-px default font.
constexpr int kMinusX = 488, kPlusX = 520, kButtonY = 141;
// Top edge of card i at scale 1 with one line of content (cards 49.75 px, 10 apart).
int CardTop(int i) { return 170 + (i * 5975) / 100; }

// News shown top to bottom in this order (the launcher shows the answer reversed).
nlohmann::json Shown(std::vector<nlohmann::json> entries) {
    return nlohmann::json(std::vector<nlohmann::json>(entries.rbegin(), entries.rend()));
}

nlohmann::json Entry(const std::string& title, const std::string& date) {
    return {{"title", title}, {"date", date}, {"content", "-"}};
}

// The accent bar on a card's left edge.
bool CardAt(const LauncherWorld& w, const Image& shot, int top) {
    Rgb p = w.Pixel(shot, 47, top + 25);
    return p.r > 170 && p.g < 130 && p.b > 140;
}

Mask BadgeText(const LauncherWorld& w, const Image& shot, int card) {
    return CutMask(shot, w.OnScreen({56, CardTop(card) + 6, 80, 20}),
                   [](Rgb p) { return Near(p, Rgb{255, 190, 239}, 45); });
}

std::string Scale(const LauncherWorld& w) {
    auto reg = w.Registry();
    auto it = reg.find("newsFontScale");
    return it == reg.end() ? "" : it->second.text;
}

void ClickTimes(LauncherWorld& w, int x, int times) {
    for (int i = 0; i < times; ++i) w.Click(x, kButtonY);
}

}  // namespace

TEST(News, SixEntriesShowFourCardsAndAnEmptyDateReadsNovidade) {
    LauncherWorld w("NewsSixEntries");
    w.SetNews(Shown({Entry("Primeira", ""), Entry("Segunda", "NOVIDADE"), Entry("Terceira", "01/02"),
                     Entry("Quarta", "01/02"), Entry("Quinta", ""), Entry("Sexta", "")}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    w.ParkMouse();

    Image shot;
    ASSERT_TRUE(WaitUntil(
        [&] {
            shot = CaptureScreen();
            return CardAt(w, shot, CardTop(3));
        },
        20s, 250ms));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(CardAt(w, shot, CardTop(i))) << i;
    EXPECT_FALSE(CardAt(w, shot, CardTop(4)));
    EXPECT_FALSE(CardAt(w, shot, CardTop(5)));

    // The badge of an empty date carries the same glyphs as a date written "NOVIDADE".
    Mask none = BadgeText(w, shot, 0), novidade = BadgeText(w, shot, 1);
    Mask date = BadgeText(w, shot, 2), sameDate = BadgeText(w, shot, 3);
    EXPECT_GT(none.Count(), 0);
    EXPECT_EQ(none, novidade) << DescribeMask(none) << DescribeMask(novidade);
    EXPECT_EQ(date, sameDate);
    EXPECT_FALSE(none == date);

    // Five "A+" from the default 1.0, each stored at once.
    EXPECT_EQ(Scale(w), "");
    ClickTimes(w, kPlusX, 5);
    EXPECT_TRUE(WaitUntil([&] { return Scale(w) == "1.25"; }, 20s, 250ms)) << Scale(w);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(News, ScaleButtonsClampAtBothEndsAndSaveOnEveryClick) {
    LauncherWorld w("NewsScaleClamp");
    w.SetNews(Shown({Entry("Uma", "")}));
    w.SetRegistryText("newsFontScale", "1.4");
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();

    // At 1.4 "A+" keeps 1.4 and stores it again (now in its two-decimal form).
    ClickTimes(w, kPlusX, 1);
    EXPECT_TRUE(WaitUntil([&] { return Scale(w) == "1.40"; }, 20s, 250ms)) << Scale(w);

    // Ten "A-" reach 0.9; one more stays there and is stored again.
    ClickTimes(w, kMinusX, 10);
    EXPECT_TRUE(WaitUntil([&] { return Scale(w) == "0.90"; }, 20s, 250ms)) << Scale(w);
    w.SetRegistryText("newsFontScale", "marker");
    ClickTimes(w, kMinusX, 1);
    EXPECT_TRUE(WaitUntil([&] { return Scale(w) == "0.90"; }, 20s, 250ms)) << Scale(w);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(News, WithoutNewsTheNoticeStandsWhereTheCardsWouldBe) {
    LauncherWorld w("NewsNone");
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    w.ParkMouse();

    // The box's two lines of text, and no card.
    auto linePixels = [&](const Image& shot, int y, Rgb colour) {
        return CutMask(shot, w.OnScreen({64, y, 300, 14}), [&](Rgb p) { return Near(p, colour, 20); }).Count();
    };
    Image shot;
    EXPECT_TRUE(WaitUntil(
        [&] {
            shot = CaptureScreen();
            return linePixels(shot, 184, Rgb{210, 190, 220}) > 40 && linePixels(shot, 205, Rgb{135, 119, 149}) > 40;
        },
        20s, 250ms));
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(CardAt(w, shot, CardTop(i))) << i;
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}
