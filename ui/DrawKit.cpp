#include "ui/DrawKit.h"

#include <algorithm>
#include <cmath>

#include "ui/UIManager.h"

ImU32 ScaleAlpha(ImU32 colour, float factor) {
    const float alpha = static_cast<float>((colour >> IM_COL32_A_SHIFT) & 0xFF) * factor;
    const ImU32 a = static_cast<ImU32>(static_cast<int>(alpha)) & 0xFF;
    return (colour & ~IM_COL32_A_MASK) | (a << IM_COL32_A_SHIFT);
}

void draw_sparkle(ImDrawList* dl, float time, float x, float y, float amplitude, ImU32 colour, float radius,
                  float speed, float phase, float alphaScale) {
    const float dy = amplitude * std::sin(time * speed + phase);
    dl->AddCircleFilled(ImVec2(x, y + dy), radius, ScaleAlpha(colour, alphaScale), 6);
}

void draw_glitter_star(ImDrawList* dl, float time, float x, float y, float size, ImU32 colour) {
    const float twinkle = 0.55f + 0.45f * std::sin(time * 5.8f + x * 0.03f + y * 0.02f);
    const ImU32 c = ScaleAlpha(colour, twinkle);
    const float d = 0.7f * size;
    dl->AddLine(ImVec2(x - size, y), ImVec2(x + size, y), c, 1.2f);
    dl->AddLine(ImVec2(x, y - size), ImVec2(x, y + size), c, 1.0f);
    dl->AddLine(ImVec2(x - d, y - d), ImVec2(x + d, y + d), c, 1.0f);
    dl->AddLine(ImVec2(x - d, y + d), ImVec2(x + d, y - d), c, 1.0f);
}

void ThemedTooltip(const char* text) {
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 8.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(10, 7));
    ImGui::PushStyleColor(ImGuiCol_PopupBg, ImVec4(0.13f, 0.05f, 0.25f, 0.97f));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(1.0f, 0.33f, 0.84f, 0.90f));
    ImGui::BeginTooltip();
    ImGui::TextColored(ImVec4(0.98f, 0.94f, 1.0f, 1.0f), "%s", text);
    ImGui::EndTooltip();
    ImGui::PopStyleColor(2);
    ImGui::PopStyleVar(2);
}

void DrawPanelFrame(ImDrawList* dl, float time, const ImVec2& min, const ImVec2& max, float r) {
    const float p = 0.5f + 0.5f * std::sin(2.0f * time);
    const ImU32 c1 = IM_COL32(255, 84, 214, static_cast<int>(182.0f + 28.0f * p));
    const ImU32 c2 = IM_COL32(255, 142, 235, static_cast<int>(150.0f + 32.0f * p));
    const float accent = std::min(0.3f * (max.x - min.x), 118.0f);

    dl->AddRectFilled(ImVec2(min.x + 4, min.y + 7), ImVec2(max.x + 4, max.y + 7), IM_COL32(16, 4, 30, 88), r + 2);
    dl->AddRectFilled(min, max, IM_COL32(30, 10, 56, 188), r);
    dl->AddRectFilled(ImVec2(min.x - 1, min.y - 1), ImVec2(max.x + 1, max.y + 1), IM_COL32(255, 92, 230, 16), r + 1);
    dl->AddRectFilled(ImVec2(min.x + 1, min.y + 1), ImVec2(max.x - 1, max.y - 1), IM_COL32(102, 28, 138, 34),
                      std::max(r - 1, 0.0f));
    dl->AddRectFilled(ImVec2(min.x + 2, min.y + 2), ImVec2(max.x - 2, min.y + 62), IM_COL32(146, 34, 164, 28),
                      std::max(r - 2, 0.0f));
    dl->AddRect(min, max, c1, r, 0, 1.35f);
    dl->AddRect(ImVec2(min.x + 0.5f, min.y + 0.5f), ImVec2(max.x - 0.5f, max.y - 0.5f), c2, r, 0, 0.85f);
    const ImU32 cyan = IM_COL32(84, 225, 255, 175);
    dl->AddRectFilledMultiColor(ImVec2(min.x + 18, min.y), ImVec2(min.x + 18 + accent, min.y + 2), c2, cyan, cyan, c2);
    dl->AddCircleFilled(ImVec2(max.x - 18, min.y + 14), 2.0f, IM_COL32(255, 255, 255, 140));
    dl->AddCircleFilled(ImVec2(max.x - 31, min.y + 11), 1.5f, IM_COL32(255, 140, 240, 185));
}

bool DrawPremiumButton(ImDrawList* dl, const char* id, const char* label, const ImVec2& pos, const ImVec2& size,
                       float time, bool primary) {
    const ImVec2 max(pos.x + size.x, pos.y + size.y);
    const bool hovered = ImGui::IsMouseHoveringRect(pos, max, true);
    const float p = 0.5f + 0.5f * std::sin(8.0f * time);

    ImU32 fill, border;
    if (primary) {
        fill = hovered ? IM_COL32(210, 46, 185, 255) : IM_COL32(135, 26, 152, 255);
        border = hovered ? IM_COL32(255, 174, 246, 255) : IM_COL32(255, 108, 228, 245);
    } else {
        fill = hovered ? IM_COL32(66, 74, 168, 255) : IM_COL32(40, 46, 98, 248);
        border = hovered ? IM_COL32(140, 236, 255, 255) : IM_COL32(84, 184, 245, 235);
    }

    dl->AddRectFilled(ImVec2(pos.x + 2, pos.y + 4), ImVec2(max.x + 2, max.y + 4), IM_COL32(18, 2, 32, 142), 10.0f);
    dl->AddRectFilled(pos, max, fill, 10.0f);
    dl->AddRect(pos, max, border, 10.0f, 0, hovered ? 1.8f : 1.2f);
    const ImU32 highlight =
        hovered ? IM_COL32(255, 255, 255, static_cast<int>(52.0f + 24.0f * p)) : IM_COL32(255, 255, 255, 22);
    dl->AddRectFilled(ImVec2(pos.x + 10, pos.y + 1), ImVec2(max.x - 10, pos.y + 2), highlight, 2.0f);
    dl->AddRectFilled(ImVec2(pos.x + 1, pos.y + 1), ImVec2(max.x - 1, max.y - 1),
                      hovered ? IM_COL32(255, 255, 255, 10) : IM_COL32(255, 255, 255, 5), 9.0f);
    if (hovered)
        dl->AddRectFilled(ImVec2(pos.x - 2, pos.y - 2), ImVec2(max.x + 2, max.y + 2),
                          primary ? IM_COL32(255, 104, 230, 24) : IM_COL32(84, 218, 255, 18), 12.0f);

    const ImVec2 text = ImGui::CalcTextSize(label);
    dl->AddText(ImVec2(pos.x + (size.x - text.x) / 2, pos.y + (size.y - text.y) / 2 - 1),
                hovered ? IM_COL32(255, 255, 255, 255) : IM_COL32(247, 232, 250, 255), label);

    ImGui::SetCursorScreenPos(pos);
    return ImGui::InvisibleButton(id, size);
}

void UIManager::RenderBackground(ImDrawList* dl, float time, float w, float h) {
    dl->AddRectFilledMultiColor(ImVec2(0, 0), ImVec2(w, h), IM_COL32(30, 11, 51, 255), IM_COL32(13, 19, 47, 255),
                                IM_COL32(13, 10, 30, 255), IM_COL32(55, 12, 58, 255));

    // Soft glows.
    dl->AddCircleFilled(ImVec2(0.10f * w, 0.18f * h), 210.0f, IM_COL32(233, 34, 185, 16), 64);
    dl->AddCircleFilled(ImVec2(0.92f * w, 0.36f * h), 240.0f, IM_COL32(34, 167, 255, 13), 64);
    dl->AddCircleFilled(ImVec2(0.50f * w, 1.06f * h), 280.0f, IM_COL32(157, 44, 213, 12), 64);

    // Equaliser bars standing on y = 80.
    const float p = 0.5f + 0.5f * std::sin(2.2f * time);
    for (int i = 0; i < 9; ++i) {
        const float x = 40.0f + 17.0f * static_cast<float>(i);
        const float bar = static_cast<float>(2 + i % 3) * p + static_cast<float>((7 * i) % 13) + 3.0f;
        const ImU32 c = i % 2 == 0 ? IM_COL32(255, 91, 218, 70) : IM_COL32(72, 211, 255, 70);
        dl->AddRectFilled(ImVec2(x, 80.0f - bar), ImVec2(x + 3.0f, 80.0f), c, 2.0f);
    }

    draw_sparkle(dl, time, 0.37f * w, 34, 4, IM_COL32(255, 230, 250, 190), 1.6f, 2.1f, 0.0f, 1.0f);
    draw_sparkle(dl, time, 0.66f * w, 67, 3, IM_COL32(103, 219, 255, 150), 1.3f, 1.8f, 1.4f, 1.0f);

    draw_glitter_star(dl, time, 0.22f * w, 52, 3.2f, IM_COL32(255, 170, 240, 210));
    draw_glitter_star(dl, time, 0.48f * w, 28, 2.4f, IM_COL32(110, 232, 255, 190));
    draw_glitter_star(dl, time, 0.83f * w, 88, 2.8f, IM_COL32(255, 240, 255, 180));
    draw_glitter_star(dl, time, 0.73f * w, 162, 2.2f, IM_COL32(255, 112, 225, 190));
    draw_glitter_star(dl, time, 0.15f * w, 185, 2.0f, IM_COL32(101, 222, 255, 160));
}
