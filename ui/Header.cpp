// The band across the top: title, subtitle, slogan, sparkles and the three
// buttons (repair, minimise, close). The band is also the caption drag zone.
#include <windows.h>

#include <cfloat>
#include <cmath>

#include "ui/DrawKit.h"
#include "ui/UIManager.h"

namespace {

const char kSlogan[] = "JOGUE  |  VENÇA  |  BRILHE";

}  // namespace

void UIManager::RenderHeader(ImDrawList* dl, float w) {
    const float t = static_cast<float>(ImGui::GetTime());

    // Band and its two bottom lines.
    dl->AddRectFilledMultiColor(ImVec2(7, 7), ImVec2(w - 7, 98), IM_COL32(70, 16, 95, 240), IM_COL32(19, 33, 84, 240),
                                IM_COL32(15, 16, 44, 232), IM_COL32(68, 14, 74, 236));
    dl->AddLine(ImVec2(30, 97), ImVec2(w - 30, 97), IM_COL32(255, 88, 230, 96), 1.0f);
    dl->AddLine(ImVec2(30, 98.5f), ImVec2(w - 30, 98.5f), IM_COL32(76, 224, 255, 58), 1.0f);

    // Title: two words at 34 px; the second follows the first's measured width.
    ImFont* font = titleFont ? titleFont : ImGui::GetFont();
    const float size = 34.0f;
    const char* word1 = "VRENN";
    const char* word2 = "ONDREL";
    const float w1 = font->CalcTextSizeA(size, FLT_MAX, 0.0f, word1).x;
    const float w2 = font->CalcTextSizeA(size, FLT_MAX, 0.0f, word2).x;
    const ImVec2 o1(30, 18);
    const ImVec2 o2(30 + w1 + 10, 18);
    const float titleWidth = (o2.x + w2) - 30;

    const int g = static_cast<int>(40.0f + 80.0f * (0.5f + 0.5f * std::sin(1.8f * t)));
    struct Pass {
        float dx, dy;
        ImU32 c1, c2;
    };
    const Pass passes[] = {
        {3, 4, IM_COL32(5, 1, 12, 160), IM_COL32(5, 1, 12, 160)},
        {0, 0, IM_COL32(255, 139, 228, 255), IM_COL32(69, 214, 255, 255)},
        {1, 1, IM_COL32(255, 255, 255, 36), IM_COL32(255, 255, 255, 36)},
        {-2, 0, IM_COL32(255, 139, 228, g), IM_COL32(69, 214, 255, g)},
        {2, 0, IM_COL32(255, 139, 228, g / 3), IM_COL32(69, 214, 255, g / 3)},
        {0, -2, IM_COL32(255, 200, 245, g / 2), IM_COL32(200, 240, 255, g / 2)},
        {0, -1, IM_COL32(255, 200, 245, 80), IM_COL32(200, 240, 255, 80)},
    };
    for (const Pass& p : passes) {
        dl->AddText(font, size, ImVec2(o1.x + p.dx, o1.y + p.dy), p.c1, word1);
        dl->AddText(font, size, ImVec2(o2.x + p.dx, o2.y + p.dy), p.c2, word2);
    }

    // Sparkles that follow the title.
    const float s = 0.4f + 0.6f * std::fabs(std::sin(2.5f * t));
    draw_sparkle(dl, t, 30 + 0.15f * titleWidth, 14, 3.0f, IM_COL32(255, 180, 240, static_cast<int>(200 * s)), 1.8f,
                 2.8f, 0.0f, 1.0f);
    draw_sparkle(dl, t, 30 + 0.45f * titleWidth, 54, 2.5f, IM_COL32(120, 220, 255, static_cast<int>(180 * s)), 1.5f,
                 2.2f, 1.2f, 1.0f);
    draw_sparkle(dl, t, 30 + 0.75f * titleWidth, 22, 3.5f, IM_COL32(255, 240, 255, static_cast<int>(220 * s)), 2.0f,
                 1.9f, 2.5f, 1.0f);
    draw_sparkle(dl, t, o2.x + 0.5f * w2, 55, 2.0f, IM_COL32(100, 230, 255, static_cast<int>(160 * s)), 1.3f, 3.1f,
                 0.8f, 1.0f);

    // Subtitle and slogan in the body font.
    dl->AddText(ImVec2(31, 57), IM_COL32(236, 214, 248, 225), "LAUNCHER OFICIAL");
    dl->AddCircleFilled(ImVec2(168, 65), 2.0f, IM_COL32(255, 105, 219, 205));
    dl->AddText(ImVec2(177, 57), IM_COL32(144, 185, 213, 190), kSlogan);

    draw_sparkle(dl, t, 375, 22, 4.0f, IM_COL32(255, 108, 227, 230), 2.2f, 2.6f, 0.5f, 1.0f);
    draw_sparkle(dl, t, 420, 48, 3.0f, IM_COL32(76, 223, 255, 220), 1.8f, 2.1f, 1.7f, 1.0f);
    draw_sparkle(dl, t, 270, 30, 2.5f, IM_COL32(255, 240, 255, 200), 1.4f, 1.9f, 2.2f, 1.0f);

    dl->AddRectFilledMultiColor(ImVec2(30, 82), ImVec2(294, 84), IM_COL32(255, 107, 225, 220),
                                IM_COL32(71, 214, 255, 155), IM_COL32(71, 214, 255, 155), IM_COL32(255, 107, 225, 0));
    draw_sparkle(dl, t, 315, 30, 3.0f, IM_COL32(255, 236, 252, 210), 1.8f, 2.4f, 0.0f, 1.0f);

    // Buttons.
    if (DrawPremiumButton(dl, "##RepairGame", "REPARAR JOGO", ImVec2(w - 238, 20), ImVec2(136, 34), t, true))
        TriggerRepair();
    if (DrawPremiumButton(dl, "##Minimize", "_", ImVec2(w - 88, 20), ImVec2(28, 34), t, false))
        ShowWindow(hwnd, SW_MINIMIZE);
    if (DrawPremiumButton(dl, "##Close", "X", ImVec2(w - 50, 20), ImVec2(28, 34), t, false))
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
}
