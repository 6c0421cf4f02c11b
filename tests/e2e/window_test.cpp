// The real launcher's window on the test display: place and size, the caption
// drag zone, the header's buttons clicked with real input, the footer through
// a patch run against the stand-in server, and the two font cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "support/Harness.h"

using namespace e2e;

namespace {

const std::string kTitle = "Vrenn Ondrel - Launcher Oficial";

struct Colour {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& os, Colour c) { return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }

bool Near(Colour a, Colour b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// The display as pixels (xwd through ImageMagick to binary PPM).
struct Shot {
    int width = 0, height = 0;
    std::string rgb;
    Colour At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
                static_cast<unsigned char>(rgb[i + 2])};
    }
};

Shot Capture() {
    Shot s;
    const std::string ppm = Shell("xwd -root -silent | convert xwd:- ppm:- 2>/dev/null");
    // Header: "P6", width, height, maximum, each after blanks or "#" comment lines.
    size_t pos = 0;
    auto token = [&]() {
        for (;;) {
            while (pos < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
            if (pos < ppm.size() && ppm[pos] == '#') {
                while (pos < ppm.size() && ppm[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        const size_t start = pos;
        while (pos < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[pos]))) ++pos;
        return ppm.substr(start, pos - start);
    };
    const std::string magic = token();
    const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str()), max = std::atoi(token().c_str());
    ++pos;  // the one blank before the pixels
    const size_t need = static_cast<size_t>(w) * h * 3;
    if (magic != "P6" || max != 255 || w <= 0 || h <= 0 || ppm.size() < pos + need) return {};
    s.width = w;
    s.height = h;
    s.rgb = ppm.substr(pos, need);
    return s;
}

struct Geometry {
    int x = 0, y = 0, w = 0, h = 0;
};

// The launcher's top-level X window (Wine keeps small helper windows of the same name).
std::optional<Geometry> FindLauncherWindow() {
    std::istringstream ids(Shell("xdotool search --onlyvisible --name '^" + kTitle + "$' 2>/dev/null"));
    std::string id;
    while (ids >> id) {
        std::istringstream lines(Shell("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
        Geometry g;
        std::string line;
        while (std::getline(lines, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            const int v = std::atoi(line.c_str() + eq + 1);
            const std::string k = line.substr(0, eq);
            if (k == "X") g.x = v;
            if (k == "Y") g.y = v;
            if (k == "WIDTH") g.w = v;
            if (k == "HEIGHT") g.h = v;
        }
        if (g.w >= 200 && g.h >= 200) return g;
    }
    return std::nullopt;
}

// Output of winprobe.exe for the launcher window.
std::string WinProbe(const fs::path& dir, const std::vector<std::string>& args) {
    const fs::path out = dir / "winprobe.out";
    fs::remove(out);
    std::vector<std::string> all{kTitle};
    all.insert(all.end(), args.begin(), args.end());
    Process p = StartWindows(WinTool("winprobe"), all, {}, out);
    p.Wait(30s);
    std::string text = ReadFile(out);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Points of the window (client coordinates) whose colour anti-aliasing cannot move.
constexpr int kDotX = 27, kDotY = 595;             // footer status dot, radius 3.5
constexpr int kBarLeftX = 812, kBarRightX = 985;   // inside the progress bar, away from its overlay
constexpr int kBarY = 600;
const Colour kGreen{67, 226, 157}, kRed{255, 82, 104};
const Colour kBarFill{230, 64, 191};

// Stand-ins of similar shape for the two Segoe UI files, as the run command installs them.
fs::path FontsDir() {
    const char* prefix = std::getenv("WINEPREFIX");
    return fs::path(prefix ? prefix : "") / "drive_c" / "windows" / "Fonts";
}
void InstallFonts() {
    fs::create_directories(FontsDir());
    fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf", FontsDir() / "segoeui.ttf",
                  fs::copy_options::overwrite_existing);
    fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf", FontsDir() / "segoeuib.ttf",
                  fs::copy_options::overwrite_existing);
}
void RemoveFonts() {
    fs::remove(FontsDir() / "segoeui.ttf");
    fs::remove(FontsDir() / "segoeuib.ttf");
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("WINEPREFIX"), nullptr);
        InstallFonts();
        dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    // The other end-to-end tests expect the prefix as it was made: no stand-in fonts.
    void TearDown() override {
        if (run) {
            run->Kill();
            run.reset();
        }
        RemoveFonts();
    }
    // Starts the launcher and waits for its window to show.
    void Start() {
        run = std::make_unique<LauncherRun>(dir / "game");
        ASSERT_TRUE(run->WaitForLog("[UIManager::Run] Loop de mensagens iniciado.", 60s)) << run->Log();
        ASSERT_TRUE(WaitUntil([&] { return (win = FindLauncherWindow()).has_value(); }, 20s)) << run->Log();
    }
    Colour Pixel(const Shot& s, int x, int y) const { return s.At(win->x + x, win->y + y); }
    // Waits for a frame in which pred holds; returns that frame.
    std::optional<Shot> WaitForFrame(const std::function<bool(const Shot&)>& pred, std::chrono::milliseconds t) {
        std::optional<Shot> found;
        WaitUntil(
            [&] {
                Shot s = Capture();
                if (s.width == 0 || !pred(s)) return false;
                found = std::move(s);
                return true;
            },
            t, 100ms);
        return found;
    }
    bool BarShown(const Shot& s) const {
        // Both ends inside the bar's frame differ from the footer background: the
        // left end is filled once there is progress, the right end is the frame's.
        const Colour left = Pixel(s, kBarLeftX, kBarY), right = Pixel(s, kBarRightX, kBarY);
        return Near(left, kBarFill, 24) && right.b > 50 && right.r < 80;
    }
    void Click(int x, int y) {
        Shell("xdotool mousemove " + std::to_string(win->x + x) + " " + std::to_string(win->y + y) +
              " sleep 0.2 click 1");
    }
    // The brightest pixel of the footer's text row, i.e. a fully covered glyph pixel.
    Colour StatusTextColour(const Shot& s) const {
        Colour best{0, 0, 0};
        for (int y = 585; y < 606; ++y)
            for (int x = 36; x < 700; ++x) {
                const Colour c = Pixel(s, x, y);
                if (c.r + c.g + c.b > best.r + best.g + best.b) best = c;
            }
        return best;
    }
    // Left edge of the cyan face of the title's second word.
    int SecondTitleWordX(const Shot& s) const {
        for (int x = 30; x < 500; ++x)
            for (int y = 26; y <= 44; ++y) {
                const Colour c = Pixel(s, x, y);
                if (c.r < 150 && c.g > 170 && c.b > 220) return x;
            }
        return -1;
    }

    fs::path dir;
    std::unique_ptr<LauncherRun> run;
    std::optional<Geometry> win;
};

TEST_F(Window, OpensCentredWithItsCaptionZoneAndClosesFromItsXButton) {
    Start();
    EXPECT_EQ(win->w, 1024);
    EXPECT_EQ(win->h, 615);
    EXPECT_EQ(win->x, (1280 - 1024) / 2);
    EXPECT_EQ(win->y, (800 - 615) / 2);

    // Caption (2) up to client (795, 79); client (1) just past it on either side.
    EXPECT_EQ(WinProbe(dir, {"hittest", "795", "79", "796", "10", "10", "80", "0", "0", "400", "300"}),
              "795 79 2\n796 10 1\n10 80 1\n0 0 2\n400 300 1\n");

    // No server: the first run fails and the footer turns red with the mapped text.
    auto shot = WaitForFrame([&](const Shot& s) { return Near(Pixel(s, kDotX, kDotY), kRed, 16); }, 30s);
    ASSERT_TRUE(shot.has_value()) << run->Log();
    EXPECT_FALSE(BarShown(*shot));
    EXPECT_TRUE(Near(StatusTextColour(*shot), Colour{255, 97, 117}, 20)) << StatusTextColour(*shot);
    EXPECT_TRUE(run->Log().find("[WARN] [UIManager] Fonte segoeui.ttf") == std::string::npos);

    // Fixed places: inside the header band (its gradient there is 25 % top-left, 59 %
    // bottom-right and 16 % bottom-left, nearly opaque), the footer background, the
    // right-hand panel's body.
    EXPECT_TRUE(Near(Pixel(*shot, 600, 75), Colour{37, 16, 62}, 6)) << Pixel(*shot, 600, 75);
    EXPECT_TRUE(Near(Pixel(*shot, 700, 600), Colour{10, 8, 26}, 6)) << Pixel(*shot, 700, 600);
    EXPECT_TRUE(Near(Pixel(*shot, 780, 480), Colour{47, 16, 74}, 10)) << Pixel(*shot, 780, 480);
    Shell("xwd -root -silent | convert xwd:- -crop 1024x615+" + std::to_string(win->x) + "+" +
          std::to_string(win->y) + " '" + (dir / "window.png").string() + "' 2>/dev/null");

    Click(988, 37);  // "X"
    const auto code = run->WaitExit(60s);
    ASSERT_TRUE(code.has_value()) << run->Log();
    EXPECT_EQ(*code, 0);
    const std::vector<std::string> tail{
        "INFO [WndProc] WM_CLOSE recebido.",
        "INFO [WndProc] WM_DESTROY recebido, chamando PostQuitMessage(0)...",
        "INFO [UIManager::Run] WM_QUIT recebido (wParam=0)",
        "INFO [UIManager::Run] Loop de renderização encerrado.",
        "INFO UIManager.Run finalizado normalmente.",
        "INFO Encerrando launcher (Exit 0).",
    };
    const auto lines = run->LogMessages();
    ASSERT_GE(lines.size(), tail.size()) << run->Log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(tail.size()), lines.end()), tail) << run->Log();
}

TEST_F(Window, MinimiseButtonIconifiesTheWindow) {
    Start();
    EXPECT_EQ(WinProbe(dir, {"state"}).substr(0, 19), "visible=1 iconic=0 ");
    Click(950, 37);  // "_"
    EXPECT_TRUE(WaitUntil([&] { return WinProbe(dir, {"state"}).find("iconic=1") != std::string::npos; }, 20s))
        << WinProbe(dir, {"state"});
    ASSERT_TRUE(run->CloseWindow());
    EXPECT_EQ(run->WaitExit(60s), 0);
}

TEST_F(Window, FooterFollowsARunBusyThenFailedThenARepairToCompletion) {
    // One large file whose download stalls half-way: the run stays busy.
    const fs::path root = dir / "root", data = dir / "data";
    std::string content(4 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(root / "data" / "world.pak", content);
    WriteFile(data / "config.json", "{\"googleOAuthEnabled\":false}");
    WriteFile(data / "faults.json", "{\"files\":{\"data/world.pak\":\"stall\"}}");
    auto server = std::make_unique<StandInServer>(BuiltinPort(), root, data, dir / "out1");
    Start();

    auto busy = WaitForFrame([&](const Shot& s) { return BarShown(s); }, 40s);
    ASSERT_TRUE(busy.has_value()) << run->Log();
    EXPECT_TRUE(Near(Pixel(*busy, kDotX, kDotY), kGreen, 16));
    // The percentage overlay: near-white text in the middle of the bar.
    bool overlay = false;
    for (int x = 880; x < 915 && !overlay; ++x)
        for (int y = 588; y < 604 && !overlay; ++y) overlay = Pixel(*busy, x, y).g > 200;
    EXPECT_TRUE(overlay);

    // The server goes away mid-download: the run fails, the footer turns red.
    server.reset();
    auto failed = WaitForFrame([&](const Shot& s) { return Near(Pixel(s, kDotX, kDotY), kRed, 16); }, 60s);
    ASSERT_TRUE(failed.has_value()) << run->Log();
    EXPECT_FALSE(BarShown(*failed));

    // Back without faults: "REPARAR JOGO" starts a forced run that completes.
    fs::remove(data / "faults.json");
    server = std::make_unique<StandInServer>(BuiltinPort(), root, data, dir / "out2");
    Click(860, 37);
    ASSERT_TRUE(run->WaitForLog("(forceVerify=true)", 20s)) << run->Log();
    ASSERT_TRUE(run->WaitForLog("[PatchManager] Download concluído com sucesso.", 60s)) << run->Log();
    auto done = WaitForFrame(
        [&](const Shot& s) { return Near(Pixel(s, kDotX, kDotY), kGreen, 16) && !BarShown(s); }, 20s);
    ASSERT_TRUE(done.has_value());
    EXPECT_TRUE(Near(StatusTextColour(*done), Colour{209, 191, 222}, 20)) << StatusTextColour(*done);
    EXPECT_EQ(ReadFile(dir / "game" / "data" / "world.pak"), content);

    ASSERT_TRUE(run->CloseWindow());
    EXPECT_EQ(run->WaitExit(60s), 0);
}

TEST_F(Window, MissingBodyFontFallsBackToTheDefaultFontWithAWarning) {
    Start();
    auto withFonts = WaitForFrame([&](const Shot& s) { return SecondTitleWordX(s) > 0; }, 20s);
    ASSERT_TRUE(withFonts.has_value());
    const int boldX = SecondTitleWordX(*withFonts);
    ASSERT_TRUE(run->CloseWindow());
    ASSERT_EQ(run->WaitExit(60s), 0);
    EXPECT_EQ(run->Log().find("Fonte segoeui.ttf"), std::string::npos);

    RemoveFonts();
    Start();
    auto without = WaitForFrame([&](const Shot& s) { return SecondTitleWordX(s) > 0; }, 20s);
    InstallFonts();
    ASSERT_TRUE(without.has_value());
    const int defaultX = SecondTitleWordX(*without);
    ASSERT_TRUE(run->CloseWindow());
    ASSERT_EQ(run->WaitExit(60s), 0);
    const auto lines = run->LogMessages();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "WARN [UIManager] Fonte segoeui.ttf não encontrada, usando fonte padrão."),
              lines.end())
        << run->Log();
    // Dear ImGui sizes a font by its ascent-to-descent height. The bold stand-in
    // (1.164 em high) at 34 px has an em of 29.2 px, and "VRENN" is 3.511 em wide:
    // the second word starts near 30 + 102.6 + 10. The built-in 13 px font scaled
    // to 34 px has five glyphs of 18.3 px: near 30 + 91.5 + 10, plus its 2.6 px bearing.
    EXPECT_NEAR(boldX, 143, 3);
    EXPECT_NEAR(defaultX, 134, 3);
}

}  // namespace
