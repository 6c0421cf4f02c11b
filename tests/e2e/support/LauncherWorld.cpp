#include "LauncherWorld.h"

#include <openssl/evp.h>

#include <sstream>

#include "BuildConfig.h"

namespace e2e {

namespace {

const char* kWindowTitle = "Vrenn Ondrel - Launcher Oficial";
const char* kCurrentFile = "data/readme.txt";
const char* kCurrentContent = "Vrenn Ondrel\n";

std::string Pbkdf2Hex(const std::string& password, const std::string& salt, int iterations) {
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                      EVP_sha256(), sizeof(out), out);
    return HexOf(std::string(reinterpret_cast<char*>(out), sizeof(out)));
}

// Runs a tests/tools program to its end and returns what it printed.
std::string RunTool(const std::string& name, const std::vector<std::string>& args, const fs::path& scratch) {
    fs::path out = scratch / (name + ".out");
    fs::remove(out);
    Process p = StartWindows(WinTool(name), args, {}, out);
    p.Wait(60s);
    return ReadFile(out);
}

}  // namespace

std::string HexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

LauncherWorld::LauncherWorld(const std::string& name) {
    dir = MakeTempDir(name);
    data = dir / "data";
    root = dir / "root";
    game = dir / "game";
    fs::create_directories(data);
    fs::create_directories(root);
    fs::create_directories(game);
    WriteFile(data / "auth.json",
              nlohmann::json{{"secret", std::string(VRENN_SECRET_PART1) + VRENN_SECRET_PART2 + VRENN_SECRET_PART3},
                             {"difficulty", 1}}
                  .dump());
    WriteFile(data / "config.json", R"({"googleOAuthEnabled":false})");
    // A game lists at least one file; this one is in place already, so the
    // first patch run ends at once with the folder current.
    WriteFile(root / kCurrentFile, kCurrentContent);
    WriteFile(game / kCurrentFile, kCurrentContent);
    SetNews(nlohmann::json::array());
    WriteAccounts();
    ClearRegistry();
}

LauncherWorld::~LauncherWorld() {
    launcher.reset();
    server.reset();
}

void LauncherWorld::AddAccount(const TestAccount& account) {
    accounts.push_back(account);
    WriteAccounts();
}

void LauncherWorld::WriteAccounts() {
    nlohmann::json list = nlohmann::json::array();
    for (const TestAccount& a : accounts) {
        const std::string salt = "salt-" + a.username;
        list.push_back({{"username", a.username},
                        {"salt", salt},
                        {"iterations", 1},
                        {"hash", Pbkdf2Hex(a.password, salt, 1)},
                        {"userId", a.userId},
                        {"webRootUrl", a.webRootUrl},
                        {"servers", a.servers}});
    }
    WriteFile(data / "accounts.json", nlohmann::json{{"accounts", list}}.dump());
}

void LauncherWorld::SetNews(const nlohmann::json& entries) { WriteFile(data / "news.json", entries.dump()); }

void LauncherWorld::InstallClient(int stayMs) {
    fs::copy_file(WinBuild() / "VrennClient.exe", game / "VrennClient.exe", fs::copy_options::overwrite_existing);
    WriteFile(game / "client_stay_ms.txt", std::to_string(stayMs));
}

void LauncherWorld::RevokeUser(int64_t userId) {
    WriteFile(data / "revoked.json", nlohmann::json{{"users", {userId}}}.dump());
}

void LauncherWorld::StartServer() { server = std::make_unique<StandInServer>(BuiltinPort(), root, data, dir / "out"); }

bool LauncherWorld::StartLauncher() {
    launcher = std::make_unique<LauncherRun>(game);
    bool shown = WaitUntil(
        [&] {
            auto r = FindWindowRect(kWindowTitle);
            if (r) window = *r;
            return r.has_value();
        },
        90s, 200ms);
    if (!shown) return false;
    // Drawn frames: the panel cards stand (their left border is pink).
    ParkMouse();
    bool drawn = WaitUntil(
        [&] {
            Image shot = CaptureScreen();
            Rgb p = Pixel(shot, 30, 450);
            return p.r > 150 && p.b > 120 && p.g < 140;
        },
        30s, 100ms);
    if (!drawn) return false;
    // The first patch run finds the folder current at once; its last report
    // must not land after a status the test is about to look at.
    return launcher->WaitForLog("[PatchManager] Todos os arquivos", 60s);
}

void LauncherWorld::Click(int x, int y) { MouseClick(window.x + x, window.y + y); }

std::vector<nlohmann::json> LauncherWorld::AuthVerdicts() const { return server->Records("auth.jsonl"); }

std::vector<nlohmann::json> LauncherWorld::AuthBodies() const {
    std::vector<nlohmann::json> out;
    for (const auto& r : server->Records("requests.jsonl"))
        if (r.value("method", "") == "POST" && r.value("path", "") == "/api/auth")
            out.push_back(nlohmann::json::parse(r.value("body", ""), nullptr, false));
    return out;
}

bool LauncherWorld::WaitForVerdicts(size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return AuthVerdicts().size() >= count; }, timeout, 100ms);
}

std::map<std::string, RegValue> LauncherWorld::Registry() const {
    std::map<std::string, RegValue> values;
    std::istringstream in(RunTool("regprobe", {"dump"}, dir));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::istringstream fields(line);
        std::string part;
        while (std::getline(fields, part, '\t')) f.push_back(part);
        if (f.size() < 3) continue;
        values[f[0]] = RegValue{std::stoul(f[1]), std::stoul(f[2]), f.size() > 3 ? f[3] : ""};
    }
    return values;
}

void LauncherWorld::SetRegistryText(const std::string& name, const std::string& text) const {
    RunTool("regprobe", {"setsz", name, text}, dir);
}

void LauncherWorld::ClearRegistry() const { RunTool("regprobe", {"clear"}, dir); }

std::optional<nlohmann::json> LauncherWorld::ClientReport() const {
    fs::path p = game / "client_report.json";
    if (!fs::exists(p)) return std::nullopt;
    auto j = nlohmann::json::parse(ReadFile(p), nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

int FieldTextWidth(const LauncherWorld& w, int y) {
    Image shot = CaptureScreen();
    return CutMask(shot, w.OnScreen({597, y - 13, 369, 26}), [](Rgb p) { return Near(p, Rgb{252, 245, 255}, 30); })
        .width;
}

void TypeInto(LauncherWorld& w, int y, const std::string& text) {
    w.Click(layout::kFieldX, y);
    TypeText(text);
    const int chars = static_cast<int>(text.size());  // ASCII; 7 px each in the 13-px font
    EXPECT_TRUE(WaitUntil([&] { return FieldTextWidth(w, y) >= 7 * (chars - 1); }, 20s, 100ms)) << text;
}

bool RememberChecked(const LauncherWorld& w, const Image& shot) {
    return CutMask(shot, w.OnScreen({layout::kRememberX - 10, layout::kRememberY - 10, 20, 20}),
                   [](Rgb p) { return Near(p, Rgb{84, 242, 255}, 40); })
               .Count() > 10;
}

bool RememberChecked(const LauncherWorld& w) { return RememberChecked(w, CaptureScreen()); }

bool LoginButtonShown(const LauncherWorld& w, const Image& shot) {
    return Near(w.Pixel(shot, 620, layout::kLoginButtonY), Rgb{136, 29, 153}, 16);
}

namespace {

const Rgb kTitleColour{249, 241, 252};

// Cuts the title of news card `card` and the footer's pixels in `colour` out of one shot.
void CutTitleAndFooter(const Rect& window, const Image& shot, int card, Rgb colour, Mask& title, Mask& footer) {
    auto onScreen = [&](const Rect& r) { return Rect{window.x + r.x, window.y + r.y, r.w, r.h}; };
    title = CutMask(shot, onScreen({56, layout::NewsTop(card) + 6, 477, 20}),
                    [](Rgb p) { return Near(p, kTitleColour, 16); });
    footer = CutMask(shot, onScreen({32, 576, 760, 31}), [&](Rgb p) { return Near(p, colour, 16); });
}

}  // namespace

nlohmann::json NewsShowing(const std::vector<std::string>& titles) {
    nlohmann::json entries = nlohmann::json::array();
    for (auto it = titles.rbegin(); it != titles.rend(); ++it)
        entries.push_back({{"title", *it}, {"date", "X"}, {"content", "-"}});
    return entries;
}

::testing::AssertionResult FooterShowsTitle(const Rect& window, int card, Rgb colour,
                                            std::chrono::milliseconds within) {
    Mask footer, title;
    bool same = WaitUntil(
        [&] {
            CutTitleAndFooter(window, CaptureScreen(), card, colour, title, footer);
            return title.Count() > 0 && footer == title;
        },
        within, 250ms);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "footer:\n" << DescribeMask(footer) << "title:\n" << DescribeMask(title);
}

bool FooterShowsTitleIn(const Rect& window, const Image& shot, int card, Rgb colour) {
    Mask footer, title;
    CutTitleAndFooter(window, shot, card, colour, title, footer);
    return title.Count() > 0 && footer == title;
}

bool ErrorDot(const Rect& window) {
    Image shot = CaptureScreen();
    return Near(shot.At(window.x + 27, window.y + 594), Rgb{255, 82, 104}, 30);
}

bool CardSelected(const Rect& window, const Image& shot, int i) {
    Rgb p = shot.At(window.x + 600, window.y + layout::CardY(i) - 20);
    return p.r > 90 && p.r > p.g + 50;
}

bool WaitForCardSelected(const Rect& window, int selected, int count, std::chrono::milliseconds within) {
    MouseMove(window.x + 640, window.y + 75);
    return WaitUntil(
        [&] {
            Image shot = CaptureScreen();
            for (int i = 0; i < count; ++i)
                if (CardSelected(window, shot, i) != (i == selected)) return false;
            return true;
        },
        within, 250ms);
}

}  // namespace e2e
