// The launcher frame built without a window: its full-display Dear ImGui
// window, the header and the footer, read back from their draw lists.
#include <gtest/gtest.h>
#include <windows.h>

#include <cfloat>
#include <string>

#include <imgui_internal.h>

#include "support/HeadlessImGui.h"
#include "support/RegistrySandbox.h"
#include "ui/UIManager.h"

namespace {

constexpr float kAA = 0.75f;

class Frame : public ::testing::Test {
protected:
    void SetState(LauncherState s, float p, const std::string& text, bool error) {
        std::lock_guard<std::mutex> lock(ui.stateMutex);
        ui.state = s;
        ui.progress = p;
        ui.statusText = text;
        ui.statusIsError = error;
    }
    std::map<ImU32, ColourBox> Footer() {
        imgui.BeginFrame();
        ui.RenderFooter(ImGui::GetBackgroundDrawList(), 1024, 615, 0, 40);
        imgui.EndFrame();
        return ColoursOfFrame();
    }
    std::map<ImU32, ColourBox> Header(ImVec2 mouse = ImVec2(-1e6f, -1e6f), bool down = false) {
        imgui.BeginFrame(0.0, mouse, down);
        ui.RenderHeader(ImGui::GetBackgroundDrawList(), 1024);
        imgui.EndFrame();
        return ColoursOfFrame();
    }
    RegistrySandbox sandbox;
    HeadlessImGui imgui;
    UIManager ui{nullptr};
};

TEST_F(Frame, ComposesOneBackgroundlessWindowOverTheDisplay) {
    imgui.BeginFrame(0.0, ImVec2(-1e6f, -1e6f), false, false);
    ui.RenderUIFrame();
    ImGuiWindow* window = ImGui::FindWindowByName("VRENN ONDREL LAUNCHER");
    imgui.EndFrame();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Flags & 0x3FFFFFF, 0x221AF);
    EXPECT_EQ(window->Pos.x, 0);
    EXPECT_EQ(window->Pos.y, 0);
    EXPECT_EQ(window->Size.x, 1024);
    EXPECT_EQ(window->Size.y, 615);
    auto colours = ColoursOfFrame();
    // Background first, header band over it, footer at the bottom.
    EXPECT_TRUE(colours.count(IM_COL32(30, 11, 51, 255)));
    EXPECT_TRUE(colours.count(IM_COL32(70, 16, 95, 240)));
    EXPECT_EQ(colours[IM_COL32(10, 8, 26, 240)].min.y, 575);
}

TEST_F(Frame, FooterStatesPickDotTextAndBar) {
    const ImU32 green = IM_COL32(67, 226, 157, 255), red = IM_COL32(255, 82, 104, 255);
    // Text colours are given as floats; Dear ImGui's own conversion packs them.
    const ImU32 ready = ImGui::ColorConvertFloat4ToU32(ImVec4(0.70f, 0.64f, 0.76f, 0.95f)),
                normal = ImGui::ColorConvertFloat4ToU32(ImVec4(0.82f, 0.75f, 0.87f, 0.98f)),
                error = ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.38f, 0.46f, 1.0f)),
                fill = ImGui::ColorConvertFloat4ToU32(ImVec4(0.9f, 0.25f, 0.75f, 1.0f));
    struct Case {
        const char* what;
        LauncherState state;
        float progress;
        std::string text;
        bool isError;
        ImU32 dot, textColour;
        bool bar;
    } cases[] = {
        {"fresh start", LauncherState::Idle, 0, "", false, green, ready, false},
        {"idle with a text", LauncherState::Idle, 0, "Sessão encerrada", false, green, normal, false},
        {"completed", LauncherState::Completed, 1, "Todos os arquivos estão atualizados!", false, green, normal, false},
        {"failed run", LauncherState::Error, 0.3f, "FALHA NA CONEXÃO. TENTE DE NOVO.", true, red, error, false},
        {"checking", LauncherState::CheckingUpdates, 0, "Verificando se há atualizações...", false, green, normal, true},
        {"verifying", LauncherState::Verifying, 0.5f, "Verificando integridade...", false, green, normal, true},
        {"downloading", LauncherState::Downloading, 0.5f, "Baixando arquivos...", false, green, normal, true},
        {"unused busy value", static_cast<LauncherState>(4), 0.5f, "x", false, green, normal, true},
        {"error while busy", LauncherState::Downloading, 0.5f, "EMAIL OU SENHA INCORRETOS.", true, red, error, true},
    };
    for (const Case& c : cases) {
        SetState(c.state, c.progress, c.text, c.isError);
        auto colours = Footer();
        EXPECT_TRUE(colours.count(c.dot)) << c.what;
        EXPECT_FALSE(colours.count(c.dot == green ? red : green)) << c.what;
        ASSERT_TRUE(colours.count(c.textColour)) << c.what;
        for (ImU32 other : {ready, normal, error}) {
            if (other != c.textColour) {
                EXPECT_FALSE(colours.count(other)) << c.what;
            }
        }
        EXPECT_EQ(colours.count(ImGui::GetColorU32(ImGuiCol_FrameBg)) == 1, c.bar) << c.what;
        EXPECT_EQ(colours.count(fill) == 1, c.bar && c.progress > 0) << c.what;

        // Dot centred at (27, top + 20), the text from x 36.
        const ColourBox& dot = colours[c.dot];
        EXPECT_NEAR((dot.min.x + dot.max.x) / 2, 27, 0.1f) << c.what;
        EXPECT_NEAR((dot.min.y + dot.max.y) / 2, 595, 0.1f) << c.what;
        EXPECT_GE(colours[c.textColour].min.x, 36) << c.what;
        EXPECT_LT(colours[c.textColour].min.x, 40) << c.what;
    }
}

TEST_F(Frame, FooterBackgroundSeparatorAndBarGeometry) {
    SetState(LauncherState::Downloading, 0.5f, "Baixando arquivos...", false);
    auto colours = Footer();
    const ColourBox& bg = colours[IM_COL32(10, 8, 26, 240)];
    EXPECT_EQ(bg.min.x, 7);
    EXPECT_EQ(bg.min.y, 575);
    EXPECT_EQ(bg.max.x, 1017);
    EXPECT_EQ(bg.max.y, 608);
    const ColourBox& line = colours[IM_COL32(89, 204, 255, 44)];
    EXPECT_NEAR(line.min.x, 18, 1.0f);
    EXPECT_NEAR(line.max.x, 1006, 1.0f);
    EXPECT_NEAR((line.min.y + line.max.y) / 2, 575.5f, 0.1f);  // lines sit on pixel centres
    // The bar: 190 x 24 ending 15 px inside the child's right edge, filled to half.
    const ColourBox& frame = colours[ImGui::GetColorU32(ImGuiCol_FrameBg)];
    EXPECT_NEAR(frame.min.x, 801, kAA);
    EXPECT_NEAR(frame.max.x, 991, kAA);
    EXPECT_NEAR(frame.min.y, 583, kAA);
    EXPECT_NEAR(frame.max.y, 607, kAA);
    const ColourBox& fill = colours[ImGui::ColorConvertFloat4ToU32(ImVec4(0.9f, 0.25f, 0.75f, 1.0f))];
    EXPECT_NEAR(fill.min.x, 801, 1.5f);
    EXPECT_NEAR(fill.max.x, 896, 1.5f);
}

TEST_F(Frame, HeaderAtTimeZeroFollowsItsGeometry) {
    auto colours = Header();
    EXPECT_EQ(colours[IM_COL32(70, 16, 95, 240)].min.x, 7);
    EXPECT_EQ(colours[IM_COL32(19, 33, 84, 240)].min.x, 1017);
    EXPECT_EQ(colours[IM_COL32(15, 16, 44, 232)].min.y, 98);
    EXPECT_EQ(colours[IM_COL32(68, 14, 74, 236)].min.y, 98);
    EXPECT_NEAR(colours[IM_COL32(255, 88, 230, 96)].max.x, 994, 1.0f);

    // Glow strength 80 at time 0: passes of alpha 80, 26 and 40.
    for (ImU32 col : {IM_COL32(255, 139, 228, 80), IM_COL32(69, 214, 255, 80), IM_COL32(255, 139, 228, 26),
                      IM_COL32(69, 214, 255, 26), IM_COL32(255, 200, 245, 40), IM_COL32(200, 240, 255, 40),
                      IM_COL32(5, 1, 12, 160), IM_COL32(255, 255, 255, 36), IM_COL32(255, 200, 245, 80)})
        EXPECT_TRUE(colours.count(col)) << std::hex << col;

    // The second word starts 10 px after the first word's measured width.
    ImFont* font = ImGui::GetFont();
    const float w1 = font->CalcTextSizeA(34, FLT_MAX, 0, "VRENN").x;
    const float w2 = font->CalcTextSizeA(34, FLT_MAX, 0, "ONDREL").x;
    const ColourBox& first = colours[IM_COL32(255, 139, 228, 255)];
    const ColourBox& second = colours[IM_COL32(69, 214, 255, 255)];
    EXPECT_GE(first.min.x, 30);
    EXPECT_LE(first.max.x, 30 + w1 + 2);
    EXPECT_GE(second.min.x, 30 + w1 + 10);
    EXPECT_LT(second.min.x, 30 + w1 + 10 + 8);
    const float titleWidth = 30 + w1 + 10 + w2 - 30;

    // Shimmer 0.4 at time 0; the sparkles follow the title width.
    struct Sparkle {
        ImU32 col;
        float x, y;
    } sparkles[] = {
        {IM_COL32(255, 180, 240, 80), 30 + 0.15f * titleWidth, 14},
        {IM_COL32(120, 220, 255, 72), 30 + 0.45f * titleWidth, 54 + 2.5f * std::sin(1.2f)},
        {IM_COL32(255, 240, 255, 88), 30 + 0.75f * titleWidth, 22 + 3.5f * std::sin(2.5f)},
        {IM_COL32(100, 230, 255, 64), 30 + w1 + 10 + 0.5f * w2, 55 + 2.0f * std::sin(0.8f)},
        {IM_COL32(255, 108, 227, 230), 375, 22 + 4.0f * std::sin(0.5f)},
        {IM_COL32(76, 223, 255, 220), 420, 48 + 3.0f * std::sin(1.7f)},
        {IM_COL32(255, 240, 255, 200), 270, 30 + 2.5f * std::sin(2.2f)},
        {IM_COL32(255, 236, 252, 210), 315, 30},
    };
    for (const Sparkle& s : sparkles) {
        ASSERT_TRUE(colours.count(s.col)) << std::hex << s.col;
        const ColourBox& b = colours[s.col];
        EXPECT_NEAR((b.min.x + b.max.x) / 2, s.x, 0.2f) << std::hex << s.col;
        EXPECT_NEAR((b.min.y + b.max.y) / 2, s.y, 0.2f) << std::hex << s.col;
    }

    EXPECT_GE(colours[IM_COL32(236, 214, 248, 225)].min.x, 31);  // subtitle
    const ColourBox& dot = colours[IM_COL32(255, 105, 219, 205)];
    EXPECT_NEAR((dot.min.x + dot.max.x) / 2, 168, 0.1f);
    EXPECT_NEAR((dot.min.y + dot.max.y) / 2, 65, 0.1f);
    EXPECT_GE(colours[IM_COL32(144, 185, 213, 190)].min.x, 177);  // slogan
    EXPECT_EQ(colours[IM_COL32(255, 107, 225, 220)].min.x, 30);  // underline, pink end
    EXPECT_EQ(colours[IM_COL32(71, 214, 255, 155)].max.x, 294);
    EXPECT_EQ(colours[IM_COL32(71, 214, 255, 155)].max.y, 84);

    // Buttons: repair (pink) 786..922, minimise and close (blue) 936..1002, all from y 20 to 54.
    const ColourBox& repair = colours[IM_COL32(135, 26, 152, 255)];
    EXPECT_NEAR(repair.min.x, 786.5f, kAA);
    EXPECT_NEAR(repair.max.x, 921.5f, kAA);
    EXPECT_NEAR(repair.min.y, 20.5f, kAA);
    EXPECT_NEAR(repair.max.y, 53.5f, kAA);
    const ColourBox& blue = colours[IM_COL32(40, 46, 98, 248)];
    EXPECT_NEAR(blue.min.x, 936.5f, kAA);
    EXPECT_NEAR(blue.max.x, 1001.5f, kAA);
}

TEST_F(Frame, HeaderButtonsMinimiseAndCloseTheWindow) {
    ui.hwnd = CreateWindowExW(0, L"STATIC", L"header probe", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(ui.hwnd, nullptr);
    auto click = [&](ImVec2 at) {
        Header(at, false);
        Header(at, true);
        Header(at, false);
    };
    click(ImVec2(950, 37));  // "_"
    EXPECT_TRUE(IsIconic(ui.hwnd));

    MSG msg;
    while (PeekMessageW(&msg, ui.hwnd, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
    }
    click(ImVec2(988, 37));  // "X"
    EXPECT_TRUE(PeekMessageW(&msg, ui.hwnd, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    HWND window = ui.hwnd;
    ui.hwnd = nullptr;
    DestroyWindow(window);
}

}  // namespace
