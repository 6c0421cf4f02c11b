// The server's login page in an embedded WebView2 browser over a modal: the
// loader, the three runtime callbacks, attaching and navigating, the modal,
// closing, and the page's messages.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "app/Startup.h"
#include "imgui.h"
#include "imgui_internal.h"
#include "ui/CredentialStore.h"
#include "ui/UIManager.h"
#include "ui/WebMessage.h"
#include "ui/WebView2.h"

namespace {

// The page's diagnostics are not kept anywhere.
void WVLog(const std::string&) {}

std::string WStrToUtf8(const wchar_t* text) {
    if (!text) return "";
    int len = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (len <= 1) return "";
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), len, nullptr, nullptr);
    out.resize(static_cast<size_t>(len) - 1);
    return out;
}

std::wstring Utf8ToWStr(const std::string& text) {
    if (text.empty()) return L"";
    int len = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (len <= 1) return L"";
    std::wstring out(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), len);
    out.resize(static_cast<size_t>(len) - 1);
    return out;
}

// Reference counting and QueryInterface shared by the three handlers.
template <typename Interface, const GUID& Iid>
class WVHandlerBase : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, Iid)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refCount); }
    ULONG STDMETHODCALLTYPE Release() override {
        long count = --refCount;
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    virtual ~WVHandlerBase() = default;

protected:
    std::atomic<long> refCount{1};
};

using PageLinkRef = std::shared_ptr<UIManager::PageLink>;

class WVMsgHandler
    : public WVHandlerBase<ICoreWebView2WebMessageReceivedEventHandler, IID_ICoreWebView2WebMessageReceivedEventHandler> {
public:
    explicit WVMsgHandler(PageLinkRef pageLink) : link(std::move(pageLink)) {}
    HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) override {
        UIManager* ui = link->target;
        if (!args || !ui) return S_OK;
        // A login closes the page, which removes this handler: stay alive until the call ends.
        AddRef();
        LPWSTR json = nullptr;
        if (SUCCEEDED(args->get_WebMessageAsJson(&json)) && json) {
            ui->OnWebMessage(WStrToUtf8(json));
            CoTaskMemFree(json);
        }
        Release();
        return S_OK;
    }

private:
    PageLinkRef link;
};

class WVCtrlHandler : public WVHandlerBase<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                           IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> {
public:
    WVCtrlHandler(HWND window, PageLinkRef pageLink) : hwnd(window), link(std::move(pageLink)) {}
    HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* controller) override {
        UIManager* ui = link->target;
        if (!ui) {
            // The window is gone: nothing may be shown any more.
            if (SUCCEEDED(errorCode) && controller) controller->Close();
            return S_OK;
        }
        if (FAILED(errorCode) || !controller) {
            WVLog("[WebView] controller FAILED");
            ui->OnWebViewFailed();
            return E_FAIL;
        }
        ICoreWebView2* view = nullptr;
        if (FAILED(controller->get_CoreWebView2(&view)) || !view) {
            WVLog("[WebView] get_CoreWebView2 FAILED");
            ui->OnWebViewFailed();
            return E_FAIL;
        }
        WVLog("[WebView] controller OK");
        ui->AttachWebView(controller, view);
        return S_OK;
    }

private:
    HWND hwnd;
    PageLinkRef link;
};

class WVEnvHandler : public WVHandlerBase<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                          IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> {
public:
    WVEnvHandler(HWND window, PageLinkRef pageLink) : hwnd(window), link(std::move(pageLink)) {}
    HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* environment) override {
        UIManager* ui = link->target;
        if (!ui) return S_OK;  // the window is gone: no controller for it
        if (FAILED(errorCode) || !environment) {
            WVLog("[WebView] environment FAILED");
            ui->OnWebViewFailed();
            return E_FAIL;
        }
        WVLog("[WebView] environment OK");
        auto* controllerHandler = new WVCtrlHandler(hwnd, link);
        environment->CreateCoreWebView2Controller(hwnd, controllerHandler);
        controllerHandler->Release();
        return S_OK;
    }

private:
    HWND hwnd;
    PageLinkRef link;
};

}  // namespace

bool UIManager::OpenLoginModal() {
    if (loginModalOpen) return true;

    static bool coInit = false;
    if (!coInit) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        coInit = true;
    }

    std::wstring dir = ModuleFilePath();
    size_t cut = dir.find_last_of(L"\\/");
    dir = cut == std::wstring::npos ? L"" : dir.substr(0, cut + 1);
    HMODULE loader = LoadLibraryW((dir + L"WebView2Loader.dll").c_str());
    if (!loader) loader = LoadLibraryW(L"WebView2Loader.dll");
    if (!loader) return false;

    auto create = reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFn>(
        reinterpret_cast<void*>(GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));
    if (!create) return false;
    if (!hwnd) return false;

    std::wstring userData;
    PWSTR localAppData = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData)) && localAppData) {
        userData = std::wstring(localAppData) + L"\\VrennOnlineLauncher\\EBWebView";
        CreateDirectoryW(userData.c_str(), nullptr);
    }
    if (localAppData) CoTaskMemFree(localAppData);

    WVLog("[WebView] creating environment...");
    auto* handler = new WVEnvHandler(hwnd, pageLink);
    HRESULT hr = create(nullptr, userData.empty() ? nullptr : userData.c_str(), nullptr, handler);
    handler->Release();
    if (FAILED(hr)) {
        WVLog("[WebView] createEnv call FAILED");
        return false;
    }
    loginModalOpen = true;
    return true;
}

void UIManager::AttachWebView(void* controller, void* view) {
    auto* ctrl = static_cast<ICoreWebView2Controller*>(controller);
    if (!loginModalOpen || webViewController) {
        // Arrived after the modal was closed: a visible browser with no modal
        // around it could not be dismissed, so close it at once. The same for a
        // second controller (the modal was closed and reopened before the first
        // arrived): the page is already shown, and overwriting it would leak it.
        ctrl->Close();
        static_cast<ICoreWebView2*>(view)->Release();
        return;
    }
    ctrl->AddRef();
    webViewController = ctrl;
    webView = static_cast<ICoreWebView2*>(view);

    // Registered only for the page that is shown, and its token kept, so that
    // closing the page can take the handler back.
    auto* messages = new WVMsgHandler(pageLink);
    EventRegistrationToken token{};
    webMessageHandlerAdded = SUCCEEDED(webView->add_WebMessageReceived(messages, &token));
    webMessageToken = token.value;
    messages->Release();

    std::string base = patchManager ? patchManager->GetPatchServerUrl() : std::string();
    while (!base.empty() && base.back() == '/') base.pop_back();
    const std::wstring address = Utf8ToWStr(base + "/login.html");
    WVLog("[WebView] navigate /login.html");
    webView->Navigate(address.c_str());
    webViewController->put_IsVisible(TRUE);
}

void UIManager::OnWebViewFailed() {
    CloseLoginModal();
    SetStatus("LOGIN NA PÁGINA INDISPONÍVEL NO MOMENTO.", true);
}

// In the order the runtime expects: the event handler taken back, the
// controller hidden and closed, then the references given up.
void UIManager::CloseLoginModal() {
    google->googleCancel->store(true);
    loginModalOpen = false;
    if (webView && webMessageHandlerAdded) {
        EventRegistrationToken token{};
        token.value = webMessageToken;
        webView->remove_WebMessageReceived(token);
    }
    webMessageHandlerAdded = false;
    if (webViewController) {
        webViewController->put_IsVisible(FALSE);
        webViewController->Close();
    }
    if (webView) {
        webView->Release();
        webView = nullptr;
    }
    if (webViewController) {
        webViewController->Release();
        webViewController = nullptr;
    }
}

void UIManager::ReleaseLoginPage() {
    if (loginModalOpen || webViewController || webView) CloseLoginModal();
    pageLink->target = nullptr;
}

void UIManager::RenderLoginModal(ImDrawList*) {
    if (!loginModalOpen) {
        // Closed by a message or a sign-in, outside the popup: ImGui keeps an
        // unsubmitted modal on its stack for two more frames, and it would
        // swallow the window's clicks meanwhile. Let it go now.
        ImGuiContext& g = *ImGui::GetCurrentContext();
        if (ImGui::IsPopupOpen("##LoginModal")) ImGui::ClosePopupToLevel(g.BeginPopupStack.Size, true);
        return;
    }
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowSize(ImVec2(400, 560), ImGuiCond_Appearing);
    ImGui::OpenPopup("##LoginModal");
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Always,
                            ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal("##LoginModal", nullptr, ImGuiWindowFlags_NoResize)) return;

    ImGui::TextColored(ImVec4(1.0f, 0.52f, 0.9f, 1.0f), "ENTRAR");
    const ImVec2 o = ImGui::GetCursorScreenPos();
    const ImVec2 a = ImGui::GetContentRegionAvail();
    ImGui::Dummy(ImVec2(a.x, a.y - 44));
    if (webViewController) {
        RECT bounds{static_cast<LONG>(o.x), static_cast<LONG>(o.y), static_cast<LONG>(o.x + a.x),
                    static_cast<LONG>(o.y + a.y - 44)};
        webViewController->put_Bounds(bounds);
    } else {
        const ImVec2 after = ImGui::GetCursorScreenPos();
        ImGui::SetCursorScreenPos(o);
        ImGui::TextColored(ImVec4(0.7f, 0.64f, 0.76f, 1.0f), "CARREGANDO...");
        ImGui::SetCursorScreenPos(after);
    }
    if (ImGui::Button("CANCELAR", ImVec2(a.x, 32))) {
        CloseLoginModal();
        SetStatus("LOGIN COM GOOGLE CANCELADO.", false);
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

void UIManager::OnWebMessage(const std::string& json) {
    PageMessage message = ReadPageMessage(json);
    switch (message.kind) {
    case PageMessage::Kind::GoogleSignIn:
        StartGoogleThread();
        return;
    case PageMessage::Kind::Ignored:
        return;
    case PageMessage::Kind::Refused:
        SetStatus("EMAIL OU SENHA INCORRETOS.", true);
        return;
    case PageMessage::Kind::Login:
        break;
    }
    userId = message.userId;
    const std::string& name = message.username;
    sessionToken = message.token;
    webRootUrl = message.webRootUrl;
    servers = std::move(message.servers);
    loggedIn = true;

    const std::string& login = name.empty() ? userId : name;
    if (rememberMe) {
        SaveCredentialsRegistry(login, "");
    } else {
        DeleteCredentialsRegistry();
    }
    std::memset(emailBuf, 0, sizeof(emailBuf));
    std::strncpy(emailBuf, login.c_str(), sizeof(emailBuf) - 1);
    WipePassword();

    CloseLoginModal();
    SetStatus("CONECTADO.", false);
    if (!servers.empty()) selectedServer = 0;
}
