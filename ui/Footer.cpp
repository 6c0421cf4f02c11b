// The status bar: status dot and text, the ready text, and the progress bar
// while a patch run is busy. Drawn from one snapshot of the patch state.
#include <imgui.h>

#include "ui/FrameLayout.h"
#include "ui/UIManager.h"

void UIManager::RenderFooter(ImDrawList* dl, float w, float h, float paddingX, float footerHeight) {
    const float top = h - footerHeight;
    dl->AddRectFilled(ImVec2(7, top), ImVec2(w - 7, h - 7), IM_COL32(10, 8, 26, 240));
    dl->AddLine(ImVec2(18, top), ImVec2(w - 18, top), IM_COL32(89, 204, 255, 44), 1.0f);

    LauncherState snapState;
    float snapProgress;
    std::string snapText;
    bool snapError;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        snapState = state;
        snapProgress = progress;
        snapText = statusText;
        snapError = statusIsError;
    }

    ImGui::SetCursorScreenPos(ImVec2(18, top));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(paddingX, 0));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, ImVec4(0, 0, 0, 0));
    ImGui::BeginChild("Footer", ImVec2(w - 36, footerHeight - 7), ImGuiChildFlags_None,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);

    const float lineHeight = ImGui::GetTextLineHeight();
    ImGui::SetCursorPos(ImVec2(18, (footerHeight - lineHeight) / 2));
    const ImVec2 c = ImGui::GetCursorScreenPos();
    dl->AddCircleFilled(ImVec2(c.x - 9, c.y + lineHeight / 2), 3.5f,
                        snapError ? IM_COL32(255, 82, 104, 255) : IM_COL32(67, 226, 157, 255));

    if (snapError)
        ImGui::TextColored(ImVec4(1.0f, 0.38f, 0.46f, 1.0f), "%s", snapText.c_str());
    else if (snapState == LauncherState::Idle && snapText.empty())
        ImGui::TextColored(ImVec4(0.70f, 0.64f, 0.76f, 0.95f), "PRONTO PARA JOGAR");
    else
        ImGui::TextColored(ImVec4(0.82f, 0.75f, 0.87f, 0.98f), "%s", snapText.c_str());

    if (IsBusyState(snapState)) {
        // The child's content-region right edge, in its own coordinates.
        const float contentMaxX = ImGui::GetCursorPosX() + ImGui::GetContentRegionAvail().x;
        ImGui::SetCursorPos(ImVec2(contentMaxX - 205, (footerHeight - 24) / 2));
        ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 5.0f);
        ImGui::PushStyleColor(ImGuiCol_PlotHistogram, ImVec4(0.9f, 0.25f, 0.75f, 1.0f));
        const std::string overlay = ProgressOverlay(snapProgress);
        ImGui::ProgressBar(snapProgress, ImVec2(190, 24), overlay.c_str());
        ImGui::PopStyleColor();
        ImGui::PopStyleVar();
    }

    ImGui::EndChild();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar();
}
