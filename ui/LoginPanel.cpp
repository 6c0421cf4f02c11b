// The sign-in form of the right-hand column: e-mail, password, "remember me",
// the Google button and the password login itself.
#include <imgui.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "patch/SecureWipe.h"
#include "ui/CredentialStore.h"
#include "ui/DrawKit.h"
#include "ui/UIManager.h"

namespace {

constexpr ImU32 kPlaceholderColor = IM_COL32(160, 140, 175, 140);
const ImVec4 kLabelColor(0.82f, 0.72f, 0.87f, 1.0f);

void MoveCursorDown(float dy) { ImGui::SetCursorPosY(ImGui::GetCursorPosY() + dy); }

// Greyed hint over an empty field, at its top-left corner plus (6, 6). Drawn
// above the field: its frame is nearly opaque and would hide a hint beneath it.
void DrawPlaceholder(const char* hint) {
    const ImVec2 at = ImGui::GetItemRectMin();
    ImGui::GetWindowDrawList()->AddText(ImVec2(at.x + 6.0f, at.y + 6.0f), kPlaceholderColor, hint);
}

// The round Google button; true when clicked.
bool GoogleButton(ImDrawList* dl, float childWidth) {
    ImGui::SetCursorPosX((childWidth - 40.0f) * 0.5f);
    const ImVec2 p = ImGui::GetCursorScreenPos();
    const ImVec2 c(p.x + 20.0f, p.y + 20.0f);
    const bool hovered = ImGui::IsMouseHoveringRect(p, ImVec2(p.x + 40.0f, p.y + 40.0f));

    dl->AddCircleFilled(c, 20.0f, IM_COL32(20, 10, 38, 235), 0);
    static const ImU32 arcColors[4] = {IM_COL32(66, 133, 244, 255), IM_COL32(234, 67, 53, 255),
                                       IM_COL32(251, 188, 5, 255), IM_COL32(52, 168, 83, 255)};
    for (int i = 0; i < 4; ++i) {
        const float from = 3.14159f * (0.5f + 0.5f * static_cast<float>(i));
        const float to = 3.14159f * (1.0f + 0.5f * static_cast<float>(i));
        dl->PathArcTo(c, 17.0f, from, to, 24);
        dl->PathStroke(arcColors[i], ImDrawFlags_None, 2.4f);
    }
    const ImVec2 g = ImGui::CalcTextSize("G");
    dl->AddText(ImVec2(c.x - g.x * 0.5f, c.y - g.y * 0.5f), IM_COL32(255, 255, 255, 255), "G");
    if (hovered) {
        dl->AddCircle(c, 20.0f, IM_COL32(255, 255, 255, 90), 32, 1.2f);
        ThemedTooltip("Entrar com Google");
    }

    ImGui::SetCursorScreenPos(p);
    return ImGui::InvisibleButton("##GoogleLogin", ImVec2(40.0f, 40.0f));
}

}  // namespace

void UIManager::RenderLoginPanel(ImDrawList* dl, float width, float height, float x, float y, float time) {
    // Frame and child window
    DrawPanelFrame(dl, time, ImVec2(x, y), ImVec2(x + width, y + height), 14.0f);
    ImGui::SetCursorScreenPos(ImVec2(x + 16.0f, y + 16.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, IM_COL32(0, 0, 0, 0));
    ImGui::BeginChild("RightPanel", ImVec2(width - 32.0f, height - 32.0f), ImGuiChildFlags_None,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, panelAlpha);

    const float W = width - 32.0f;
    const float F = W - 22.0f;

    // Titles
    ImGui::SetCursorPosX(11.0f);
    ImGui::TextColored(ImVec4(1.0f, 0.52f, 0.9f, 1.0f), "ENTRE PARA JOGAR");
    ImGui::SetCursorPosX(11.0f);
    ImGui::TextColored(ImVec4(0.63f, 0.56f, 0.69f, 1.0f), "VRENN ONDREL");
    MoveCursorDown(5.0f);
    const ImVec2 lineAt = ImGui::GetCursorScreenPos();
    dl->AddLine(ImVec2(lineAt.x + 11.0f, lineAt.y), ImVec2(lineAt.x + 11.0f + F, lineAt.y), IM_COL32(227, 77, 203, 65),
                1.0f);
    MoveCursorDown(15.0f);

    // EMAIL and SENHA
    ImGui::SetCursorPosX(11.0f);
    ImGui::TextColored(kLabelColor, "EMAIL");
    ImGui::SetCursorPosX(11.0f);
    ImGui::PushItemWidth(F);
    ImGui::InputText("##User", emailBuf, sizeof(emailBuf));
    if (emailBuf[0] == '\0') DrawPlaceholder("jogador@exemplo.com");
    MoveCursorDown(5.0f);
    ImGui::SetCursorPosX(11.0f);
    ImGui::TextColored(kLabelColor, "SENHA");
    ImGui::SetCursorPosX(11.0f);
    ImGui::InputText("##Pass", passwordBuf, sizeof(passwordBuf), ImGuiInputTextFlags_Password);
    if (passwordBuf[0] == '\0') {
        // Eight bullets; the fallback font has none, so asterisks like the masked text then.
        DrawPlaceholder(ImGui::GetFont()->IsGlyphInFont(0x2022) ? "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022"
                                                                 : "********");
    }
    ImGui::PopItemWidth();

    ImGui::SetCursorPosX(11.0f);
    ImGui::Checkbox("LEMBRAR DE MIM", &rememberMe);
    MoveCursorDown(4.0f);

    // Google section
    if (googleEnabled) {
        const char* orText = "OU CONTINUE COM";
        const ImVec2 at = ImGui::GetCursorScreenPos();
        const float tw = ImGui::CalcTextSize(orText).x;
        dl->AddText(ImVec2(at.x + (W - tw) * 0.5f, at.y), IM_COL32(130, 116, 146, 215), orText);
        ImGui::Dummy(ImVec2(W, 23.0f));
        if (GoogleButton(dl, W)) {
            // The embedded page first; the synchronous sign-in when it cannot open.
            if (!OpenLoginModal() && DoGoogleLogin() && !servers.empty()) selectedServer = 0;
        }
    }

    MoveCursorDown(8.0f);
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const ImVec2 buttonPos(at.x + 11.0f, at.y);
    const ImVec2 buttonSize(F, 44.0f);
    const bool clicked = DrawPremiumButton(dl, "##LoginBtn", "ENTRAR NA CONTA", buttonPos, buttonSize, time, true);

    // Queried every frame, so a press made while another window had focus is
    // consumed there and does not log in later.
    const bool returnPressed = returnGate.FreshPress(static_cast<uint16_t>(GetAsyncKeyState(VK_RETURN)));
    const bool enter = returnPressed && ImGui::IsWindowFocused();

    if (clicked || enter) {
        {
            std::lock_guard<std::mutex> lock(stateMutex);
            state = LauncherState::Idle;
        }
        SetStatus("AUTENTICANDO...", false);
        // The one copy of the password besides the field: the login and the
        // store read it, a failure restores the field from it, and it is
        // wiped when it goes.
        const SecretText keptPassword{std::string_view(passwordBuf)};
        std::string error;
        const bool ok = patchManager != nullptr &&
                        patchManager->Authenticate(emailBuf, keptPassword.str(), userId, sessionToken, webRootUrl,
                                                   servers, error);
        if (ok) {
            loggedIn = true;
            if (rememberMe)
                SaveCredentialsRegistry(emailBuf, keptPassword.str());
            else
                DeleteCredentialsRegistry();
            WipePassword();
            SetStatus("CONECTADO.", false);
            if (!servers.empty()) selectedServer = 0;
        } else {
            const std::string& kept = keptPassword.str();
            const size_t n = std::min(kept.size(), sizeof(passwordBuf) - 1);
            std::memcpy(passwordBuf, kept.data(), n);
            passwordBuf[n] = '\0';
            SetStatus(error.empty() ? std::string("FALHA NA AUTENTICAÇÃO.") : error, true);
        }
    }

    ImGui::PopStyleVar();
    ImGui::EndChild();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar();
}
