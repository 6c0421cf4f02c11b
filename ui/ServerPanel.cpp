// The right-hand column of a signed-in player: the server cards, "SAIR" and
// "ENTRAR NO JOGO" with the session refresh and the game start.
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "patch/SecureWipe.h"
#include "ui/CredentialStore.h"
#include "ui/DrawKit.h"
#include "ui/ImGuiWipe.h"
#include "ui/StoredText.h"
#include "ui/UIManager.h"

namespace {

enum class ServerClass { Closed, Busy, Open };

ServerClass ClassOf(const std::string& status) {
    if (status == "Manutenção" || status == "Offline") return ServerClass::Closed;
    if (status == "Cheio" || status == "Congestionado") return ServerClass::Busy;
    return ServerClass::Open;
}

// RGB of the status dot; the rings reuse it with their own alpha.
void ClassColor(ServerClass cls, int& r, int& g, int& b) {
    switch (cls) {
    case ServerClass::Closed: r = 110, g = 110, b = 120; break;
    case ServerClass::Busy: r = 255, g = 60, b = 100; break;
    case ServerClass::Open: r = 50, g = 230, b = 110; break;
    }
}

ImU32 Alpha(int r, int g, int b, float a) { return IM_COL32(r, g, b, static_cast<int>(a)); }

// Empties a session text and gives its storage back, its bytes zeroed first.
void Release(std::string& s) {
    WipeText(s);
    std::string().swap(s);
}

}  // namespace

void UIManager::RenderServerPanel(ImDrawList* dl, float width, float height, float x, float y, float time) {
    DrawPanelFrame(dl, time, ImVec2(x, y), ImVec2(x + width, y + height), 14.0f);
    ImGui::SetCursorScreenPos(ImVec2(x + 16.0f, y + 16.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    ImGui::BeginChild("RightPanel", ImVec2(width - 32.0f, height - 32.0f), ImGuiChildFlags_None,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, panelAlpha);

    ImGui::TextColored(ImVec4(1.0f, 0.52f, 0.9f, 1.0f), "ESCOLHA SEU SERVIDOR");
    RenderLogoutButton(dl);

    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + 4.0f);
    const ImVec2 lineAt = ImGui::GetCursorScreenPos();
    dl->AddLine(lineAt, ImVec2(lineAt.x + ImGui::GetContentRegionAvail().x, lineAt.y), IM_COL32(229, 80, 204, 75),
                1.0f);
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + 12.0f);

    RenderServerList(dl, time);
    if (!servers.empty()) RenderStartGameButton(dl, time);

    ImGui::PopStyleVar();
    ImGui::EndChild();
    ImGui::PopStyleVar();
}

void UIManager::RenderLogoutButton(ImDrawList* dl) {
    ImGui::SameLine(0.0f, -1.0f);
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + ImGui::GetContentRegionAvail().x - 68.0f);
    const ImVec2 p = ImGui::GetCursorScreenPos();
    const ImVec2 size(65.0f, 24.0f);
    const ImVec2 end(p.x + size.x, p.y + size.y);
    const bool hovered = ImGui::IsMouseHoveringRect(p, end);

    dl->AddRectFilled(p, end, hovered ? IM_COL32(180, 40, 150, 160) : IM_COL32(80, 20, 70, 80), 6.0f);
    dl->AddRect(p, end, hovered ? IM_COL32(255, 120, 230, 220) : IM_COL32(180, 80, 160, 90), 6.0f, 0, 1.0f);
    const ImVec2 ts = ImGui::CalcTextSize("SAIR");
    dl->AddText(ImVec2(p.x + (size.x - ts.x) / 2.0f, p.y + (size.y - ts.y) / 2.0f - 1.0f),
                hovered ? IM_COL32(255, 255, 255, 255) : IM_COL32(240, 200, 240, 220), "SAIR");

    ImGui::SetCursorScreenPos(p);
    if (!ImGui::InvisibleButton("##SairBtn", size)) return;

    // Logout: the session ends locally; the stored credentials stay.
    loggedIn = false;
    servers.clear();
    Release(sessionToken);
    Release(userId);
    Release(webRootUrl);
    std::string login, password;
    if (rememberMe && LoadCredentialsRegistry(login, password)) {
        CopyToField(emailBuf, sizeof(emailBuf), login);
        CopyToField(passwordBuf, sizeof(passwordBuf), password);
        WipeImGuiTextFields();
    } else {
        WipePassword();
    }
    WipeText(password);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        state = LauncherState::Idle;
    }
    SetStatus("Sessão encerrada.", false);
}

void UIManager::RenderServerList(ImDrawList* dl, float time) {
    const float listHeight = ImGui::GetContentRegionAvail().y - 65.0f;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0.0f, 8.0f));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, IM_COL32(0, 0, 0, 0));
    ImGui::PushStyleColor(ImGuiCol_Border, IM_COL32(0, 0, 0, 0));
    ImGui::BeginChild("ServerList", ImVec2(0.0f, listHeight));

    // The card shapes go to the background list: keep them inside the list's
    // visible area, off the start button and off cards scrolled out of view.
    const ImVec2 visibleMin = ImGui::GetWindowPos();
    const ImVec2 visibleSize = ImGui::GetWindowSize();
    dl->PushClipRect(visibleMin, ImVec2(visibleMin.x + visibleSize.x, visibleMin.y + visibleSize.y), true);
    for (int32_t i = 0; i < static_cast<int32_t>(servers.size()); ++i) RenderServerCard(dl, i, time);
    dl->PopClipRect();

    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    ImGui::PopStyleVar();
}

void UIManager::RenderServerCard(ImDrawList* dl, int32_t index, float time) {
    if (index < 0 || index >= static_cast<int32_t>(servers.size())) return;
    const GameServer& server = servers[index];

    const ImVec2 cursor = ImGui::GetCursorScreenPos();
    const ImVec2 p0(cursor.x + 6.0f, cursor.y);
    const float w = ImGui::GetContentRegionAvail().x - 12.0f;
    const ImVec2 p1(p0.x + w, p0.y + 50.0f);
    const bool selected = index == selectedServer;
    const bool hovered = ImGui::IsMouseHoveringRect(p0, p1);

    // Hover value: a full fade takes 1/8 s.
    float& a = cardHover[server.id];
    const float dt = ImGui::GetIO().DeltaTime;
    a = (hovered || selected) ? std::min(a + 8.0f * dt, 1.0f) : std::max(a - 8.0f * dt, 0.0f);

    dl->AddRectFilled(p0, p1, IM_COL32(30, 15, 45, 120), 8.0f);
    dl->AddRect(p0, p1, IM_COL32(185, 14, 154, 45), 8.0f, 0, 1.0f);
    if (a > 0.001f) {
        if (selected) {
            dl->AddRectFilledMultiColor(p0, p1, Alpha(180, 30, 160, 130.0f * a), Alpha(220, 40, 180, 130.0f * a),
                                        Alpha(100, 15, 80, 45.0f * a), Alpha(60, 10, 60, 45.0f * a));
            const float pulse = 0.85f + 0.15f * std::sin(4.0f * time);
            dl->AddRect(p0, p1, Alpha(255, 100, 220, a * (115.0f * pulse + 140.0f)), 8.0f, 0, 1.8f);
            dl->AddRect(ImVec2(p0.x - 1.0f, p0.y - 1.0f), ImVec2(p1.x + 1.0f, p1.y + 1.0f),
                        Alpha(255, 100, 220, a * 40.0f * pulse), 8.0f, 0, 1.0f);
        } else {
            dl->AddRectFilled(p0, p1, Alpha(160, 40, 140, 80.0f * a), 8.0f);
            dl->AddRect(p0, p1, Alpha(255, 100, 220, 100.0f * a), 8.0f, 0, 1.2f);
        }
    }

    // Status dot and rings
    const ServerClass cls = ClassOf(server.status);
    int r = 0, g = 0, b = 0;
    ClassColor(cls, r, g, b);
    const ImVec2 c(p0.x + 20.0f, p0.y + 25.0f);
    dl->AddCircleFilled(c, 5.0f, IM_COL32(r, g, b, 255));
    if (cls != ServerClass::Closed) {
        const float f = cls == ServerClass::Busy ? 6.0f : 3.5f;
        const float ph = 0.5f + 0.5f * std::sin(time * f);
        dl->AddCircle(c, 6.5f + 4.5f * ph, Alpha(r, g, b, 160.0f * (1.0f - ph)), 0, 1.2f);
    }
    if (selected || hovered) {
        const float ph2 = 0.5f + 0.5f * std::sin(5.0f * time + static_cast<float>(index));
        dl->AddCircle(c, 6.0f + 2.5f * ph2, Alpha(r, g, b, 180.0f * (1.0f - ph2)), 0, 1.2f);
    }

    // Name and "NOVO" badge
    ImGui::SetCursorScreenPos(ImVec2(p0.x + 36.0f, p0.y + (50.0f - ImGui::GetTextLineHeight()) / 2.0f));
    const ImVec4 nameColor = selected  ? ImVec4(1.0f, 0.95f, 0.98f, 1.0f)
                             : hovered ? ImVec4(0.95f, 0.88f, 0.98f, 1.0f)
                                       : ImVec4(0.85f, 0.78f, 0.90f, 1.0f);
    ImGui::TextColored(nameColor, "%s", server.name.c_str());
    if (server.isNew) {
        ImGui::SameLine(0.0f, 8.0f);
        const ImVec2 at = ImGui::GetCursorScreenPos();
        const ImVec2 b0(at.x, at.y + 1.0f);
        const ImVec2 s = ImGui::CalcTextSize("NOVO");
        const ImVec2 badgeSize(s.x + 10.0f, s.y + 3.0f);
        const ImVec2 b1(b0.x + badgeSize.x, b0.y + badgeSize.y);
        dl->AddRectFilled(b0, b1, IM_COL32(230, 40, 180, 40), 4.0f);
        dl->AddRect(b0, b1, IM_COL32(255, 100, 220, 160), 4.0f, 0, 1.0f);
        dl->AddText(ImVec2(b0.x + 5.0f, b0.y + 1.5f), IM_COL32(255, 230, 250, 255), "NOVO");
        ImGui::Dummy(badgeSize);
    }

    ImGui::SetCursorScreenPos(p0);
    const std::string id = "##srv" + std::to_string(index);
    if (ImGui::InvisibleButton(id.c_str(), ImVec2(w, 50.0f))) selectedServer = index;
}

void UIManager::RenderStartGameButton(ImDrawList* dl, float time) {
    const float avail = ImGui::GetContentRegionAvail().x;
    const float bw = std::min(300.0f, avail);
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const ImVec2 pos(at.x + (avail - bw) / 2.0f, at.y);
    const ImVec2 size(bw, 46.0f);
    const bool clicked = DrawPremiumButton(dl, "##StartGame", "ENTRAR NO JOGO", pos, size, time, true);
    if (!clicked || selectedServer < 0 || selectedServer >= static_cast<int32_t>(servers.size())) return;

    // Copied: a failed refresh clears the list.
    const GameServer server = servers[selectedServer];
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        state = LauncherState::Idle;
    }

    std::string signature, error;
    if (patchManager == nullptr || !patchManager->Reauth(userId, sessionToken, signature, error)) {
        loggedIn = false;
        servers.clear();
        WipePassword();
        Release(sessionToken);
        Release(userId);
        Release(webRootUrl);
        SetStatus("SESSÃO EXPIRADA.", true);
        return;
    }

    sessionToken = signature;
    Release(signature);
    SetStatus("INICIANDO O JOGO...", false);
    const std::string username(emailBuf);
    std::string launchError;
    if (patchManager->LaunchGame(server.ip, server.port, userId, username, sessionToken, server.name, server.id,
                                 webRootUrl, launchError)) {
        WipePassword();
        Release(sessionToken);
        ShowWindow(hwnd, SW_HIDE);
        gameRunning = true;
        SetStatus("JOGO EM EXECUÇÃO.", false);
        return;
    }
    SetStatus(launchError.empty() ? std::string("ERRO AO INICIAR O EXECUTÁVEL DO JOGO!") : launchError, true);
}
