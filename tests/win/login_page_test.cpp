// The embedded login page and the background Google sign-in, on a window
// object with no real window: a plain test window as parent, the stand-in
// runtime loader beside this program (driven through its environment
// variables and read back from its record), frames built headlessly, and a
// loopback server of this process standing in for the launcher server's
// configuration answer when a sign-in thread has to be held or released.
#include "support/LoopbackListener.h"
// winsock2 before windows.h
#include <windows.h>

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/HeadlessImGui.h"
#include "support/RegistrySandbox.h"
#include "ui/CredentialStore.h"
#include "ui/UIManager.h"

namespace {

using namespace std::chrono_literals;

const std::string kPageUnavailable = "LOGIN NA PÁGINA INDISPONÍVEL NO MOMENTO.";
const std::string kCancelled = "LOGIN COM GOOGLE CANCELADO.";
const std::string kGoogleUnavailable = "LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO.";
const std::string kBadLogin = "EMAIL OU SENHA INCORRETOS.";
const std::string kWaiting = "AGUARDANDO GOOGLE...";


std::string TempFolder(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    std::string dir = std::string(base) + "vrenn-login-page-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(++counter) + "-" + name;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

// Dispatches this thread's messages until the condition holds (or a generous limit passes).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (true) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(5);
    }
}

void PumpFor(std::chrono::milliseconds span) {
    PumpUntil([] { return false; }, span);
}

// A loopback HTTP server that holds each request until the test answers it
// (or answers every request at once with a fixed body).
class HeldServer {
public:
    HeldServer() : listener(8) { acceptor = std::thread([this] { AcceptLoop(); }); }
    ~HeldServer() {
        listener.Close();
        acceptor.join();
        std::lock_guard<std::mutex> lock(mutex);
        for (SOCKET s : held) closesocket(s);
    }
    std::string Url() const { return listener.Url(); }
    void AnswerEverything(const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex);
        autoBody = body;
    }
    bool WaitForRequests(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 20s, [&] { return static_cast<int>(paths.size()) >= count; });
    }
    int Requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(paths.size());
    }
    std::vector<std::string> Paths() {
        std::lock_guard<std::mutex> lock(mutex);
        return paths;
    }
    // Closes every held request unanswered, and each later one at once.
    void CloseHeld() {
        std::lock_guard<std::mutex> lock(mutex);
        closing = true;
        for (SOCKET s : held) closesocket(s);
        held.clear();
    }
    void AnswerOldest(const std::string& body) {
        SOCKET s;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ASSERT_FALSE(held.empty());
            s = held.front();
            held.pop_front();
        }
        Answer(s, body);
    }

private:
    static void Answer(SOCKET s, const std::string& body) {
        std::string response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        send(s, response.data(), static_cast<int>(response.size()), 0);
        shutdown(s, SD_SEND);
        closesocket(s);
    }
    void AcceptLoop() {
        while (true) {
            SOCKET s = listener.Accept();
            if (s == INVALID_SOCKET) return;
            std::string request;
            char buf[2048];
            while (request.find("\r\n\r\n") == std::string::npos) {
                int n = recv(s, buf, sizeof(buf), 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            std::smatch m;
            std::string path = std::regex_search(request, m, std::regex("^[A-Z]+ (\\S+)")) ? m[1].str() : "?";
            std::unique_lock<std::mutex> lock(mutex);
            paths.push_back(path);
            if (closing) {
                closesocket(s);
            } else if (!autoBody.empty()) {
                lock.unlock();
                Answer(s, autoBody);
            } else {
                held.push_back(s);
            }
            arrived.notify_all();
        }
    }

    LoopbackListener listener;
    std::thread acceptor;
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<SOCKET> held;
    std::vector<std::string> paths;
    std::string autoBody;
    bool closing = false;
};

HWND MakeTestWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VrennLoginPageTest";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"login page test", WS_OVERLAPPEDWINDOW, 0, 0, 1024, 615, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

struct Status {
    std::string text;
    bool error;
};

Status StatusOf(UIManager& ui) {
    std::lock_guard<std::mutex> lock(ui.stateMutex);
    return {ui.statusText, ui.statusIsError};
}

class LoginPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.Active());
        folder = TempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        record = folder + "\\record.jsonl";
        inbox = folder + "\\inbox";
        CreateDirectoryA(inbox.c_str(), nullptr);
        // Wine reuses process ids, so the folder may hold an earlier run's files.
        DeleteFileA(record.c_str());
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((inbox + "\\*.json").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((inbox + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        SetEnvironmentVariableA("VRENN_WV2_RECORD", record.c_str());
        SetEnvironmentVariableA("VRENN_WV2_INBOX", inbox.c_str());
        SetEnvironmentVariableA("VRENN_WV2_DELAY_MS", "20");
        SetEnvironmentVariableA("VRENN_WV2_FAIL", nullptr);
        window = MakeTestWindow();
        ASSERT_TRUE(window);
        ui.hwnd = window;
        ui.patchManager = &pm;
    }
    void TearDown() override {
        if (ui.loginModalOpen) ui.CloseLoginModal();
        // Sign-in threads still use the PatchManager: release their requests and let them end first.
        server.CloseHeld();
        EXPECT_TRUE(PumpUntil([&] {
            std::lock_guard<std::mutex> lock(ui.google->googleMutex);
            return ui.google->threadsRunning == 0;
        }));
        PumpFor(50ms);
    }

    // The calls the stand-in runtime recorded, one JSON line each.
    std::vector<std::string> Lines() {
        std::vector<std::string> out;
        std::ifstream f(record);
        std::string line;
        while (std::getline(f, line))
            if (!line.empty()) out.push_back(line);
        return out;
    }
    std::vector<std::string> Calls() {
        std::vector<std::string> out;
        static const std::regex call("\"call\":\"([A-Za-z_0-9]+)\"");
        for (const auto& l : Lines()) {
            std::smatch m;
            if (std::regex_search(l, m, call)) out.push_back(m[1].str());
        }
        return out;
    }
    int Count(const std::string& name) {
        int n = 0;
        for (const auto& c : Calls()) n += c == name;
        return n;
    }
    std::string LineOf(const std::string& name) {
        for (const auto& l : Lines())
            if (l.find("\"call\":\"" + name + "\"") != std::string::npos) return l;
        return "";
    }
    void Drop(const std::string& name, const std::string& json) {
        // Written under another name first, so the runtime never reads half a file.
        std::string tmp = inbox + "\\" + name + ".part";
        {
            std::ofstream f(tmp, std::ios::binary);
            f << json;
        }
        MoveFileA(tmp.c_str(), (inbox + "\\" + name + ".json").c_str());
    }

    // One frame with only the login modal, the mouse where given.
    void Frame(ImVec2 mouse = ImVec2(-1e6f, -1e6f), bool down = false) {
        imgui.BeginFrame(frameTime += 1.0 / 60, mouse, down);
        ui.RenderLoginModal(ImGui::GetBackgroundDrawList());
        imgui.EndFrame();
    }
    // The box of the vertices drawn in this colour in the last frame.
    static ColourBox BoxOf(ImU32 colour) {
        auto colours = ColoursOfFrame();
        auto it = colours.find(colour);
        return it == colours.end() ? ColourBox{} : it->second;
    }
    static ImU32 Loading() { return ImGui::ColorConvertFloat4ToU32(ImVec4(0.7f, 0.64f, 0.76f, 1.0f)); }
    void ClickCancel() {
        Frame();  // a popup is measured, not drawn, in its first frame
        Frame();
        const ColourBox button = BoxOf(ImGui::GetColorU32(ImGuiCol_Button));
        ASSERT_GT(button.vertices, 0) << "no CANCELAR button drawn";
        const ImVec2 c((button.min.x + button.max.x) / 2, (button.min.y + button.max.y) / 2);
        Frame(c, false);
        Frame(c, true);
        Frame(c, false);
    }
    int32_t Generation() {
        std::lock_guard<std::mutex> lock(ui.google->googleMutex);
        return ui.google->googleGeneration;
    }
    // True once the thread of this generation has stored its result.
    bool ResultStored(int32_t generation) {
        return PumpUntil([&] {
            std::lock_guard<std::mutex> lock(ui.google->googleMutex);
            return ui.google->googleResult.generation == generation && ui.google->googleResult.ready;
        });
    }

    // The page shown, and a successful background sign-in's result stored, not yet applied.
    void ShowPageWithASuccessStored() {
        ASSERT_TRUE(ui.OpenLoginModal());
        ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
        std::lock_guard<std::mutex> lock(ui.google->googleMutex);
        ui.google->googleGeneration = 1;
        ui.google->googleResult.ready = true;
        ui.google->googleResult.ok = true;
        ui.google->googleResult.generation = 1;
        ui.google->googleResult.userId = "8";
        ui.google->googleResult.token = "t";
    }

    RegistrySandbox sandbox;
    HeadlessImGui imgui;
    HeldServer server;
    PatchManager pm{L"C:\\", server.Url()};
    // Built without a PatchManager, so no news fetch or patch run starts; SetUp hands it one.
    UIManager ui{nullptr};
    HWND window = nullptr;
    std::string folder, record, inbox;
    double frameTime = 1.0;
};

}  // namespace

// A finished page login hands over the session: the token is "signature" or
// else "token", the user id defaults to "0", the remembered login and the
// EMAIL field take the name or else the user id, the modal closes.
TEST_F(LoginPage, PageLoginSignsInWithTheSessionItCarries) {
    const std::string twoServers =
        R"([{"serverId":7,"serverName":"Ondrel","serverIp":"10.0.0.7","serverPort":"7001","status":"Online","isNew":false},)"
        R"({"serverId":8,"serverName":"Nova","serverIp":"10.0.0.8","serverPort":"7002","status":"Online","isNew":true}])";
    struct Case {
        const char* name;
        std::string json;
        bool remember;
        std::string userId, token, webRoot, email;
        size_t servers;
        int32_t selected;
    } cases[] = {
        {"whole message", R"({"type":"vrenn-auth","signature":"sig-1","token":"tok-1","userId":"42","username":"ana",)"
                          R"("webRootUrl":"http://web.test/","servers":)" + twoServers + "}",
         true, "42", "sig-1", "http://web.test/", "ana", 2, 0},
        {"empty signature uses token", R"({"type":"vrenn-auth","signature":"","token":"tok-2","userId":"43"})", true,
         "43", "tok-2", "", "43", 0, -1},
        {"no user id, no name, not remembered", R"({"type":"vrenn-auth","token":"tok-3"})", false, "0", "tok-3", "",
         "0", 0, -1},
        // Only the next character of an escape is kept: \u00e3 is not decoded (the page sends such letters raw).
        {"escapes", R"({"type":"vrenn-auth","token":"a\"b\\c","userId":"5","username":"jo\u00e3o"})", true, "5",
         "a\"b\\c", "", "jou00e3o", 0, -1},
        {"nested first occurrences", R"({"type":"vrenn-auth","session":{"token":"inner","userId":"9"},"token":"outer"})",
         false, "9", "inner", "", "9", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIManager fresh(nullptr);
        SaveCredentialsRegistry("older", "secret");
        fresh.loginModalOpen = true;
        fresh.rememberMe = c.remember;
        fresh.selectedServer = -1;
        std::strcpy(fresh.emailBuf, "typed@example.com");
        std::strcpy(fresh.passwordBuf, "typed-password");
        fresh.servers.push_back(GameServer{1, "stale", "1.1.1.1", "1", "Online", false});

        fresh.OnWebMessage(c.json);

        EXPECT_TRUE(fresh.loggedIn);
        EXPECT_EQ(fresh.userId, c.userId);
        EXPECT_EQ(fresh.sessionToken, c.token);
        EXPECT_EQ(fresh.webRootUrl, c.webRoot);
        EXPECT_EQ(std::string(fresh.emailBuf), c.email);
        EXPECT_EQ(fresh.servers.size(), c.servers) << "the list is replaced, not appended to";
        EXPECT_EQ(fresh.selectedServer, c.selected);
        for (char ch : fresh.passwordBuf) ASSERT_EQ(ch, '\0') << "password not wiped";
        EXPECT_FALSE(fresh.loginModalOpen);
        EXPECT_TRUE(fresh.google->googleCancel->load()) << "closing the page cancels a background sign-in";
        Status st = StatusOf(fresh);
        EXPECT_EQ(st.text, "CONECTADO.");
        EXPECT_FALSE(st.error);
        std::string login, second;
        bool stored = LoadCredentialsRegistry(login, second);
        EXPECT_EQ(stored, c.remember);
        if (c.remember) {
            EXPECT_EQ(login, c.email);
            EXPECT_EQ(second, "");
        }
        if (c.servers == 2) {
            EXPECT_EQ(fresh.servers[0].id, 7);
            EXPECT_EQ(fresh.servers[1].ip, "10.0.0.8");
        }
        DeleteCredentialsRegistry();
    }
}

// Messages that sign nothing in: a refused login keeps the modal and the
// form, Google wins over a login in the same message, anything else is ignored.
TEST_F(LoginPage, MessagesThatSignNothingIn) {
    struct Case {
        const char* name;
        std::string json;
        std::string status;  // raw text handed to the status line; "" = unchanged
        bool error;
        bool googleStarted;
    } cases[] = {
        {"neither signature nor token", R"({"type":"vrenn-auth","userId":"1","username":"ana"})", kBadLogin, true,
         false},
        {"empty signature and token", R"({"type":"vrenn-auth","signature":"","token":""})", kBadLogin, true, false},
        {"posted as a string", R"("{\"type\":\"vrenn-auth\",\"token\":\"t\",\"userId\":\"1\"}")", kBadLogin, true,
         false},
        {"no vrenn-auth at all", R"({"type":"other","token":"t","userId":"1"})", "", false, false},
        {"google and auth together", R"({"type":"vrenn-google","then":"vrenn-auth","token":"t","userId":"1"})",
         kWaiting, false, true},
    };
    server.AnswerEverything("{}");  // a started sign-in finds no client id and ends
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIManager fresh(nullptr);
        fresh.patchManager = &pm;
        fresh.loginModalOpen = true;
        std::strcpy(fresh.emailBuf, "typed@example.com");
        std::strcpy(fresh.passwordBuf, "typed-password");
        fresh.SetStatus("PRONTO PARA JOGAR", false);

        fresh.OnWebMessage(c.json);

        EXPECT_FALSE(fresh.loggedIn);
        EXPECT_TRUE(fresh.sessionToken.empty());
        EXPECT_TRUE(fresh.loginModalOpen) << "the modal stays open";
        EXPECT_EQ(std::string(fresh.emailBuf), "typed@example.com");
        EXPECT_EQ(std::string(fresh.passwordBuf), "typed-password");
        Status st = StatusOf(fresh);
        EXPECT_EQ(st.text, c.status.empty() ? "PRONTO PARA JOGAR" : UIManager::FriendlyStatus(c.status));
        EXPECT_EQ(st.error, c.error);
        std::lock_guard<std::mutex> lock(fresh.google->googleMutex);
        EXPECT_EQ(fresh.google->googleGeneration, c.googleStarted ? 1 : 0);
        // The started thread holds the shared block; let it end before the next case.
    }
    EXPECT_TRUE(PumpUntil([&] { return server.Requests() >= 1; }));
}

// Opening asks for one environment (browser folder and options null, the
// user-data folder under local application data), then a controller for the
// launcher window; the page is navigated and shown once it arrives, and a
// second opening while open asks for nothing.
TEST_F(LoginPage, OpeningRequestsOneEnvironmentAndShowsThePage) {
    ASSERT_TRUE(ui.OpenLoginModal());
    EXPECT_TRUE(ui.loginModalOpen);
    EXPECT_FALSE(ui.google->googleCancel->load()) << "opening cancels nothing";
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
    ASSERT_TRUE(ui.OpenLoginModal());
    PumpFor(100ms);

    EXPECT_EQ(Count("CreateCoreWebView2EnvironmentWithOptions"), 1);
    EXPECT_EQ(Count("CreateCoreWebView2Controller"), 1);
    const std::string env = LineOf("CreateCoreWebView2EnvironmentWithOptions");
    EXPECT_NE(env.find("\"browserFolderIsNull\":true"), std::string::npos) << env;
    EXPECT_NE(env.find("\"optionsIsNull\":true"), std::string::npos) << env;
    EXPECT_TRUE(std::regex_search(env, std::regex(R"("userDataFolder":"[A-Za-z]:\\\\.+\\\\VrennOnlineLauncher\\\\EBWebView")")))
        << env;
    EXPECT_NE(LineOf("CreateCoreWebView2Controller").find("\"parentIsWindow\":true"), std::string::npos);
    EXPECT_EQ(Count("add_WebMessageReceived"), 1);
    EXPECT_EQ(Count("Navigate"), 1);
    EXPECT_NE(LineOf("Navigate").find("\"uri\":\"" + server.Url() + "/login.html\""), std::string::npos)
        << LineOf("Navigate");
    EXPECT_NE(LineOf("put_IsVisible").find("\"visible\":true"), std::string::npos);
    EXPECT_NE(ui.webView, nullptr);
}

TEST_F(LoginPage, PageAddressHasOneSlashBeforeTheFileName) {
    struct Case {
        const char* base;
        const char* uri;
    } cases[] = {
        {"http://127.0.0.1:5110", "http://127.0.0.1:5110/login.html"},
        {"http://127.0.0.1:5110/", "http://127.0.0.1:5110/login.html"},
        {"http://127.0.0.1:5110///", "http://127.0.0.1:5110/login.html"},
        {"https://launcher.test/api/", "https://launcher.test/api/login.html"},
        {"", "/login.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        DeleteFileA(record.c_str());
        PatchManager other(L"C:\\", c.base);
        ui.patchManager = &other;
        ASSERT_TRUE(ui.OpenLoginModal());
        ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
        EXPECT_NE(LineOf("Navigate").find(std::string("\"uri\":\"") + c.uri + "\""), std::string::npos)
            << LineOf("Navigate");
        ui.CloseLoginModal();
        ui.patchManager = &pm;
    }
    // No PatchManager: the address is the file name alone.
    DeleteFileA(record.c_str());
    ui.patchManager = nullptr;
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
    EXPECT_NE(LineOf("Navigate").find("\"uri\":\"/login.html\""), std::string::npos) << LineOf("Navigate");
}

// The modal shows "CARREGANDO..." until the controller arrives, then gives
// the browser the area above the CANCELAR button every frame.
TEST_F(LoginPage, ModalLoadsThenPlacesTheBrowserInsideItself) {
    SetEnvironmentVariableA("VRENN_WV2_DELAY_MS", "300");
    ASSERT_TRUE(ui.OpenLoginModal());
    Frame();
    Frame();
    EXPECT_GT(BoxOf(Loading()).vertices, 0) << "no CARREGANDO... before the controller";
    EXPECT_EQ(Count("put_Bounds"), 0);

    ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
    Frame();
    Frame();
    EXPECT_EQ(BoxOf(Loading()).vertices, 0) << "CARREGANDO... still drawn once the page is shown";
    ImGuiWindow* modal = ImGui::FindWindowByName("##LoginModal");
    ASSERT_NE(modal, nullptr);
    EXPECT_EQ(modal->Size.x, 400.0f);
    EXPECT_EQ(modal->Size.y, 560.0f);
    EXPECT_EQ(modal->Pos.x + modal->Size.x / 2, 512.0f) << "centred";

    const std::string line = LineOf("put_Bounds");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, std::regex(R"("left":(-?\d+),"top":(-?\d+),"right":(-?\d+),"bottom":(-?\d+))")))
        << line;
    const int left = std::stoi(m[1]), top = std::stoi(m[2]), right = std::stoi(m[3]), bottom = std::stoi(m[4]);
    EXPECT_GE(left, static_cast<int>(modal->Pos.x));
    EXPECT_LE(right, static_cast<int>(modal->Pos.x + modal->Size.x));
    EXPECT_GT(top, static_cast<int>(modal->Pos.y) + 10) << "below the title";
    const ColourBox button = BoxOf(ImGui::GetColorU32(ImGuiCol_Button));
    ASSERT_GT(button.vertices, 0);
    EXPECT_LE(bottom, static_cast<int>(button.min.y)) << "the browser overlaps CANCELAR";
    EXPECT_LE(static_cast<int>(button.min.y) - bottom, static_cast<int>(ImGui::GetStyle().ItemSpacing.y) + 1)
        << "the browser leaves room above the button row";
    EXPECT_EQ(right - left, static_cast<int>(button.max.x - button.min.x + 0.5f)) << "as wide as the button";
    EXPECT_EQ(Count("put_Bounds"), 1) << "the same bounds every frame";
}

// CANCELAR closes the modal, releases the browser and says the Google sign-in
// was cancelled, as a plain status.
TEST_F(LoginPage, CancelClosesThePageWithoutAnError) {
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
    ui.SetStatus("EMAIL OU SENHA INCORRETOS.", true);
    ClickCancel();
    EXPECT_FALSE(ui.loginModalOpen);
    EXPECT_EQ(ui.webViewController, nullptr);
    EXPECT_EQ(ui.webView, nullptr);
    EXPECT_TRUE(ui.google->googleCancel->load());
    Status st = StatusOf(ui);
    EXPECT_EQ(st.text, kCancelled);
    EXPECT_FALSE(st.error);
    std::vector<std::string> shown;
    for (const auto& l : Lines())
        if (l.find("put_IsVisible") != std::string::npos || l.find("\"Close\"") != std::string::npos)
            shown.push_back(l);
    EXPECT_EQ(shown, (std::vector<std::string>{R"({"call":"put_IsVisible","visible":true})",
                                              R"({"call":"put_IsVisible","visible":false})",
                                              R"({"call":"Close","parentIsWindow":true})"}));
    EXPECT_EQ(Count("ControllerDestroyed"), 1) << "a reference to the controller was kept";
    EXPECT_EQ(Count("WebViewDestroyed"), 1) << "a reference to the web view was kept";
    Frame();
    EXPECT_EQ(BoxOf(ImGui::GetColorU32(ImGuiCol_Button)).vertices, 0) << "modal still drawn";
}

// However the page closes, the window behind it takes the very next click:
// the mouse moves onto one of its buttons in the frame after the close,
// presses in the next and lets go in the one after, as a quick player (or a
// slow frame rate) makes it. The modal must not linger and swallow it.
TEST_F(LoginPage, TheWindowTakesTheNextClickOnceThePageCloses) {
    const ImVec2 behind(782, 397);  // the Google button's place, beside the modal
    bool clicked = false;
    auto frame = [&](ImVec2 mouse, bool down) {
        imgui.BeginFrame(frameTime += 1.0 / 60, mouse, down);
        ImGui::SetCursorScreenPos(ImVec2(behind.x - 20, behind.y - 20));
        clicked |= ImGui::InvisibleButton("##behind", ImVec2(40, 40));
        ui.RenderLoginModal(ImGui::GetBackgroundDrawList());
        imgui.EndFrame();
    };
    struct Case {
        const char* how;
        std::function<void()> close;
    };
    const std::vector<Case> cases = {
        {"CANCELAR", [&] { ClickCancel(); }},
        {"a page login", [&] {
             Frame();
             Frame();
             ui.OnWebMessage(R"({"type":"vrenn-auth","token":"t","userId":"5"})");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_TRUE(ui.OpenLoginModal());
        ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
        c.close();
        ASSERT_FALSE(ui.loginModalOpen);
        clicked = false;
        frame(behind, false);
        frame(behind, true);
        frame(behind, false);
        EXPECT_TRUE(clicked) << "the click after the close was swallowed";
        // Reopened afterwards, the modal is drawn and takes its own clicks again.
        ASSERT_TRUE(ui.OpenLoginModal());
        ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
        Frame();
        Frame();
        EXPECT_GT(BoxOf(ImGui::GetColorU32(ImGuiCol_Button)).vertices, 0) << "the reopened modal is not drawn";
        ui.CloseLoginModal();
    }
}

// Each way the runtime can fail: at once (the panel falls back, nothing is
// shown) or through a callback (modal closed, the page's unavailability as an error).
TEST_F(LoginPage, RuntimeFailures) {
    struct Case {
        const char* fail;
        bool opens;
    } cases[] = {{"call", false}, {"environment", true}, {"controller", true}, {"webview", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fail);
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("VRENN_WV2_FAIL", c.fail);
        ui.SetStatus("PRONTO PARA JOGAR", false);
        EXPECT_EQ(ui.OpenLoginModal(), c.opens);
        if (c.opens) {
            EXPECT_TRUE(ui.loginModalOpen);
            ASSERT_TRUE(PumpUntil([&] { return !ui.loginModalOpen; }));
            Status st = StatusOf(ui);
            EXPECT_EQ(st.text, UIManager::FriendlyStatus(kPageUnavailable));
            EXPECT_TRUE(st.error);
            EXPECT_TRUE(ui.google->googleCancel->load());
        } else {
            EXPECT_FALSE(ui.loginModalOpen);
            EXPECT_EQ(StatusOf(ui).text, "PRONTO PARA JOGAR");
        }
        PumpFor(100ms);
        EXPECT_EQ(Count("Navigate"), 0);
        EXPECT_EQ(ui.webViewController, nullptr);
        EXPECT_EQ(ui.webView, nullptr);
        if (std::string(c.fail) == "webview") {
            EXPECT_EQ(Count("ControllerDestroyed"), 1) << "controller kept";
        }
    }
    SetEnvironmentVariableA("VRENN_WV2_FAIL", nullptr);

    // No window: nothing is requested.
    DeleteFileA(record.c_str());
    ui.hwnd = nullptr;
    EXPECT_FALSE(ui.OpenLoginModal());
    EXPECT_FALSE(ui.loginModalOpen);
    EXPECT_EQ(Count("CreateCoreWebView2EnvironmentWithOptions"), 0);
    ui.hwnd = window;
}

// A controller that arrives after the modal was closed is closed at once, and
// so is a second one when the modal was reopened before the first arrived.
TEST_F(LoginPage, LateControllersAreClosedAtOnce) {
    SetEnvironmentVariableA("VRENN_WV2_DELAY_MS", "200");
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return Count("CreateCoreWebView2Controller") >= 1; }));
    ui.CloseLoginModal();
    ASSERT_TRUE(PumpUntil([&] { return Count("ControllerDestroyed") >= 1; }));
    EXPECT_EQ(Count("Close"), 1);
    EXPECT_EQ(Count("Navigate"), 0);
    EXPECT_FALSE(ui.loginModalOpen);
    EXPECT_EQ(ui.webViewController, nullptr);

    DeleteFileA(record.c_str());
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return Count("CreateCoreWebView2Controller") >= 1; }));
    ui.CloseLoginModal();
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return Count("ControllerDestroyed") >= 1; }));
    EXPECT_TRUE(ui.loginModalOpen);
    EXPECT_NE(ui.webViewController, nullptr);
    EXPECT_EQ(Count("CreateCoreWebView2EnvironmentWithOptions"), 2);
    EXPECT_EQ(Count("Navigate"), 1) << "one page shown";
    EXPECT_EQ(Count("Close"), 1) << "the other closed";
}

// The window object going with the page shown: the message handler is taken
// back with its own token, the controller hidden and closed while its window
// stands, then every reference is given up, the launcher's handler included.
TEST_F(LoginPage, WindowGoingReleasesTheShownPageInTheRuntimesOrder) {
    auto owner = std::make_unique<UIManager>(nullptr);
    owner->hwnd = window;
    owner->patchManager = &pm;
    ASSERT_TRUE(owner->OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return owner->webViewController != nullptr; }));
    const std::string added = LineOf("add_WebMessageReceived");
    std::smatch token;
    ASSERT_TRUE(std::regex_search(added, token, std::regex(R"("token":(\d+))"))) << added;
    DeleteFileA(record.c_str());

    owner.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"remove_WebMessageReceived", "put_IsVisible", "Close",
                                                 "WebViewDestroyed", "ControllerDestroyed", "EnvironmentDestroyed"}));
    EXPECT_EQ(LineOf("remove_WebMessageReceived"),
              R"({"call":"remove_WebMessageReceived","token":)" + token[1].str() + R"(,"known":true,"handlerRefsLeft":0})");
    EXPECT_EQ(LineOf("put_IsVisible"), R"({"call":"put_IsVisible","visible":false})");
    EXPECT_EQ(LineOf("Close"), R"({"call":"Close","parentIsWindow":true})");
    PumpFor(200ms);
    EXPECT_EQ(Lines().size(), 6u) << "the runtime was called after the window object was gone";
}

// Runtime callbacks that come after the window object is gone show nothing
// and never reach it: an environment asks for no controller, a controller is
// closed at once; neither is kept.
TEST_F(LoginPage, CallbacksAfterTheWindowIsGoneShowNothing) {
    struct Case {
        const char* name;
        bool controllerRequested;  // where the opening stood when the window went
    } cases[] = {{"environment on its way", false}, {"controller on its way", true}};
    const std::string gate = folder + "\\gate";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(record.c_str());
        DeleteFileA(gate.c_str());
        SetEnvironmentVariableA("VRENN_WV2_GATE", gate.c_str());
        HWND parent = MakeTestWindow();
        ASSERT_TRUE(parent);
        auto owner = std::make_unique<UIManager>(nullptr);
        owner->hwnd = parent;
        owner->patchManager = &pm;
        ASSERT_TRUE(owner->OpenLoginModal());
        if (c.controllerRequested) {
            ASSERT_TRUE(PumpUntil([&] { return Count("CreateCoreWebView2Controller") == 1; }));
        }

        owner.reset();
        std::ofstream(gate).put('\n');
        ASSERT_TRUE(PumpUntil([&] { return Count("EnvironmentDestroyed") == 1; })) << "the environment was kept";
        PumpFor(200ms);
        EXPECT_EQ(Count("CreateCoreWebView2Controller"), c.controllerRequested ? 1 : 0);
        EXPECT_EQ(Count("add_WebMessageReceived"), 0);
        EXPECT_EQ(Count("Navigate"), 0);
        EXPECT_EQ(Count("put_IsVisible"), 0);
        EXPECT_EQ(Count("Close"), c.controllerRequested ? 1 : 0);
        EXPECT_EQ(Count("ControllerDestroyed"), c.controllerRequested ? 1 : 0);
        EXPECT_EQ(Count("WebViewDestroyed"), c.controllerRequested ? 1 : 0);
    }
    SetEnvironmentVariableA("VRENN_WV2_GATE", nullptr);
}

// Messages reach OnWebMessage through the runtime's event, converted from
// UTF-16; the login closes the page, and a closed page delivers nothing more.
TEST_F(LoginPage, MessagesArriveThroughTheRuntimeEvent) {
    ui.rememberMe = true;
    ASSERT_TRUE(ui.OpenLoginModal());
    ASSERT_TRUE(PumpUntil([&] { return ui.webViewController != nullptr; }));
    Drop("1", R"({"type":"vrenn-auth","signature":"s","userId":"11","username":"jo)"
              "\xC3\xA3"
              R"(o","servers":[{"serverId":3,"serverName":"A","serverIp":"1.2.3.4","serverPort":"1","status":"Online","isNew":false}]})");
    Drop("2", R"({"type":"vrenn-auth","signature":"later","userId":"12"})");
    ASSERT_TRUE(PumpUntil([&] { return ui.loggedIn; }));
    PumpFor(300ms);
    EXPECT_EQ(std::string(ui.emailBuf), "jo\xC3\xA3o");
    EXPECT_EQ(ui.sessionToken, "s");
    EXPECT_EQ(ui.selectedServer, 0);
    EXPECT_FALSE(ui.loginModalOpen);
    EXPECT_EQ(Count("deliver"), 1) << "a message was delivered to a closed page";
    std::string login, second;
    ASSERT_TRUE(LoadCredentialsRegistry(login, second));
    EXPECT_EQ(login, "jo\xC3\xA3o");
}

// The background sign-in: a second request while one runs changes nothing;
// a delivered result is applied on the next poll; a request made between
// delivery and poll discards the delivered result.
TEST_F(LoginPage, BackgroundSignInRefusesWhileRunningAndDropsStaleResults) {
    ui.StartGoogleThread();
    EXPECT_EQ(StatusOf(ui).text, kWaiting);
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_EQ(server.Paths()[0], "/api/launcher/config");

    ui.SetStatus("PRONTO PARA JOGAR", false);
    ui.StartGoogleThread();
    EXPECT_EQ(StatusOf(ui).text, "PRONTO PARA JOGAR") << "a refused request changed the status";
    EXPECT_EQ(Generation(), 1);
    ui.PollGoogle();
    EXPECT_EQ(StatusOf(ui).text, "PRONTO PARA JOGAR");

    server.AnswerOldest("{}");  // no client id: google_unavailable
    ASSERT_TRUE(ResultStored(1));
    ui.loginModalOpen = true;
    ui.PollGoogle();
    Status st = StatusOf(ui);
    EXPECT_EQ(st.text, kGoogleUnavailable);
    EXPECT_TRUE(st.error);
    EXPECT_TRUE(ui.loginModalOpen) << "a failure leaves the page open";
    ui.loginModalOpen = false;
    EXPECT_EQ(server.Requests(), 1) << "the refused request started a thread";

    // Delivered, then a new request before the poll: the old result is gone.
    ui.StartGoogleThread();
    ASSERT_TRUE(server.WaitForRequests(2));
    server.AnswerOldest("{}");
    ASSERT_TRUE(ResultStored(2));
    ui.StartGoogleThread();
    EXPECT_EQ(Generation(), 3);
    ASSERT_TRUE(server.WaitForRequests(3));
    ui.PollGoogle();
    EXPECT_EQ(StatusOf(ui).text, kWaiting) << "a discarded result was applied";
    server.AnswerOldest("{}");
    ASSERT_TRUE(ResultStored(3));
    ui.PollGoogle();
    EXPECT_EQ(StatusOf(ui).text, kGoogleUnavailable);
    ui.PollGoogle();  // applied once
    EXPECT_FALSE(ui.google->googleResult.ready);
}

// Closing the page cancels the sign-in it was running, and only that one:
// opening the page again does not undo the cancel, and a new request is taken
// at once instead of waiting for the cancelled sign-in to give up.
TEST_F(LoginPage, CancelBelongsToTheSignInItWasMeantFor) {
    ASSERT_TRUE(ui.OpenLoginModal());
    ui.StartGoogleThread();
    ASSERT_TRUE(server.WaitForRequests(1));  // the first sign-in waits for its configuration
    ui.CloseLoginModal();
    ASSERT_TRUE(ui.OpenLoginModal());
    ui.StartGoogleThread();
    EXPECT_EQ(Generation(), 2) << "the cancelled sign-in kept the new request out";
    ASSERT_TRUE(server.WaitForRequests(2));

    // The first one learns it has a client: cancelled, it gives up before any
    // browser; its result is stale and never shown.
    server.AnswerOldest(R"({"googleClientId":"318-vrenn.apps.googleusercontent.com"})");
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard<std::mutex> lock(ui.google->googleMutex);
        return ui.google->threadsRunning == 1;
    }));
    ui.PollGoogle();
    EXPECT_EQ(StatusOf(ui).text, kWaiting);
    // The second is live: the reopened page did not cancel it.
    server.AnswerOldest("{}");
    ASSERT_TRUE(ResultStored(2));
    ui.PollGoogle();
    EXPECT_EQ(StatusOf(ui).text, kGoogleUnavailable);
}

// A sign-in that succeeds just as the player presses CANCELAR (its result
// stored, not yet applied) signs nobody in: the cancel's own status stays.
TEST_F(LoginPage, ResultOfACancelledSignInIsDropped) {
    ASSERT_NO_FATAL_FAILURE(ShowPageWithASuccessStored());
    ClickCancel();
    ui.PollGoogle();
    EXPECT_FALSE(ui.loggedIn);
    EXPECT_TRUE(ui.sessionToken.empty());
    Status st = StatusOf(ui);
    EXPECT_EQ(st.text, kCancelled);
    EXPECT_FALSE(st.error);
    EXPECT_FALSE(ui.google->googleResult.ready) << "the dropped result is still waiting";
}

// What a stored result does when it is applied, both outcomes.
TEST_F(LoginPage, AppliedResultsSetStatusSessionAndForm) {
    struct Case {
        const char* name;
        bool ok;
        std::string error, username, userId;
        size_t servers;
        bool remember, modalOpen;
        std::string status;
        bool isError;
    } cases[] = {
        {"unavailable", false, "google_unavailable", "", "", 0, true, true, kGoogleUnavailable, true},
        {"cancelled", false, "google_cancelled", "", "", 0, true, true, kCancelled, false},
        {"server text", false, "Nenhuma conta vinculada a este e-mail.", "", "", 0, true, true,
         UIManager::FriendlyStatus("Nenhuma conta vinculada a este e-mail."), true},
        {"empty error", false, "", "", "", 0, true, true, UIManager::FriendlyStatus(""), true},
        {"success with name and servers", true, "", "Jogadora", "4242", 2, true, true, "CONECTADO.", false},
        {"success, no name, no servers", true, "", "", "77", 0, true, false, "CONECTADO.", false},
        {"success, not remembered", true, "", "Ana", "5", 1, false, true, "CONECTADO.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIManager fresh(nullptr);
        SaveCredentialsRegistry("older", "secret");
        fresh.rememberMe = c.remember;
        fresh.loginModalOpen = c.modalOpen;
        fresh.selectedServer = -1;
        std::strcpy(fresh.emailBuf, "typed@example.com");
        std::strcpy(fresh.passwordBuf, "typed-password");
        fresh.SetStatus(kWaiting, false);
        {
            std::lock_guard<std::mutex> lock(fresh.google->googleMutex);
            UIManager::GoogleResult& r = fresh.google->googleResult;
            r.ready = true;
            r.ok = c.ok;
            r.generation = 1;
            r.error = c.error;
            r.username = c.username;
            r.userId = c.userId;
            r.token = c.ok ? "google-token" : "";
            r.webRootUrl = c.ok ? "http://web.test/" : "";
            for (size_t i = 0; i < c.servers; ++i)
                r.servers.push_back(GameServer{static_cast<int32_t>(i + 1), "S", "1.1.1.1", "1", "Online", false});
            fresh.google->googleGeneration = 1;
        }
        fresh.PollGoogle();

        Status st = StatusOf(fresh);
        EXPECT_EQ(st.text, c.status);
        EXPECT_EQ(st.error, c.isError);
        EXPECT_EQ(fresh.loggedIn, c.ok);
        std::string login, second;
        const bool stored = LoadCredentialsRegistry(login, second);
        if (!c.ok) {
            EXPECT_EQ(std::string(fresh.emailBuf), "typed@example.com");
            EXPECT_EQ(std::string(fresh.passwordBuf), "typed-password");
            EXPECT_EQ(fresh.loginModalOpen, c.modalOpen);
            EXPECT_TRUE(stored && login == "older" && second == "secret") << "a failure touched the store";
            EXPECT_TRUE(fresh.sessionToken.empty());
        } else {
            const std::string expectLogin = c.username.empty() ? c.userId : c.username;
            EXPECT_EQ(fresh.userId, c.userId);
            EXPECT_EQ(fresh.sessionToken, "google-token");
            EXPECT_EQ(fresh.webRootUrl, "http://web.test/");
            EXPECT_EQ(fresh.servers.size(), c.servers);
            EXPECT_EQ(fresh.selectedServer, c.servers ? 0 : -1);
            EXPECT_EQ(std::string(fresh.emailBuf), expectLogin);
            for (char ch : fresh.passwordBuf) ASSERT_EQ(ch, '\0');
            EXPECT_FALSE(fresh.loginModalOpen);
            EXPECT_EQ(stored, c.remember);
            if (c.remember) {
                EXPECT_EQ(login, expectLogin);
                EXPECT_EQ(second, "");
            }
        }
        EXPECT_FALSE(fresh.google->googleResult.ready);
        DeleteCredentialsRegistry();
    }
}

// A successful background sign-in closes the page the runtime shows.
TEST_F(LoginPage, AppliedSuccessClosesTheShownPage) {
    ASSERT_NO_FATAL_FAILURE(ShowPageWithASuccessStored());
    ui.PollGoogle();
    EXPECT_TRUE(ui.loggedIn);
    EXPECT_FALSE(ui.loginModalOpen);
    EXPECT_EQ(Count("Close"), 1);
    EXPECT_EQ(Count("ControllerDestroyed"), 1);
}

// The synchronous road: without a PatchManager nothing happens; a failure
// resets the patch state and maps the error exactly like the background road.
TEST_F(LoginPage, SynchronousRoad) {
    ui.patchManager = nullptr;
    ui.SetStatus("PRONTO PARA JOGAR", false);
    EXPECT_FALSE(ui.DoGoogleLogin());
    EXPECT_EQ(StatusOf(ui).text, "PRONTO PARA JOGAR");
    EXPECT_EQ(server.Requests(), 0);

    ui.patchManager = &pm;
    server.AnswerEverything("{}");
    {
        std::lock_guard<std::mutex> lock(ui.stateMutex);
        ui.state = LauncherState::Downloading;
    }
    EXPECT_FALSE(ui.DoGoogleLogin());
    Status st = StatusOf(ui);
    EXPECT_EQ(st.text, kGoogleUnavailable);
    EXPECT_TRUE(st.error);
    EXPECT_FALSE(ui.loggedIn);
    std::lock_guard<std::mutex> lock(ui.stateMutex);
    EXPECT_EQ(ui.state, LauncherState::Idle);
}
