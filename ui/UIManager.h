#pragma once
// The launcher window object: window, device and loop, the screens, the
// status line, the login page and the background Google sign-in.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "patch/PatchManager.h"
#include "patch/PatchTypes.h"
#include "ui/ReturnPress.h"

struct ImFont;
struct ImDrawList;
struct ImVec2;
struct ICoreWebView2Controller;
struct ICoreWebView2;

class UIManager {
public:
    struct GoogleResult {
        bool ready = false;
        bool ok = false;
        int32_t generation = 0;
        std::string userId;
        std::string username;
        std::string token;
        std::string webRootUrl;
        std::string error;
        std::vector<GameServer> servers;
    };

    explicit UIManager(PatchManager* patchManager);
    virtual ~UIManager();
    UIManager(const UIManager&) = delete;
    UIManager& operator=(const UIManager&) = delete;

    void SetGoogleEnabled(bool enabled);
    void SetOnRunLoopStarted(std::function<void()> callback);

    // Window, device and loop.
    bool Initialize(int width, int height, const std::wstring& title);
    void Run();
    void Shutdown();
    void RenderUIFrame();

    // Status line and repair.
    static std::string FriendlyStatus(const std::string& text);
    void SetStatus(const std::string& text, bool isError);
    void TriggerRepair();

    // Per-user settings.
    void LoadNewsFontScale();
    void SaveNewsFontScale();

    // Screens.
    void RenderBackground(ImDrawList* drawList, float time, float width, float height);
    void RenderHeader(ImDrawList* drawList, float width);
    void RenderNewsPanel(ImDrawList* drawList, float width, float height, float x, float y);
    void RenderServerPanel(ImDrawList* drawList, float width, float height, float x, float y, float time);
    void RenderLogoutButton(ImDrawList* drawList);
    void RenderServerList(ImDrawList* drawList, float time);
    void RenderServerCard(ImDrawList* drawList, int32_t index, float time);
    void RenderStartGameButton(ImDrawList* drawList, float time);
    void RenderFooter(ImDrawList* drawList, float width, float height, float paddingX, float footerHeight);
    void RenderLoginPanel(ImDrawList* drawList, float width, float height, float x, float y, float time);

    // Embedded login page.
    bool OpenLoginModal();
    void AttachWebView(void* controller, void* webView);
    void OnWebViewFailed();
    void CloseLoginModal();
    void RenderLoginModal(ImDrawList* drawList);
    void OnWebMessage(const std::string& json);
    // The window is going: closes an open page and cuts the runtime's later callbacks off.
    void ReleaseLoginPage();

    // Google sign-in.
    bool DoGoogleLogin();
    void StartGoogleThread();
    void PollGoogle();
    void ApplyGoogleResult();

    // The typed password goes: the SENHA field and Dear ImGui's copies of it.
    void WipePassword();

    // The patch-state callback handed to the PatchManager (bound to this object).
    PatchStateCallback MakePatchStateCallback();

private:
    void OnPatchState(LauncherState newState, float newProgress, float newSpeed, const std::string& message);
    // The last patch message and its mapping, under stateMutex: a download
    // repeats one message after every chunk, which is mapped once.
    std::string lastPatchMessage;
    std::string lastPatchStatus;

public:
    // Fields in declaration order; the screens share these names.
    PatchManager* patchManager;
    std::mutex stateMutex;
    LauncherState state = LauncherState::Idle;
    float progress = 0.0f;
    float speed = 0.0f;
    std::string statusText;
    bool statusIsError = false;
    char emailBuf[128] = {};
    char passwordBuf[256] = {};
    ImFont* regularFont = nullptr;
    ImFont* titleFont = nullptr;
    std::vector<NewsItem> news;
    std::vector<GameServer> servers;
    float newsFontScale = 1.0f;
    bool loggedIn = false;
    bool rememberMe = false;
    int32_t selectedServer = -1;
    std::string userId;
    std::string sessionToken;
    std::string webRootUrl;
    float panelAlpha = 1.0f;
    HWND hwnd = nullptr;
    bool gameRunning = false;
    bool runLoopStartedFired = false;
    std::function<void()> onRunLoopStarted;
    std::unordered_map<int32_t, float> cardHover;
    ICoreWebView2Controller* webViewController = nullptr;
    ICoreWebView2* webView = nullptr;
    bool loginModalOpen = false;
    // The page's message handler registration, removed again before the page closes.
    bool webMessageHandlerAdded = false;
    int64_t webMessageToken = 0;
    // The runtime's callbacks reach this object through this link. The window's
    // end cuts it: a callback that comes later finds no page to attach to and
    // never touches this object, which may be gone by then.
    struct PageLink {
        UIManager* target = nullptr;
    };
    std::shared_ptr<PageLink> pageLink = std::make_shared<PageLink>(PageLink{this});
    // The background sign-in's result slot, lock, cancel flag and generation live in a
    // block the sign-in thread holds a reference to, so a thread that outlives the
    // window never touches it. Destroying the window sets the cancel flag and waits
    // for running threads to end (within one wait turn), because they still use the
    // PatchManager, which is destroyed next.
    struct GoogleShared {
        GoogleResult googleResult;
        std::mutex googleMutex;
        // The cancel flag of the latest background sign-in. Each sign-in gets a
        // fresh one and nothing clears a flag, so closing the page stops exactly
        // the sign-in that was running, and reopening it cannot revive that one.
        // Replaced and read on the GUI thread; each thread holds its own.
        std::shared_ptr<std::atomic<bool>> googleCancel = std::make_shared<std::atomic<bool>>(false);
        int32_t googleGeneration = 0;
        int32_t threadsRunning = 0;  // guarded by googleMutex
        std::condition_variable threadsDone;
    };
    struct GoogleSharedRef {
        std::shared_ptr<GoogleShared> block = std::make_shared<GoogleShared>();
        GoogleShared* operator->() const { return block.get(); }
        ~GoogleSharedRef();
    };
    GoogleSharedRef google;
    bool googleEnabled = true;
    // Return presses as the login panel counts them: spent while it is away.
    ReturnPressGate returnGate;

    // Patch reports go through this gate, not straight to the object: the
    // destructor closes it, so a patch or download thread that outlives the
    // window drops its report instead of touching a destroyed object. Reports
    // hold the slim lock shared (four workers report after every chunk and
    // never wait for each other); the destructor holds it exclusive.
    struct ReportGate {
        SRWLOCK lock = SRWLOCK_INIT;
        UIManager* target = nullptr;
    };
    std::shared_ptr<ReportGate> reportGate;
};

// True when a running process has this executable file name (any letter case).
bool IsProcessRunning(const std::wstring& exeName);
// One snapshot entry's file name against the wanted one: case-insensitive, and
// an empty name on either side never matches.
bool ExeNameMatches(const wchar_t* entryName, const std::wstring& exeName);
bool IsGameRunning();
