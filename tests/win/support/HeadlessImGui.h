#pragma once
// A Dear ImGui context with no window and no renderer: frames are built at a
// chosen time and mouse state, and their draw lists are read back as the
// colours and bounding boxes of the vertices each drawing call added.
#include <imgui.h>

#include <map>

struct ColourBox {
    ImVec2 min{1e9f, 1e9f};
    ImVec2 max{-1e9f, -1e9f};
    int vertices = 0;
};

// Vertices from index `from` on, grouped by colour; fully transparent ones
// (anti-aliasing fringes) are left out.
std::map<ImU32, ColourBox> ColoursSince(const ImDrawList* list, int from = 0);
// The same over every draw list of the last rendered frame.
std::map<ImU32, ColourBox> ColoursOfFrame();

class HeadlessImGui {
public:
    HeadlessImGui(float width = 1024, float height = 615);
    ~HeadlessImGui();
    HeadlessImGui(const HeadlessImGui&) = delete;
    HeadlessImGui& operator=(const HeadlessImGui&) = delete;

    // Starts a frame at `time` seconds with the mouse at `mouse` (button 0 as given)
    // and opens a full-display window like the launcher's.
    void BeginFrame(double time = 0.0, ImVec2 mouse = ImVec2(-1e6f, -1e6f), bool mouseDown = false,
                    bool openWindow = true);
    // Closes the window (when opened) and renders.
    void EndFrame();

private:
    bool windowOpen = false;
};
