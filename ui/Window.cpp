// The launcher's one window: a borderless, centred pop-up with rounded
// corners, the Direct3D 11 device Dear ImGui draws into, the frame loop with
// its wait for the game, the window procedure and the tear-down.
#include <windows.h>

#include <d3d11.h>
#include <tlhelp32.h>
#include <windowsx.h>

#include <cstdint>
#include <string>

#include "app/Logger.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "ui/FrameLayout.h"
#include "ui/ImGuiWipe.h"
#include "ui/UIManager.h"

// Data
static ID3D11Device* g_pd3dDevice = nullptr;
static ID3D11DeviceContext* g_pd3dDeviceContext = nullptr;
static IDXGISwapChain* g_pSwapChain = nullptr;
static ID3D11RenderTargetView* g_mainRenderTargetView = nullptr;
static bool g_ImGuiInitialized = false;

// Forward declarations of helper functions
bool CreateDeviceD3D(HWND hWnd);
void CleanupDeviceD3D();
void CreateRenderTarget();
void CleanupRenderTarget();
LRESULT WINAPI WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

static const wchar_t kWindowClass[] = L"VrennOnlineLauncher";
static const float kClearColor[4] = {0.02f, 0.01f, 0.04f, 1.0f};

static void ApplyLauncherStyle() {
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(0, 0);
    style.FramePadding = ImVec2(11, 7);
    style.ItemSpacing = ImVec2(8, 8);
    style.ItemInnerSpacing = ImVec2(7, 5);
    style.WindowRounding = 0;
    style.ChildRounding = 10;
    style.FrameRounding = 8;
    style.FrameBorderSize = 1;
    style.GrabRounding = 8;
    style.ScrollbarRounding = 8;
    style.ScrollbarSize = 9;

    ImVec4* colors = style.Colors;
    colors[ImGuiCol_Text] = ImVec4(0.99f, 0.96f, 1.00f, 1.00f);
    colors[ImGuiCol_TextDisabled] = ImVec4(0.69f, 0.58f, 0.79f, 1.00f);
    colors[ImGuiCol_Border] = ImVec4(1.00f, 0.34f, 0.87f, 0.86f);
    colors[ImGuiCol_BorderShadow] = ImVec4(0.12f, 0.02f, 0.22f, 0.92f);
    colors[ImGuiCol_FrameBg] = ImVec4(0.17f, 0.05f, 0.30f, 0.99f);
    colors[ImGuiCol_FrameBgHovered] = ImVec4(0.28f, 0.08f, 0.42f, 1.00f);
    colors[ImGuiCol_FrameBgActive] = ImVec4(0.36f, 0.11f, 0.50f, 1.00f);
    colors[ImGuiCol_CheckMark] = ImVec4(0.33f, 0.95f, 1.00f, 1.00f);
    colors[ImGuiCol_Separator] = ImVec4(1.00f, 0.39f, 0.90f, 0.62f);
    colors[ImGuiCol_PlotHistogram] = ImVec4(1.00f, 0.29f, 0.87f, 1.00f);
}

bool UIManager::Initialize(int width, int height, const std::wstring& title) {
    Logger& log = Logger::Instance();

    // Create application window
    log.Info("[UIManager] Registrando classe de janela Win32...");
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {sizeof(wc), CS_OWNDC, WndProc, 0, 0, instance, nullptr, nullptr, nullptr, nullptr,
                      kWindowClass, nullptr};
    RegisterClassExW(&wc);

    log.Info("[UIManager] Criando janela Win32...");
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, title.c_str(), WS_POPUP | WS_VISIBLE, x, y, width, height,
                           nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        log.Fatal("[UIManager] CreateWindowExW falhou! GetLastError=" + std::to_string(GetLastError()));
        return false;
    }
    log.Info("[UIManager] Janela criada com HWND=" + std::to_string(reinterpret_cast<uintptr_t>(hwnd)));
    // The window procedure finds this object through the window when the window goes.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    HRGN region = CreateRoundRectRgn(0, 0, width + 1, height + 1, 34, 34);
    if (region && !SetWindowRgn(hwnd, region, TRUE)) DeleteObject(region);

    // Initialize Direct3D
    log.Info("[UIManager] Inicializando dispositivo DirectX 11...");
    if (!CreateDeviceD3D(hwnd)) {
        log.Fatal("[UIManager] Falha crítica ao inicializar DirectX 11!");
        CleanupDeviceD3D();
        DestroyWindow(hwnd);
        hwnd = nullptr;
        return false;
    }
    log.Info("[UIManager] DirectX 11 inicializado com sucesso.");

    // Show the window
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    BringWindowToTop(hwnd);
    SetFocus(hwnd);

    // Setup Dear ImGui context
    log.Info("[UIManager] Inicializando ImGui...");
    IMGUI_CHECKVERSION();
    // Typed text passes through Dear ImGui's own blocks: zeroed when given back.
    InstallWipingImGuiAllocator();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    io.IniFilename = nullptr;

    // Load fonts
    ImFontConfig quiet;
    quiet.Flags |= ImFontFlags_NoLoadError;
    regularFont = io.Fonts->AddFontFromFileTTF("C:/Windows/Fonts/segoeui.ttf", 18.0f, &quiet);
    if (!regularFont) {
        log.Warn("[UIManager] Fonte segoeui.ttf não encontrada, usando fonte padrão.");
        regularFont = io.Fonts->AddFontDefault();
    }
    titleFont = io.Fonts->AddFontFromFileTTF("C:/Windows/Fonts/segoeuib.ttf", 34.0f, &quiet);
    if (!titleFont) titleFont = regularFont;

    // Setup Dear ImGui style
    ApplyLauncherStyle();

    // Setup Platform/Renderer backends
    ImGui_ImplWin32_Init(hwnd);
    ImGui_ImplDX11_Init(g_pd3dDevice, g_pd3dDeviceContext);
    g_ImGuiInitialized = true;

    log.Info("[UIManager] ImGui inicializado.");
    return true;
}

void UIManager::Run() {
    Logger& log = Logger::Instance();
    log.Info("[UIManager::Run] Loop de mensagens iniciado.");
    bool done = false;
    while (!done) {
        if (!runLoopStartedFired) {
            runLoopStartedFired = true;
            if (onRunLoopStarted) onRunLoopStarted();
        }

        // Poll and handle messages; WM_QUIT ends the loop at once. The W forms
        // keep typed characters in UTF-16 for the Unicode window: the A forms
        // pass them through the ANSI code page, which has no room for most.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0U, 0U, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                log.Info("[UIManager::Run] WM_QUIT recebido (wParam=" +
                         std::to_string(static_cast<unsigned long long>(msg.wParam)) + ")");
                done = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done) break;

        // A game was started: draw nothing, close once it is gone.
        if (gameRunning) {
            if (!IsGameRunning()) {
                gameRunning = false;
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
            } else {
                Sleep(100);
            }
            continue;
        }

        // Start the Dear ImGui frame
        ImGui_ImplDX11_NewFrame();
        ImGui_ImplWin32_NewFrame();
        ImGui::NewFrame();
        RenderUIFrame();
        ImGui::Render();

        // Rendering
        g_pd3dDeviceContext->OMSetRenderTargets(1, &g_mainRenderTargetView, nullptr);
        if (g_mainRenderTargetView) g_pd3dDeviceContext->ClearRenderTargetView(g_mainRenderTargetView, kClearColor);
        ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());

        // Present with vsync
        const HRESULT hr = g_pSwapChain->Present(1, 0);
        if (FAILED(hr)) log.Error(PresentFailureLine(static_cast<int32_t>(hr)));

        if (IsIconic(hwnd)) Sleep(50);
    }
    log.Info("[UIManager::Run] Loop de renderização encerrado.");
}

void UIManager::Shutdown() {
    // The login page's browser lives in the window: release it while the window stands.
    ReleaseLoginPage();
    if (hwnd) {
        DestroyWindow(hwnd);
        hwnd = nullptr;
    }
    if (g_ImGuiInitialized) {
        ImGui_ImplDX11_Shutdown();
        ImGui_ImplWin32_Shutdown();
        ImGui::DestroyContext();
        g_ImGuiInitialized = false;
    }
    CleanupDeviceD3D();
}

bool ExeNameMatches(const wchar_t* entryName, const std::wstring& exeName) {
    return entryName != nullptr && entryName[0] != L'\0' && !exeName.empty() && _wcsicmp(entryName, exeName.c_str()) == 0;
}

namespace {

// A process that is still being started can be listed without its file name;
// ask for its image path instead, so it is judged by what it runs.
bool HalfStartedEntryMatches(DWORD processId, const std::wstring& exeName) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return false;
    wchar_t image[MAX_PATH * 2];
    DWORD length = static_cast<DWORD>(sizeof(image) / sizeof(image[0]));
    const bool known = QueryFullProcessImageNameW(process, 0, image, &length) != 0 && length > 0;
    CloseHandle(process);
    if (!known) return false;
    const wchar_t* name = image;
    for (const wchar_t* c = image; *c; ++c)
        if (*c == L'\\' || *c == L'/') name = c + 1;
    return ExeNameMatches(name, exeName);
}

}  // namespace

bool IsProcessRunning(const std::wstring& exeName) {
    // An empty name names no program; nameless entries must not match it.
    if (exeName.empty()) return false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = entry.szExeFile[0] != L'\0' ? ExeNameMatches(entry.szExeFile, exeName)
                                            : HalfStartedEntryMatches(entry.th32ProcessID, exeName);
    }
    CloseHandle(snapshot);
    return found;
}

bool IsGameRunning() { return IsProcessRunning(L"VrennClient.exe"); }

// Helper functions

bool CreateDeviceD3D(HWND hWnd) {
    // Setup swap chain
    DXGI_SWAP_CHAIN_DESC sd;
    ZeroMemory(&sd, sizeof(sd));
    sd.BufferCount = 2;
    sd.BufferDesc.Width = 0;
    sd.BufferDesc.Height = 0;
    sd.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    sd.BufferDesc.RefreshRate.Numerator = 60;
    sd.BufferDesc.RefreshRate.Denominator = 1;
    sd.Flags = DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH;
    sd.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    sd.OutputWindow = hWnd;
    sd.SampleDesc.Count = 1;
    sd.SampleDesc.Quality = 0;
    sd.Windowed = TRUE;
    sd.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;

    const UINT createDeviceFlags = 0;
    D3D_FEATURE_LEVEL featureLevel;
    const D3D_FEATURE_LEVEL featureLevelArray[2] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
    HRESULT res = D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, createDeviceFlags,
                                                featureLevelArray, 2, D3D11_SDK_VERSION, &sd, &g_pSwapChain,
                                                &g_pd3dDevice, &featureLevel, &g_pd3dDeviceContext);
    // No usable hardware driver: the WARP software driver.
    if (res != S_OK)
        res = D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, createDeviceFlags,
                                            featureLevelArray, 2, D3D11_SDK_VERSION, &sd, &g_pSwapChain,
                                            &g_pd3dDevice, &featureLevel, &g_pd3dDeviceContext);
    if (res != S_OK) return false;

    CreateRenderTarget();
    return true;
}

void CleanupDeviceD3D() {
    CleanupRenderTarget();
    if (g_pSwapChain) { g_pSwapChain->Release(); g_pSwapChain = nullptr; }
    if (g_pd3dDeviceContext) { g_pd3dDeviceContext->Release(); g_pd3dDeviceContext = nullptr; }
    if (g_pd3dDevice) { g_pd3dDevice->Release(); g_pd3dDevice = nullptr; }
}

void CreateRenderTarget() {
    g_mainRenderTargetView = nullptr;
    ID3D11Texture2D* pBackBuffer = nullptr;
    if (FAILED(g_pSwapChain->GetBuffer(0, IID_PPV_ARGS(&pBackBuffer))) || !pBackBuffer) return;
    if (FAILED(g_pd3dDevice->CreateRenderTargetView(pBackBuffer, nullptr, &g_mainRenderTargetView)))
        g_mainRenderTargetView = nullptr;
    pBackBuffer->Release();
}

void CleanupRenderTarget() {
    if (g_mainRenderTargetView) { g_mainRenderTargetView->Release(); g_mainRenderTargetView = nullptr; }
}

// Forward declare message handler from imgui_impl_win32.cpp
extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Win32 message handler
LRESULT WINAPI WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_ImGuiInitialized && ImGui_ImplWin32_WndProcHandler(hWnd, msg, wParam, lParam)) return 1;

    switch (msg) {
    case WM_NCHITTEST: {
        // The top strip of the header drags the borderless window.
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hWnd, &pt);
        if (InCaptionZone(pt.x, pt.y)) return HTCAPTION;
        break;
    }
    case WM_SIZE:
        if (g_pd3dDevice && g_pSwapChain && wParam != SIZE_MINIMIZED) {
            CleanupRenderTarget();
            g_pSwapChain->ResizeBuffers(0, static_cast<UINT>(LOWORD(lParam)), static_cast<UINT>(HIWORD(lParam)),
                                        DXGI_FORMAT_UNKNOWN, 0);
            CreateRenderTarget();
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xfff0) == SC_KEYMENU)  // Disable ALT application menu
            return 0;
        break;
    case WM_CLOSE:
        Logger::Instance().Info("[WndProc] WM_CLOSE recebido.");
        break;
    case WM_DESTROY:
        // The window still stands here, the login page's browser inside it too:
        // close and release the page now, not after the window is gone.
        if (auto* ui = reinterpret_cast<UIManager*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA))) ui->ReleaseLoginPage();
        Logger::Instance().Info("[WndProc] WM_DESTROY recebido, chamando PostQuitMessage(0)...");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}
