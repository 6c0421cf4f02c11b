// framebench.exe [FRAMES]: the CPU cost of one launcher frame, RenderUIFrame
// plus ImGui::Render, built without a window or a device (nothing is presented).
// The window object has no patch service; its news list holds three entries so
// the news cards are drawn. Prints the median and the 90th percentile in ms.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "imgui.h"
#include "ui/UIManager.h"

int wmain(int argc, wchar_t** argv) {
    const int frames = argc > 1 ? _wtoi(argv[1]) : 1000;
    UIManager ui(nullptr);
    ui.news = {{"Bem-vindo a Vrenn Ondrel", "02/01/2026", "O servidor de testes está aberto. Entre e escolha um mundo."},
               {"Evento de inverno", "10/01/2026", "Missões especiais e recompensas em dobro no fim de semana."},
               {"Manutenção programada", "15/01/2026", "Vrenn Leste ficará fora do ar por duas horas."}};

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(1024, 615);
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
    // The same fonts as the window, when the prefix has them.
    ImFontConfig quiet;
    quiet.Flags |= ImFontFlags_NoLoadError;
    ui.regularFont = io.Fonts->AddFontFromFileTTF("C:/Windows/Fonts/segoeui.ttf", 18.0f, &quiet);
    if (!ui.regularFont) ui.regularFont = io.Fonts->AddFontDefault();
    ui.titleFont = io.Fonts->AddFontFromFileTTF("C:/Windows/Fonts/segoeuib.ttf", 34.0f, &quiet);
    if (!ui.titleFont) ui.titleFont = ui.regularFont;
    ImGui::StyleColorsDark();

    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    for (int i = 0; i < frames + 60; ++i) {
        io.DeltaTime = 1.0f / 60.0f;
        io.AddMousePosEvent(700.0f, 300.0f);
        ImGui::NewFrame();
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        ui.RenderUIFrame();
        ImGui::Render();
        QueryPerformanceCounter(&b);
        // The first frames bake the glyphs; they are not counted.
        if (i >= 60) ms.push_back(1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / freq.QuadPart);
    }
    const int vertices = ImGui::GetDrawData()->TotalVtxCount;
    ImGui::DestroyContext();
    std::sort(ms.begin(), ms.end());
    std::printf("frames %d median-ms %.4f p90-ms %.4f vertices %d\n", frames, ms[ms.size() / 2],
                ms[ms.size() * 9 / 10], vertices);
    return 0;
}
