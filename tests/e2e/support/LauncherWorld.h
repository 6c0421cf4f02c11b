#pragma once
// One end-to-end scene around the real launcher: the stand-in server's data
// (signing secret, accounts, news), a game folder with the launcher and
// optionally the stand-in client, a clean per-user registry key, and the
// running launcher's window on the test display.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Harness.h"
#include "Screen.h"

namespace e2e {

struct TestAccount {
    std::string username;
    std::string password;
    int64_t userId = 0;
    std::string webRootUrl;
    nlohmann::json servers = nlohmann::json::array();
};

// A registry value of HKCU\Software\VrennOnlineLauncher as regprobe reads it.
struct RegValue {
    unsigned long type = 0;  // 1 REG_SZ, 3 REG_BINARY
    unsigned long size = 0;
    std::string text;        // REG_SZ text, or the unprotected blob as hex ("!" when it does not unprotect)
};

std::string HexOf(const std::string& bytes);

class LauncherWorld {
public:
    explicit LauncherWorld(const std::string& name);
    ~LauncherWorld();

    fs::path dir, data, root, game;

    void AddAccount(const TestAccount& account);
    void SetNews(const nlohmann::json& entries);
    void InstallClient(int stayMs);
    // Refreshes of this user are refused from now on.
    void RevokeUser(int64_t userId);

    void StartServer();
    // Starts the launcher and waits for its window; false when it never showed.
    bool StartLauncher();
    LauncherRun& Launcher() { return *launcher; }
    StandInServer& Server() { return *server; }
    const Rect& Window() const { return window; }

    // Window-relative input and pixels.
    void Click(int x, int y);
    // Moves the pointer to an empty spot of the header, so no hover look colours a probe.
    void ParkMouse() const { MouseMove(window.x + 640, window.y + 75); }
    Rgb Pixel(const Image& shot, int x, int y) const { return shot.At(window.x + x, window.y + y); }
    Rect OnScreen(const Rect& r) const { return {window.x + r.x, window.y + r.y, r.w, r.h}; }

    // Verdicts of the stand-in server's account routes, in order (kind, ok, ...).
    std::vector<nlohmann::json> AuthVerdicts() const;
    // Bodies of the signed "/api/auth" posts, in order.
    std::vector<nlohmann::json> AuthBodies() const;
    bool WaitForVerdicts(size_t count, std::chrono::milliseconds timeout) const;

    std::map<std::string, RegValue> Registry() const;
    void SetRegistryText(const std::string& name, const std::string& text) const;
    void ClearRegistry() const;

    // The stand-in client's report, once it has written one.
    std::optional<nlohmann::json> ClientReport() const;

private:
    void WriteAccounts();
    std::vector<TestAccount> accounts;
    std::unique_ptr<StandInServer> server;
    std::unique_ptr<LauncherRun> launcher;
    Rect window;
};

// Window-relative places of the 1024 x 615 window that every scene reads or clicks.
namespace layout {
// The login form (13-px default font): fields, "LEMBRAR DE MIM", "ENTRAR NA CONTA".
constexpr int kFieldX = 781;
constexpr int kEmailY = 224, kPasswordY = 285;
constexpr int kRememberX = 609, kRememberY = 320;
constexpr int kLoginButtonY = 376;
constexpr int kCardX = 781;
constexpr int CardY(int i) { return 201 + 58 * i; }  // server card i
constexpr int kStartY = 511;
constexpr int kLogoutX = 942, kLogoutY = 140;
// News card i (one line of content, scale 1): top edge
constexpr int NewsTop(int i) { return 170 + (i * 5975) / 100; }
}  // namespace layout

// Width of the text shown in the login form's field centred at window y.
int FieldTextWidth(const LauncherWorld& w, int y);
// Types into a field and waits until the window has taken every character: the
// Return key is read as an asynchronous key state, ahead of the queued typing.
void TypeInto(LauncherWorld& w, int y, const std::string& text);
// The check mark of "LEMBRAR DE MIM".
bool RememberChecked(const LauncherWorld& w, const Image& shot);
bool RememberChecked(const LauncherWorld& w);
// The login panel's "ENTRAR NA CONTA" button, not hovered, left of its label.
bool LoginButtonShown(const LauncherWorld& w, const Image& shot);

// News shown top to bottom in this order (the launcher shows the answer reversed).
nlohmann::json NewsShowing(const std::vector<std::string>& titles);

// Status texts are read by their glyphs, on the launcher's window at `window`:
// waits until the footer shows the glyphs of news card `card`'s title in `colour`.
::testing::AssertionResult FooterShowsTitle(const Rect& window, int card, Rgb colour,
                                            std::chrono::milliseconds within);
// The same test on one screenshot, to pair the footer with other pixels of the same frame.
bool FooterShowsTitleIn(const Rect& window, const Image& shot, int card, Rgb colour);
// The red dot left of the status text marks an error.
bool ErrorDot(const Rect& window);
// Card i of the server list is drawn with the selection's gradient.
bool CardSelected(const Rect& window, const Image& shot, int i);
// Parks the pointer in the header, then waits until exactly card `selected` of `count` is selected.
bool WaitForCardSelected(const Rect& window, int selected, int count, std::chrono::milliseconds within);

}  // namespace e2e
