// WebView2Loader.dll stand-in. Exports CreateCoreWebView2EnvironmentWithOptions
// and plays the runtime: environment, controller and web view call the
// launcher's handlers back later on the calling (GUI) thread through its
// message loop, record what the launcher asks of them, and deliver web
// messages that a test drops as files. Driven by environment variables:
//   VRENN_WV2_RECORD   file that receives one JSON line per call
//   VRENN_WV2_INBOX    folder polled every 100 ms; each *.json file found is
//                      delivered (in name order) as a message's JSON form, then deleted
//   VRENN_WV2_FAIL     "call" | "environment" | "controller" | "webview"
//   VRENN_WV2_DELAY_MS delay before the controller arrives (default 300)
//   VRENN_WV2_GATE     when set, the controller arrives only once this file exists
// Besides the calls, the record has "ControllerDestroyed", "WebViewDestroyed"
// and "EnvironmentDestroyed" when the last reference to one is released; as the
// real runtime does, a controller holds its environment until it is destroyed.
// "Close" tells whether the controller's parent window still stood, and
// "remove_WebMessageReceived" whether the token was the one handed out and how
// many references to the launcher's handler were left once it was let go.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/WebView2.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buf[2048];
    DWORD n = GetEnvironmentVariableW(name, buf, 2048);
    return n > 0 && n < 2048 ? std::wstring(buf, n) : std::wstring();
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return "";
    int len = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), out.data(), len, nullptr, nullptr);
    return out;
}

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof(b), "\\u%04x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void Record(const std::string& jsonLine) {
    std::wstring path = Env(L"VRENN_WV2_RECORD");
    if (path.empty()) return;
    FILE* f = _wfopen(path.c_str(), L"ab");
    if (!f) return;
    std::fputs((jsonLine + "\n").c_str(), f);
    std::fclose(f);
}

bool FailAt(const wchar_t* stage) { return Env(L"VRENN_WV2_FAIL") == stage; }

template <typename Interface>
class ComBase : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        long n = --refs;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    virtual ~ComBase() = default;

private:
    std::atomic<long> refs{1};
};

#define NOT_USED(name) \
    HRESULT STDMETHODCALLTYPE name() override { return E_NOTIMPL; }

enum : UINT { kMsgEnvironment = WM_APP + 1, kMsgController, kTimerInbox = 1 };
HWND g_window = nullptr;

// A controller request waiting for its timer; the timer's id is this object's address.
struct Pending {
    ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler;
    HWND parent;
    ICoreWebView2Environment* environment;  // one reference, handed to the controller
};

class FakeArgs : public ComBase<ICoreWebView2WebMessageReceivedEventArgs> {
public:
    explicit FakeArgs(std::wstring text) : json(std::move(text)) {}
    NOT_USED(get_Source)
    NOT_USED(TryGetWebMessageAsString)
    HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* out) override {
        if (!out) return E_POINTER;
        size_t bytes = (json.size() + 1) * sizeof(wchar_t);
        *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        std::memcpy(*out, json.c_str(), bytes);
        return S_OK;
    }

private:
    std::wstring json;
};

class FakeWebView : public ComBase<ICoreWebView2> {
public:
    ~FakeWebView() override {
        if (active == this) active = nullptr;
        if (handler) handler->Release();
        Record("{\"call\":\"WebViewDestroyed\"}");
    }
    NOT_USED(get_Settings) NOT_USED(get_Source) NOT_USED(NavigateToString) NOT_USED(add_NavigationStarting)
    NOT_USED(remove_NavigationStarting) NOT_USED(add_ContentLoading) NOT_USED(remove_ContentLoading)
    NOT_USED(add_SourceChanged) NOT_USED(remove_SourceChanged) NOT_USED(add_HistoryChanged)
    NOT_USED(remove_HistoryChanged) NOT_USED(add_NavigationCompleted) NOT_USED(remove_NavigationCompleted)
    NOT_USED(add_FrameNavigationStarting) NOT_USED(remove_FrameNavigationStarting)
    NOT_USED(add_FrameNavigationCompleted) NOT_USED(remove_FrameNavigationCompleted)
    NOT_USED(add_ScriptDialogOpening) NOT_USED(remove_ScriptDialogOpening) NOT_USED(add_PermissionRequested)
    NOT_USED(remove_PermissionRequested) NOT_USED(add_ProcessFailed) NOT_USED(remove_ProcessFailed)
    NOT_USED(AddScriptToExecuteOnDocumentCreated) NOT_USED(RemoveScriptToExecuteOnDocumentCreated)
    NOT_USED(ExecuteScript) NOT_USED(CapturePreview) NOT_USED(Reload) NOT_USED(PostWebMessageAsJson)
    NOT_USED(PostWebMessageAsString)

    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
        Record("{\"call\":\"Navigate\",\"uri\":" + JsonText(Utf8(uri ? uri : L"")) + "}");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h,
                                                     EventRegistrationToken* token) override {
        const long long value = ++lastToken;
        Record("{\"call\":\"add_WebMessageReceived\",\"token\":" + std::to_string(value) + "}");
        if (h) h->AddRef();
        if (handler) handler->Release();
        handler = h;
        handlerToken = value;
        if (token) token->value = value;
        active = this;
        SetTimer(g_window, kTimerInbox, 100, nullptr);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
        const bool known = handler && token.value == handlerToken;
        long refsLeft = -1;
        if (known) {
            refsLeft = static_cast<long>(handler->Release());
            handler = nullptr;
        }
        Record("{\"call\":\"remove_WebMessageReceived\",\"token\":" + std::to_string(token.value) +
               ",\"known\":" + (known ? "true" : "false") + ",\"handlerRefsLeft\":" + std::to_string(refsLeft) + "}");
        return known ? S_OK : E_INVALIDARG;
    }

    // Delivers every message file waiting in the inbox.
    void DeliverInbox() {
        std::wstring dir = Env(L"VRENN_WV2_INBOX");
        if (dir.empty() || !handler) return;
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((dir + L"\\*.json").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            names.push_back(fd.cFileName);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            std::wstring path = dir + L"\\" + name;
            FILE* f = _wfopen(path.c_str(), L"rb");
            if (!f) continue;
            std::string bytes;
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
            std::fclose(f);
            DeleteFileW(path.c_str());
            int len = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
            std::wstring text(static_cast<size_t>(len), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), len);
            Record("{\"call\":\"deliver\",\"file\":" + JsonText(Utf8(name)) + "}");
            auto* args = new FakeArgs(text);
            AddRef();
            // Held for the call: handling the message may remove the handler.
            ICoreWebView2WebMessageReceivedEventHandler* h = handler;
            h->AddRef();
            h->Invoke(this, args);
            h->Release();
            args->Release();
            // A message that closed the page ends the delivery: a closed browser posts nothing more.
            const bool closed = active != this || !handler;
            Release();
            if (closed) break;
        }
    }

    static FakeWebView* active;

private:
    ICoreWebView2WebMessageReceivedEventHandler* handler = nullptr;
    long long handlerToken = 0;
    static long long lastToken;
};
FakeWebView* FakeWebView::active = nullptr;
long long FakeWebView::lastToken = 0;

class FakeController : public ComBase<ICoreWebView2Controller> {
public:
    // Takes over the caller's reference to the environment.
    FakeController(HWND parentWindow, ICoreWebView2Environment* env)
        : view(new FakeWebView()), parent(parentWindow), environment(env) {}
    ~FakeController() override {
        if (FakeWebView::active == view) FakeWebView::active = nullptr;
        view->Release();
        Record("{\"call\":\"ControllerDestroyed\"}");
        environment->Release();
    }
    NOT_USED(get_IsVisible) NOT_USED(get_Bounds) NOT_USED(get_ZoomFactor) NOT_USED(put_ZoomFactor)
    NOT_USED(add_ZoomFactorChanged) NOT_USED(remove_ZoomFactorChanged) NOT_USED(SetBoundsAndZoomFactor)
    NOT_USED(MoveFocus) NOT_USED(add_MoveFocusRequested) NOT_USED(remove_MoveFocusRequested)
    NOT_USED(add_GotFocus) NOT_USED(remove_GotFocus) NOT_USED(add_LostFocus) NOT_USED(remove_LostFocus)
    NOT_USED(add_AcceleratorKeyPressed) NOT_USED(remove_AcceleratorKeyPressed) NOT_USED(get_ParentWindow)
    NOT_USED(put_ParentWindow) NOT_USED(NotifyParentWindowPositionChanged)

    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
        Record(std::string("{\"call\":\"put_IsVisible\",\"visible\":") + (visible ? "true" : "false") + "}");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
        // Set every frame: record only changes.
        if (r.left != last.left || r.top != last.top || r.right != last.right || r.bottom != last.bottom) {
            last = r;
            char buf[160];
            std::snprintf(buf, sizeof(buf), "{\"call\":\"put_Bounds\",\"left\":%ld,\"top\":%ld,\"right\":%ld,\"bottom\":%ld}",
                          r.left, r.top, r.right, r.bottom);
            Record(buf);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        Record(std::string("{\"call\":\"Close\",\"parentIsWindow\":") + (IsWindow(parent) ? "true" : "false") + "}");
        if (FakeWebView::active == view) FakeWebView::active = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** out) override {
        if (!out) return E_POINTER;
        if (FailAt(L"webview")) {
            *out = nullptr;
            return E_FAIL;
        }
        view->AddRef();
        *out = view;
        return S_OK;
    }

private:
    FakeWebView* view;
    HWND parent;
    ICoreWebView2Environment* environment;
    RECT last{-1, -1, -1, -1};
};

class FakeEnvironment : public ComBase<ICoreWebView2Environment> {
public:
    ~FakeEnvironment() override { Record("{\"call\":\"EnvironmentDestroyed\"}"); }
    NOT_USED(CreateWebResourceResponse) NOT_USED(get_BrowserVersionString) NOT_USED(add_NewBrowserVersionAvailable)
    NOT_USED(remove_NewBrowserVersionAvailable)
    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
        Record(std::string("{\"call\":\"CreateCoreWebView2Controller\",\"parentIsWindow\":") +
               (IsWindow(parent) ? "true" : "false") + "}");
        if (!handler) return E_POINTER;
        handler->AddRef();
        std::wstring delay = Env(L"VRENN_WV2_DELAY_MS");
        UINT ms = delay.empty() ? 300 : static_cast<UINT>(_wtoi(delay.c_str()));
        // The controller arrives later, through the caller's message loop.
        AddRef();
        auto* pending = new Pending{handler, parent, this};
        SetTimer(g_window, reinterpret_cast<UINT_PTR>(pending), ms, nullptr);
        return S_OK;
    }
};

void CompleteController(const Pending& pending) {
    ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler = pending.handler;
    if (FailAt(L"controller")) {
        pending.environment->Release();
        handler->Invoke(E_FAIL, nullptr);
    } else {
        auto* controller = new FakeController(pending.parent, pending.environment);
        handler->Invoke(S_OK, controller);
        controller->Release();
    }
    handler->Release();
}

LRESULT CALLBACK FakeWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsgEnvironment) {
        auto* handler = reinterpret_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(lParam);
        if (FailAt(L"environment")) {
            handler->Invoke(E_FAIL, nullptr);
        } else {
            auto* env = new FakeEnvironment();
            handler->Invoke(S_OK, env);
            env->Release();
        }
        handler->Release();
        return 0;
    }
    if (msg == WM_TIMER) {
        if (wParam == kTimerInbox) {
            if (FakeWebView::active) FakeWebView::active->DeliverInbox();
        } else {
            // Held back while the gate file is missing; the timer keeps polling.
            std::wstring gate = Env(L"VRENN_WV2_GATE");
            if (!gate.empty() && GetFileAttributesW(gate.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
            KillTimer(hwnd, wParam);
            auto* pending = reinterpret_cast<Pending*>(wParam);
            CompleteController(*pending);
            delete pending;
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void EnsureWindow() {
    if (g_window) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = FakeWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VrennFakeWebView2";
    RegisterClassW(&wc);
    g_window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    Record("{\"call\":\"CreateCoreWebView2EnvironmentWithOptions\",\"browserFolderIsNull\":" +
           std::string(browserExecutableFolder ? "false" : "true") +
           ",\"userDataFolder\":" + JsonText(Utf8(userDataFolder ? userDataFolder : L"")) +
           ",\"optionsIsNull\":" + (options ? "false" : "true") + "}");
    if (FailAt(L"call")) return E_FAIL;
    if (!handler) return E_POINTER;
    EnsureWindow();
    handler->AddRef();
    PostMessageW(g_window, kMsgEnvironment, 0, reinterpret_cast<LPARAM>(handler));
    return S_OK;
}
