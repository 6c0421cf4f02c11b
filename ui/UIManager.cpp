// The window object: construction (settings, remembered login, news, the
// first patch run), tear-down, the two setters and the frame composition.
#include "ui/UIManager.h"

#include <imgui.h>

#include "patch/SecureWipe.h"
#include "ui/CredentialStore.h"
#include "ui/FrameLayout.h"
#include "ui/ImGuiWipe.h"
#include "ui/StoredText.h"

void UIManager::WipePassword() {
    WipeBuffer(passwordBuf, sizeof(passwordBuf));
    WipeImGuiTextFields();
}

UIManager::UIManager(PatchManager* pm) : patchManager(pm), reportGate(std::make_shared<ReportGate>()) {
    reportGate->target = this;

    LoadNewsFontScale();

    std::string login, password;
    if (LoadCredentialsRegistry(login, password)) {
        CopyToField(emailBuf, sizeof(emailBuf), login);
        CopyToField(passwordBuf, sizeof(passwordBuf), password);
        rememberMe = true;
    }
    WipeText(login);
    WipeText(password);

    if (patchManager) {
        news = patchManager->FetchNews();
        if (news.empty()) SetStatus("NENHUMA NOTÍCIA DISPONÍVEL.", false);
        // The first run starts before the window exists; its reports only touch the state fields.
        patchManager->StartPatchProcess(false, MakePatchStateCallback());
    }
}

UIManager::~UIManager() {
    try {
        AcquireSRWLockExclusive(&reportGate->lock);
        reportGate->target = nullptr;
        ReleaseSRWLockExclusive(&reportGate->lock);
        // A remembered password loaded at start may still be in the field,
        // and Dear ImGui's copies go with its context.
        WipePassword();
        Shutdown();
    } catch (...) {
    }
}

void UIManager::SetGoogleEnabled(bool enabled) { googleEnabled = enabled; }

void UIManager::SetOnRunLoopStarted(std::function<void()> callback) { onRunLoopStarted = std::move(callback); }

void UIManager::RenderUIFrame() {
    const ImGuiIO& io = ImGui::GetIO();
    const float w = io.DisplaySize.x;
    const float h = io.DisplaySize.y;
    ImDrawList* dl = ImGui::GetBackgroundDrawList();
    const float t = static_cast<float>(ImGui::GetTime());
    const FrameLayout l = ComputeFrameLayout(w, h);

    ImGui::SetNextWindowPos(ImVec2(0, 0), ImGuiCond_Always, ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(w, h));
    ImGui::SetNextWindowBgAlpha(0.0f);
    ImGui::Begin("VRENN ONDREL LAUNCHER", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoBackground |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus |
                     ImGuiWindowFlags_NoNavFocus);

    RenderBackground(dl, t, w, h);
    RenderHeader(dl, w);
    if (loggedIn) {
        RenderServerPanel(dl, l.rightWidth, l.contentHeight, l.rightX, l.contentTop, t);
        // The login panel reads Return as "pressed since the previous query":
        // spend what is pressed while it is away, up to a sign-out in this very
        // frame, so that its first frame does not sign straight back in.
        returnGate.Drain(static_cast<uint16_t>(GetAsyncKeyState(VK_RETURN)));
    } else {
        RenderLoginPanel(dl, l.rightWidth, l.contentHeight, l.rightX, l.contentTop, t);
    }
    RenderNewsPanel(dl, l.newsWidth, l.contentHeight, l.newsX, l.contentTop);
    RenderFooter(dl, w, h, 0.0f, l.footerHeight);
    PollGoogle();
    RenderLoginModal(dl);

    ImGui::End();
}
