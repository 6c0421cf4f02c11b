#include "support/HeadlessImGui.h"

#include <imgui_internal.h>

std::map<ImU32, ColourBox> ColoursSince(const ImDrawList* list, int from) {
    std::map<ImU32, ColourBox> out;
    for (int i = from; i < list->VtxBuffer.Size; ++i) {
        const ImDrawVert& v = list->VtxBuffer[i];
        if ((v.col & IM_COL32_A_MASK) == 0) continue;
        ColourBox& b = out[v.col];
        b.min = ImVec2(ImMin(b.min.x, v.pos.x), ImMin(b.min.y, v.pos.y));
        b.max = ImVec2(ImMax(b.max.x, v.pos.x), ImMax(b.max.y, v.pos.y));
        ++b.vertices;
    }
    return out;
}

std::map<ImU32, ColourBox> ColoursOfFrame() {
    std::map<ImU32, ColourBox> out;
    ImDrawData* data = ImGui::GetDrawData();
    if (!data) return out;
    for (const ImDrawList* list : data->CmdLists)
        for (const auto& [col, box] : ColoursSince(list)) {
            ColourBox& b = out[col];
            b.min = ImVec2(ImMin(b.min.x, box.min.x), ImMin(b.min.y, box.min.y));
            b.max = ImVec2(ImMax(b.max.x, box.max.x), ImMax(b.max.y, box.max.y));
            b.vertices += box.vertices;
        }
    return out;
}

HeadlessImGui::HeadlessImGui(float width, float height) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(width, height);
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
    io.Fonts->AddFontDefault();
}

HeadlessImGui::~HeadlessImGui() { ImGui::DestroyContext(); }

void HeadlessImGui::BeginFrame(double time, ImVec2 mouse, bool mouseDown, bool openWindow) {
    ImGuiIO& io = ImGui::GetIO();
    io.DeltaTime = 1.0f / 60.0f;
    io.AddMousePosEvent(mouse.x, mouse.y);
    io.AddMouseButtonEvent(0, mouseDown);
    ImGui::NewFrame();
    ImGui::GetCurrentContext()->Time = time;
    windowOpen = openWindow;
    if (openWindow) {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(io.DisplaySize);
        ImGui::Begin("headless", nullptr,
                     ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoSavedSettings);
    }
}

void HeadlessImGui::EndFrame() {
    if (windowOpen) ImGui::End();
    windowOpen = false;
    ImGui::Render();
}
