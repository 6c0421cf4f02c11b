// The news column: header with the text-size buttons, then up to four cards
// or a notice when there is no news.
#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <string_view>

#include "ui/DrawKit.h"
#include "ui/NewsLayout.h"
#include "ui/UIManager.h"

namespace {

// One of the two small "A-" / "A+" buttons; true when clicked.
bool FontSizeButton(ImDrawList* dl, const char* id, const char* label, const ImVec2& pos) {
    const ImVec2 size(26.0f, 22.0f);
    const ImVec2 end(pos.x + size.x, pos.y + size.y);
    const bool hovered = ImGui::IsMouseHoveringRect(pos, end);
    dl->AddRectFilled(pos, end, hovered ? IM_COL32(52, 21, 70, 238) : IM_COL32(28, 14, 47, 226), 6.0f);
    dl->AddRect(pos, end, hovered ? IM_COL32(94, 210, 255, 155) : IM_COL32(225, 81, 204, 82), 6.0f, 0, 1.0f);
    const ImVec2 ts = ImGui::CalcTextSize(label);
    dl->AddText(ImVec2(pos.x + (size.x - ts.x) * 0.5f, pos.y + (size.y - ts.y) * 0.5f), IM_COL32(249, 241, 252, 255),
                label);
    ImGui::SetCursorScreenPos(pos);
    return ImGui::InvisibleButton(id, size);
}

}  // namespace

void UIManager::RenderNewsPanel(ImDrawList* dl, float width, float height, float x, float y) {
    // Frame and child window (a still frame: time 0)
    const ImVec2 frameMin(x, y), frameMax(x + width, y + height);
    DrawPanelFrame(dl, 0.0f, frameMin, frameMax, 14.0f);

    const float cw = width - 32.0f, ch = height - 32.0f;
    ImGui::SetCursorScreenPos(ImVec2(x + 16.0f, y + 16.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0.0f, 4.0f));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, IM_COL32(0, 0, 0, 0));
    ImGui::BeginChild("LeftPanel", ImVec2(cw, ch), ImGuiChildFlags_None,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    const ImVec2 c = ImGui::GetCursorScreenPos();

    // Header
    dl->AddCircleFilled(ImVec2(c.x + 6.0f, c.y + 10.0f), 4.0f, IM_COL32(70, 215, 255, 255));
    dl->AddCircle(ImVec2(c.x + 6.0f, c.y + 10.0f), 7.0f, IM_COL32(70, 215, 255, 70), 0, 1.0f);
    dl->AddText(ImVec2(c.x + 20.0f, c.y), IM_COL32(101, 222, 255, 255), "NOTÍCIAS E ATUALIZAÇÕES");
    dl->AddText(ImVec2(c.x + 20.0f, c.y + 23.0f), IM_COL32(166, 143, 183, 215), "FIQUE POR DENTRO DO VRENN ONDREL");

    // Stored on every click, also when the clamp left the value as it was.
    if (FontSizeButton(dl, "##FontMinus", "A-", ImVec2(c.x + cw - 58.0f, c.y + 2.0f))) {
        newsFontScale = StepNewsFontScale(newsFontScale, -kNewsFontScaleStep);
        SaveNewsFontScale();
    }
    if (FontSizeButton(dl, "##FontPlus", "A+", ImVec2(c.x + cw - 26.0f, c.y + 2.0f))) {
        newsFontScale = StepNewsFontScale(newsFontScale, kNewsFontScaleStep);
        SaveNewsFontScale();
    }

    ImGui::SetCursorScreenPos(c);
    dl->AddLine(ImVec2(c.x, c.y + 44.0f), ImVec2(c.x + cw, c.y + 44.0f), IM_COL32(229, 80, 204, 70), 1.0f);
    ImGui::Dummy(ImVec2(cw, 38.0f));

    if (news.empty()) {
        const ImVec2 e = ImGui::GetCursorScreenPos();
        const ImVec2 eEnd(e.x + cw, e.y + 58.0f);
        dl->AddRectFilled(e, eEnd, IM_COL32(13, 10, 30, 128), 10.0f);
        dl->AddRect(e, eEnd, IM_COL32(113, 88, 135, 80), 10.0f, 0, 1.0f);
        dl->AddText(ImVec2(e.x + 18.0f, e.y + 14.0f), IM_COL32(210, 190, 220, 235), "NENHUMA NOTÍCIA DISPONÍVEL");
        dl->AddText(ImVec2(e.x + 18.0f, e.y + 35.0f), IM_COL32(135, 119, 149, 220),
                    "TENTE NOVAMENTE EM ALGUNS INSTANTES.");
        ImGui::Dummy(ImVec2(cw, 58.0f));
    } else {
        ImFont* font = ImGui::GetFont();
        const float fs = ImGui::GetFontSize();
        const NewsCardMeasures m = MeasureNewsCard(cw, newsFontScale, fs);
        const auto titleWidth = [&](std::string_view t) {
            return font->CalcTextSizeA(m.titleSize, FLT_MAX, 0.0f, t.data(), t.data() + t.size()).x;
        };

        // At the largest scale four tall cards run past the panel: keep them inside it.
        dl->PushClipRect(c, ImVec2(c.x + cw, c.y + ch), true);
        const size_t count = std::min(news.size(), static_cast<size_t>(kMaxNewsCards));
        for (size_t i = 0; i < count; ++i) {
            const NewsItem& item = news[i];
            const char* body = item.content.c_str();
            const char* bodyEnd = body + item.content.size();
            const float measured = font->CalcTextSizeA(m.contentSize, FLT_MAX, m.textWidth, body, bodyEnd).y;
            const float bh = NewsBodyHeight(measured, m.lineHeight);
            const float H = NewsCardHeight(m, bh);

            const ImVec2 p0 = ImGui::GetCursorScreenPos();
            const ImVec2 p1(p0.x + cw, p0.y + H);
            const bool hovered = ImGui::IsMouseHoveringRect(p0, p1);

            dl->AddRectFilled(p0, p1, hovered ? IM_COL32(52, 21, 70, 238) : IM_COL32(28, 14, 47, 226), 6.0f);
            if (hovered)
                dl->AddRect(p0, p1, IM_COL32(94, 210, 255, 155), 6.0f, 0, 1.4f);
            else
                dl->AddRect(p0, p1, IM_COL32(225, 81, 204, 82), 6.0f, 0, 1.0f);
            dl->AddRectFilled(p0, ImVec2(p0.x + 3.5f, p1.y),
                              hovered ? IM_COL32(76, 216, 255, 255) : IM_COL32(242, 86, 211, 215), 6.0f);

            // Badge: the date as the server wrote it, or "NOVIDADE"
            const char* badge = item.date.empty() ? "NOVIDADE" : item.date.c_str();
            const ImVec2 bs = font->CalcTextSizeA(m.badgeSize, FLT_MAX, 0.0f, badge);
            const ImVec2 b0(p0.x + 10.0f, p0.y + 6.0f);
            const ImVec2 b1(b0.x + bs.x + 12.0f, b0.y + m.titleBand);
            dl->AddRectFilled(b0, b1, IM_COL32(213, 53, 185, 110), 4.0f);
            dl->AddRect(b0, b1, IM_COL32(255, 125, 226, 100), 4.0f, 0, 1.0f);
            dl->AddText(font, m.badgeSize, ImVec2(b0.x + 6.0f, b0.y + (m.titleBand - bs.y) * 0.5f - 0.5f),
                        IM_COL32(255, 190, 239, 255), badge);

            // Title, shortened to the room right of the badge
            const float tx = b1.x + 8.0f;
            const std::string title = ShortenNewsTitle(item.title, p1.x - tx - 12.0f, titleWidth);
            dl->AddText(font, m.titleSize, ImVec2(tx, p0.y + 6.0f + (m.titleBand - m.titleSize) * 0.5f),
                        IM_COL32(249, 241, 252, 255), title.c_str());

            // Content: lines past the body would fall under the next card, so they are cut at the card's edge.
            dl->PushClipRect(ImVec2(p0.x, p0.y + m.headerHeight), p1, true);
            dl->AddText(font, m.contentSize, ImVec2(p0.x + 10.0f, p0.y + m.headerHeight), IM_COL32(204, 186, 214, 255),
                        body, bodyEnd, m.textWidth);
            dl->PopClipRect();

            ImGui::Dummy(ImVec2(cw, H + 6.0f));
        }
        dl->PopClipRect();
    }

    ImGui::EndChild();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(2);
}
