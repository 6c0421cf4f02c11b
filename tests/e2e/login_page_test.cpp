// The embedded login page and the Google sign-in from the window, end to end
// on the test display: the real launcher (and, where the Google provider must
// be the stand-in's, googlelauncher.exe, the same window with its Google
// endpoints moved) with the stand-in WebView2 runtime beside it or without it,
// the stand-in server, and the test browser that winebrowser starts.
//
// The runtime's record says what the launcher asked of the browser control;
// web messages are dropped into its inbox. Status texts are read by their
// glyphs against news titles, as in the play tests.
#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "support/Harness.h"
#include "support/LauncherWorld.h"

using namespace e2e;
using json = nlohmann::json;

namespace {

const char* kTitle = "Vrenn Ondrel - Launcher Oficial";
const std::string kClientId = "318-vrenn.apps.googleusercontent.com";

// Window-relative points of the 1024 x 615 window.
namespace spot {
constexpr int kGoogleX = 782, kGoogleY = 397;   // the round Google button
constexpr int kCancelX = 512, kCancelY = 567;   // CANCELAR at the modal's foot
constexpr int kModalTitleX = 512, kModalTitleY = 38;
const Rect kModal{312, 27, 400, 560};
const Rect kLoadingText{312, 70, 120, 30};       // where "CARREGANDO..." is written
using namespace layout;
}  // namespace spot

const Rgb kErrorColour{255, 97, 117};
const Rgb kStatusColour{205, 188, 219};
const Rgb kLoadingColour{178, 163, 194};
const Rgb kModalTitleColour{41, 74, 122};

const TestAccount kAna{"ana@vrenn.test", "s3nha forte", 4242, "http://127.0.0.1/web/",
                       json::array({
                           {{"serverId", 7}, {"serverName", "Ondrel Norte"}, {"serverIp", "10.0.0.7"},
                            {"serverPort", "7000"}, {"status", "Online"}, {"isNew", true}},
                           {{"serverId", 9}, {"serverName", "Ondrel Sul"}, {"serverIp", "10.0.0.9"},
                            {"serverPort", "7100"}, {"status", "Online"}, {"isNew", false}},
                       })};

// The launcher's window on the display, for either program.
struct Screenful {
    Rect window;
    void Click(int x, int y) const { MouseClick(window.x + x, window.y + y); }
    void Park() const { MouseMove(window.x + 640, window.y + 75); }
    Rgb Pixel(const Image& shot, int x, int y) const { return shot.At(window.x + x, window.y + y); }
    Rect OnScreen(const Rect& r) const { return {window.x + r.x, window.y + r.y, r.w, r.h}; }

    int Count(const Image& shot, const Rect& r, Rgb colour, int tolerance) const {
        return CutMask(shot, OnScreen(r), [&](Rgb p) { return Near(p, colour, tolerance); }).Count();
    }
    bool ModalShown() const {
        Image shot = CaptureScreen();
        return Near(Pixel(shot, spot::kModalTitleX, spot::kModalTitleY), kModalTitleColour, 12);
    }
    ::testing::AssertionResult FooterShowsTitle(int card, Rgb colour) const {
        return e2e::FooterShowsTitle(window, card, colour, 20s);
    }
    bool ErrorDot() const { return e2e::ErrorDot(window); }
    bool CardSelected(const Image& shot, int i) const { return e2e::CardSelected(window, shot, i); }
    bool WaitForCardSelected(int selected, int count) const {
        return e2e::WaitForCardSelected(window, selected, count, 20s);
    }
};

// The stand-in WebView2 runtime: where it records, where messages are
// dropped, and the gate that holds the controller back. Its settings reach
// the launcher through the environment it inherits from this process.
class StandInRuntime {
public:
    explicit StandInRuntime(const fs::path& d) : dir(d / "webview2") {
        fs::create_directories(dir / "inbox");
        setenv("VRENN_WV2_RECORD", WinPath(dir / "record.jsonl").c_str(), 1);
        setenv("VRENN_WV2_INBOX", WinPath(dir / "inbox").c_str(), 1);
        setenv("VRENN_WV2_DELAY_MS", "100", 1);
        unsetenv("VRENN_WV2_GATE");
        unsetenv("VRENN_WV2_FAIL");
    }
    ~StandInRuntime() {
        for (const char* v : {"VRENN_WV2_RECORD", "VRENN_WV2_INBOX", "VRENN_WV2_DELAY_MS", "VRENN_WV2_GATE"})
            unsetenv(v);
    }
    static void Install(const fs::path& folder) {
        fs::copy_file(WinBuild() / "WebView2Loader.dll", folder / "WebView2Loader.dll",
                      fs::copy_options::overwrite_existing);
    }
    void HoldController() { setenv("VRENN_WV2_GATE", WinPath(dir / "gate").c_str(), 1); }
    void ReleaseController() { WriteFile(dir / "gate", ""); }
    std::vector<json> Calls() const { return ReadJsonLines(dir / "record.jsonl"); }
    int Count(const std::string& call) const {
        int n = 0;
        for (const auto& c : Calls()) n += c.value("call", "") == call;
        return n;
    }
    std::optional<json> First(const std::string& call) const {
        for (const auto& c : Calls())
            if (c.value("call", "") == call) return c;
        return std::nullopt;
    }
    bool WaitFor(const std::string& call, int count = 1) const {
        return WaitUntil([&] { return Count(call) >= count; }, 30s, 50ms);
    }
    // Written under another name first, so the runtime never reads half a message.
    void Drop(const json& message) {
        const std::string name = std::to_string(1000 + ++dropped);
        WriteFile(dir / (name + ".part"), message.dump());
        fs::rename(dir / (name + ".part"), dir / "inbox" / (name + ".json"));
    }
    std::string Describe() const { return ReadFile(dir / "record.jsonl"); }

private:
    fs::path dir;
    int dropped = 0;
};

// winebrowser starts the test browser with this plan; every step is logged.
class TestBrowser {
public:
    TestBrowser(const fs::path& d, const std::string& plan)
        : log(d / "browser.jsonl"), mark(d / "browser.mark"), go(d / "browser.go") {
        const std::string command = "\"/usr/lib/wine/wine64\" \"" + WinTool("testbrowser").string() + "\"";
        Process reg = StartWindows("reg", {"add", "HKCU\\Software\\Wine\\WineBrowser", "/v", "Browsers", "/t",
                                           "REG_SZ", "/d", command, "/f"});
        EXPECT_EQ(reg.Wait(60s), 0) << "could not name the test browser";
        setenv("VRENN_TESTBROWSER_PLAN", plan.c_str(), 1);
        setenv("VRENN_TESTBROWSER_LOG", WinPath(log).c_str(), 1);
        setenv("VRENN_TESTBROWSER_MARK", WinPath(mark).c_str(), 1);
        setenv("VRENN_TESTBROWSER_GO", WinPath(go).c_str(), 1);
    }
    ~TestBrowser() {
        for (const char* v :
             {"VRENN_TESTBROWSER_PLAN", "VRENN_TESTBROWSER_LOG", "VRENN_TESTBROWSER_MARK", "VRENN_TESTBROWSER_GO"})
            unsetenv(v);
    }
    // Lets every browser waiting at "await-go" go on.
    void Go() const { WriteFile(go, ""); }
    std::vector<json> Steps() const { return ReadJsonLines(log); }
    int Count(const std::string& step) const {
        int n = 0;
        for (const auto& s : Steps()) n += s.value("step", "") == step;
        return n;
    }
    std::optional<json> Step(const std::string& step) const {
        for (const auto& s : Steps())
            if (s.value("step", "") == step) return s;
        return std::nullopt;
    }
    bool Marked() const { return fs::exists(mark); }
    std::string Describe() const { return ReadFile(log); }

private:
    fs::path log, mark, go;
};

void WriteConfig(LauncherWorld& w, const json& config) { WriteFile(w.data / "config.json", config.dump()); }

// The Google provider signs in the account whose "email" matches.
void LinkGoogleAccount(LauncherWorld& w, const std::string& email) {
    json accounts = json::parse(ReadFile(w.data / "accounts.json"));
    for (auto& a : accounts["accounts"]) a["email"] = email;
    WriteFile(w.data / "accounts.json", accounts.dump());
    WriteFile(w.data / "google.json", json{{"email", email}}.dump());
}

std::vector<json> RequestsTo(LauncherWorld& w, const std::string& path) {
    std::vector<json> out;
    for (const auto& r : w.Server().Records("requests.jsonl"))
        if (r.value("path", "") == path) out.push_back(r);
    return out;
}

// googlelauncher.exe from its own folder, under logcap, with its window drawn.
class GoogleLauncher {
public:
    GoogleLauncher(LauncherWorld& w, Screenful& screen, int turnMs = 1000) : log(w.dir / "googlelauncher.log") {
        fs::path exe = w.game / "googlelauncher.exe";
        fs::copy_file(WinTool("googlelauncher"), exe, fs::copy_options::overwrite_existing);
        const std::string url = w.Server().Url();
        proc = StartWindows(WinTool("logcap"),
                            {WinPath(log), WinPath(exe), "--server", url, "--google", url, "--turn-ms", std::to_string(turnMs)}, {},
                            w.dir / "googlelauncher.wine.out");
        shown = WaitUntil(
            [&] {
                auto r = FindWindowRect(kTitle);
                if (r) screen.window = *r;
                return r.has_value();
            },
            90s, 200ms);
        if (!shown) return;
        // Drawn frames (the panel cards' pink border), and the first patch run over.
        screen.Park();
        shown = WaitUntil(
                    [&] {
                        Rgb p = screen.Pixel(CaptureScreen(), 30, 450);
                        return p.r > 150 && p.b > 120 && p.g < 140;
                    },
                    30s, 100ms) &&
                WaitUntil([&] { return ReadFile(log).find("[PatchManager] Todos os arquivos") != std::string::npos; },
                          60s, 100ms);
    }
    ~GoogleLauncher() { proc.Kill(); }
    bool shown = false;
    std::string Log() const { return ReadFile(log); }
    std::optional<int> Close() {
        Process p = StartWindows(WinTool("wmclose"), {kTitle});
        p.Wait(30s);
        return proc.Wait(60s);
    }

private:
    fs::path log;
    Process proc;
};

}  // namespace

// Without the runtime the round button falls back to the synchronous Google
// sign-in (here the configuration names no client, so it is unavailable);
// with the runtime it opens the page: "CARREGANDO..." until the controller
// arrives, then the browser placed inside the modal. A page login signs in
// and its session starts the game.
TEST(LoginPage, GoogleButtonOpensThePageAndAPageLoginSignsIn) {
    LauncherWorld w("LoginPagePageLogin");
    w.AddAccount(kAna);
    w.InstallClient(0);
    WriteConfig(w, {{"googleOAuthEnabled", true}});
    w.SetNews(NewsShowing({"LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO.", "CONECTADO."}));
    TestBrowser browser(w.dir, "mark");  // never reached; no real browser may open
    StandInRuntime runtime(w.dir);
    runtime.HoldController();
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    Screenful s{w.Window()};

    // Wine's own state: no runtime loader anywhere.
    s.Click(spot::kGoogleX, spot::kGoogleY);
    EXPECT_TRUE(s.FooterShowsTitle(0, kErrorColour));
    EXPECT_TRUE(s.ErrorDot());
    EXPECT_FALSE(s.ModalShown());
    EXPECT_EQ(runtime.Count("CreateCoreWebView2EnvironmentWithOptions"), 0);
    // The request log is written once the answer is out: wait for it.
    EXPECT_TRUE(WaitUntil([&] { return RequestsTo(w, "/api/launcher/config").size() == 2; }, 10s))
        << "the synchronous sign-in did not read the configuration";
    EXPECT_EQ(browser.Count("start"), 0);

    // With the runtime beside the launcher.
    StandInRuntime::Install(w.game);
    s.Click(spot::kGoogleX, spot::kGoogleY);
    ASSERT_TRUE(runtime.WaitFor("CreateCoreWebView2Controller")) << runtime.Describe();
    s.Park();
    EXPECT_TRUE(WaitUntil([&] { return s.Count(CaptureScreen(), spot::kLoadingText, kLoadingColour, 40) > 20; }, 20s,
                          200ms))
        << "no CARREGANDO... while the controller is on its way";
    EXPECT_TRUE(s.ModalShown());
    EXPECT_EQ(runtime.Count("Navigate"), 0);
    auto env = runtime.First("CreateCoreWebView2EnvironmentWithOptions");
    ASSERT_TRUE(env);
    EXPECT_TRUE((*env)["browserFolderIsNull"].get<bool>());
    EXPECT_TRUE((*env)["optionsIsNull"].get<bool>());
    const std::string userData = (*env)["userDataFolder"];
    EXPECT_NE(userData.find("\\AppData\\Local\\VrennOnlineLauncher\\EBWebView"), std::string::npos) << userData;

    runtime.ReleaseController();
    ASSERT_TRUE(runtime.WaitFor("put_Bounds")) << runtime.Describe();
    EXPECT_EQ(runtime.First("Navigate").value_or(json::object()).value("uri", ""), w.Server().Url() + "/login.html");
    const json bounds = *runtime.First("put_Bounds");
    const int left = bounds["left"], top = bounds["top"], right = bounds["right"], bottom = bounds["bottom"];
    EXPECT_GE(left, spot::kModal.x);
    EXPECT_LE(right, spot::kModal.x + spot::kModal.w);
    EXPECT_GT(top, spot::kModal.y + 20) << "below the modal's title";
    EXPECT_LT(bottom, spot::kCancelY - 10) << "over CANCELAR";
    EXPECT_GT(right - left, 300);
    EXPECT_GT(bottom - top, 400);
    EXPECT_TRUE(WaitUntil([&] { return s.Count(CaptureScreen(), spot::kLoadingText, kLoadingColour, 40) == 0; }, 20s,
                          200ms))
        << "CARREGANDO... still drawn with the page shown";

    // The page's own sign-in, as the stand-in page posts its outcome.
    httplib::Client client("127.0.0.1", w.Server().Port());
    auto res = client.Post("/api/auth/page", json{{"username", kAna.username}, {"password", kAna.password}}.dump(),
                           "application/json");
    ASSERT_TRUE(res && res->status == 200);
    const json session = json::parse(res->body);
    runtime.Drop({{"type", "vrenn-auth"},
                  {"signature", session["token"]},
                  {"token", session["token"]},
                  {"userId", std::to_string(session["userId"].get<int64_t>())},
                  {"username", session["username"]},
                  {"webRootUrl", session["webRootUrl"]},
                  {"servers", session["servers"]}});
    ASSERT_TRUE(runtime.WaitFor("ControllerDestroyed")) << runtime.Describe();
    EXPECT_EQ(runtime.Count("Close"), 1);
    EXPECT_TRUE(s.WaitForCardSelected(0, 2)) << "no server panel with the first server chosen";
    EXPECT_TRUE(s.FooterShowsTitle(1, kStatusColour));
    EXPECT_FALSE(s.ErrorDot());
    EXPECT_FALSE(s.ModalShown());

    // The page's session is the launcher's: the game start refreshes it.
    s.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(WaitUntil([&] { return w.ClientReport().has_value(); }, 60s, 100ms)) << w.Launcher().Log();
    auto verdicts = w.AuthVerdicts();
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0].value("kind", ""), "refresh");
    EXPECT_TRUE(verdicts[0].value("ok", false));
    EXPECT_EQ(verdicts[0].value("token", ""), session["token"]);
    const json report = *w.ClientReport();
    EXPECT_EQ(report["env"]["VRENN_USERID"], "4242");
    EXPECT_EQ(report["env"]["VRENN_USERNAME"], kAna.username);
    EXPECT_NE(report.value("commandLine", "").find("&;serverid=7&;"), std::string::npos);
    EXPECT_EQ(w.Launcher().WaitExit(90s), 0);
}

// With the stand-in runtime in the game folder: the launcher started, and its
// login page opened with the Google button and laid out.
static void StartWithPageShown(LauncherWorld& w, StandInRuntime& runtime) {
    StandInRuntime::Install(w.game);
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    Screenful{w.Window()}.Click(spot::kGoogleX, spot::kGoogleY);
    ASSERT_TRUE(runtime.WaitFor("put_Bounds")) << runtime.Describe();
}

// Closing the window while the page is shown: before the window goes, the
// page's message handler is taken back with its token and the controller is
// hidden and closed inside the standing window; then every reference the
// launcher took is given up, and the launcher ends normally.
TEST(LoginPage, ClosingTheWindowReleasesTheShownPageFirst) {
    LauncherWorld w("LoginPageWindowCloses");
    WriteConfig(w, {{"googleOAuthEnabled", true}});
    StandInRuntime runtime(w.dir);
    ASSERT_NO_FATAL_FAILURE(StartWithPageShown(w, runtime));

    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_EQ(w.Launcher().WaitExit(60s), 0) << w.Launcher().Log();
    std::vector<json> calls = runtime.Calls();
    auto shown = std::find_if(calls.begin(), calls.end(), [](const json& c) {
        return c.value("call", "") == "put_IsVisible" && c.value("visible", false);
    });
    ASSERT_NE(shown, calls.end()) << runtime.Describe();
    std::vector<json> after;
    for (auto it = shown + 1; it != calls.end(); ++it)
        if (it->value("call", "") != "put_Bounds") after.push_back(*it);
    const auto added = runtime.First("add_WebMessageReceived");
    ASSERT_TRUE(added) << runtime.Describe();
    EXPECT_EQ(after, (std::vector<json>{
                         {{"call", "remove_WebMessageReceived"}, {"token", (*added)["token"]}, {"known", true},
                          {"handlerRefsLeft", 0}},
                         {{"call", "put_IsVisible"}, {"visible", false}},
                         {{"call", "Close"}, {"parentIsWindow", true}},
                         {{"call", "WebViewDestroyed"}},
                         {{"call", "ControllerDestroyed"}},
                         {{"call", "EnvironmentDestroyed"}},
                     }))
        << runtime.Describe();
}

// The page asks for Google: the background sign-in opens the browser while
// the window keeps drawing; a second request meanwhile changes nothing;
// CANCELAR closes the page and stops the sign-in, whose listener then closes.
TEST(LoginPage, CancelClosesThePageAndStopsARunningGoogleSignIn) {
    LauncherWorld w("LoginPageCancel");
    WriteConfig(w, {{"googleOAuthEnabled", true}, {"googleClientId", kClientId}});
    w.SetNews(NewsShowing({"LOGIN COM GOOGLE CANCELADO."}));
    // The authorization address is Google's own: the browser only marks that it
    // was started, then waits for the launcher's listener to close.
    TestBrowser browser(w.dir, "mark,await-closed");
    StandInRuntime runtime(w.dir);
    ASSERT_NO_FATAL_FAILURE(StartWithPageShown(w, runtime));
    Screenful s{w.Window()};
    runtime.Drop({{"type", "vrenn-google"}});
    ASSERT_TRUE(WaitUntil([&] { return browser.Marked(); }, 60s, 100ms)) << browser.Describe();
    runtime.Drop({{"type", "vrenn-google"}});
    ASSERT_TRUE(runtime.WaitFor("deliver", 2));
    EXPECT_TRUE(s.ModalShown()) << "the page closed while the sign-in runs";

    s.Click(spot::kCancelX, spot::kCancelY);
    ASSERT_TRUE(runtime.WaitFor("ControllerDestroyed")) << runtime.Describe();
    ASSERT_TRUE(WaitUntil([&] { return browser.Step("await-closed").has_value(); }, 60s, 200ms)) << browser.Describe();
    EXPECT_TRUE(browser.Step("await-closed")->value("closed", false)) << "the sign-in kept waiting for the browser";
    EXPECT_TRUE(s.FooterShowsTitle(0, kStatusColour));
    EXPECT_FALSE(s.ErrorDot());
    EXPECT_FALSE(s.ModalShown());

    // One sign-in only: one browser, one configuration read besides the start-up's.
    EXPECT_EQ(browser.Count("start"), 1);
    EXPECT_EQ(RequestsTo(w, "/api/launcher/config").size(), 2u);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_EQ(w.Launcher().WaitExit(60s), 0);
}

// CANCELAR stops the sign-in it was meant for, and only that one. The player
// opens the page again at once, well within the listener's wait, and asks for
// Google anew: a second browser opens. Then both browsers come back with a
// code: neither sign-in exchanges it, and nobody is signed in.
TEST(LoginPage, ACancelledGoogleSignInStaysCancelledWhenThePageReopens) {
    LauncherWorld w("LoginPageCancelReopen");
    w.AddAccount(kAna);
    LinkGoogleAccount(w, "ana.google@vrenn.test");
    WriteConfig(w, {{"googleOAuthEnabled", true}, {"googleClientId", kClientId}});
    w.SetNews(NewsShowing({"LOGIN COM GOOGLE CANCELADO."}));
    TestBrowser browser(w.dir, "mark,await-go,auth,redirect");
    StandInRuntime runtime(w.dir);
    StandInRuntime::Install(w.game);
    w.StartServer();
    Screenful s;
    // One wait turn outlasts the whole scene, so nothing here races a turn's end.
    GoogleLauncher launcher(w, s, 600000);
    ASSERT_TRUE(launcher.shown) << launcher.Log();

    auto openPage = [&](int nth) {
        s.Click(spot::kGoogleX, spot::kGoogleY);
        return runtime.WaitFor("put_Bounds", nth);
    };
    auto cancel = [&](int nth) {
        s.Click(spot::kCancelX, spot::kCancelY);
        return runtime.WaitFor("ControllerDestroyed", nth);
    };
    ASSERT_TRUE(openPage(1)) << runtime.Describe();
    runtime.Drop({{"type", "vrenn-google"}});
    ASSERT_TRUE(WaitUntil([&] { return browser.Count("start") == 1; }, 60s, 100ms)) << browser.Describe();
    ASSERT_TRUE(cancel(1)) << runtime.Describe();
    ASSERT_TRUE(openPage(2)) << runtime.Describe();
    runtime.Drop({{"type", "vrenn-google"}});
    EXPECT_TRUE(WaitUntil([&] { return browser.Count("start") == 2; }, 60s, 100ms))
        << "the cancelled sign-in kept the new request out\n" << browser.Describe();
    ASSERT_TRUE(cancel(2)) << runtime.Describe();

    browser.Go();
    ASSERT_TRUE(WaitUntil([&] { return browser.Count("end") == browser.Count("start"); }, 60s, 200ms))
        << browser.Describe();
    EXPECT_EQ(browser.Count("redirect"), browser.Count("start"));
    // A redirect that raced the cancel may still be answered; otherwise it is
    // refused. Left waiting, a player would look at a spinning tab.
    for (const json& step : browser.Steps()) {
        if (step.value("step", "") != "redirect") continue;
        EXPECT_TRUE(step.value("why", "") != "timeout" && !step.value("timedOut", false))
            << "a cancelled sign-in left the browser waiting: " << step.dump();
    }
    EXPECT_TRUE(w.Server().Records("google_token.jsonl").empty()) << "a cancelled sign-in exchanged its code";
    EXPECT_TRUE(w.Server().Records("google_session.jsonl").empty());
    EXPECT_TRUE(s.FooterShowsTitle(0, kStatusColour));
    EXPECT_FALSE(s.ErrorDot());
    EXPECT_FALSE(s.CardSelected(CaptureScreen(), 0)) << "signed in after cancelling";
    EXPECT_EQ(launcher.Close(), 0);
}

// Both Google roads signing in for real against the stand-in provider: the
// synchronous one when the page cannot be opened (no runtime), then, after a
// logout and with the runtime installed, the background one from the page,
// whose success closes the page.
TEST(LoginPage, GoogleSignsInOnBothRoads) {
    LauncherWorld w("LoginPageGoogleRoads");
    w.AddAccount(kAna);
    LinkGoogleAccount(w, "ana.google@vrenn.test");
    WriteConfig(w, {{"googleOAuthEnabled", true}, {"googleClientId", kClientId}});
    w.SetNews(NewsShowing({"CONECTADO.", "Sessão encerrada."}));
    TestBrowser browser(w.dir, "auth,redirect,favicon");
    StandInRuntime runtime(w.dir);
    w.StartServer();
    Screenful s;
    GoogleLauncher launcher(w, s);
    ASSERT_TRUE(launcher.shown) << launcher.Log();

    // Synchronous: the window waits for the whole browser sign-in.
    s.Click(spot::kGoogleX, spot::kGoogleY);
    EXPECT_TRUE(s.WaitForCardSelected(0, 2)) << launcher.Log() << browser.Describe();
    EXPECT_TRUE(s.FooterShowsTitle(0, kStatusColour));
    auto sessions = w.Server().Records("google_session.jsonl");
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].value("verdict", ""), "ok");
    EXPECT_EQ(runtime.Count("CreateCoreWebView2EnvironmentWithOptions"), 0);

    s.Click(spot::kLogoutX, spot::kLogoutY);
    EXPECT_TRUE(s.FooterShowsTitle(1, kStatusColour));

    // Background: from the page, while the window keeps drawing.
    StandInRuntime::Install(w.game);
    s.Click(spot::kGoogleX, spot::kGoogleY);
    ASSERT_TRUE(runtime.WaitFor("put_Bounds")) << runtime.Describe();
    runtime.Drop({{"type", "vrenn-google"}});
    ASSERT_TRUE(runtime.WaitFor("ControllerDestroyed")) << runtime.Describe() << browser.Describe();
    EXPECT_EQ(runtime.Count("Close"), 1);
    EXPECT_TRUE(s.WaitForCardSelected(0, 2)) << "the background road chose no server";
    EXPECT_TRUE(s.FooterShowsTitle(0, kStatusColour));
    EXPECT_FALSE(s.ModalShown());
    sessions = w.Server().Records("google_session.jsonl");
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[1].value("verdict", ""), "ok");
    EXPECT_EQ(browser.Count("start"), 2);
    EXPECT_EQ(launcher.Close(), 0);
}
