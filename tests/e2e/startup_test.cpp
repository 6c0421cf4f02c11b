// The real launcher exe started from its game folder, closed from outside.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/Harness.h"

using namespace e2e;

TEST(Startup, OfflineStartOpensTheWindowAndLogsEveryStepInOrderUntilExitZero) {
    // Nothing listens on the built-in port.
    fs::path dir = MakeTempDir("OfflineStart");
    LauncherRun run(dir / "game");
    ASSERT_TRUE(run.WaitForLog("Loop de interface iniciado com sucesso.", 60s)) << run.Log();
    ASSERT_TRUE(WaitUntil([&] { return run.CloseWindow(); }, 20s, 200ms)) << run.Log();
    auto code = run.WaitExit(60s);
    ASSERT_TRUE(code.has_value()) << run.Log();
    EXPECT_EQ(*code, 0);

    // The patch thread's lines interleave, and the body-font warning depends on the
    // prefix (the window tests cover it); the start-up and window lines keep this order.
    const std::vector<std::string> expected{
        "INFO Iniciando WinMain...",
        "INFO SetProcessDPIAware concluído.",
        "INFO Buscando launcher config em: http://127.0.0.1:" + std::to_string(BuiltinPort()) + "/api/launcher/config",
        "WARN Não foi possível conectar ao servidor de config (modo offline/fallback).",
        "INFO Inicializando PatchManager...",
        "INFO PatchManager inicializado.",
        "INFO Criando UIManager...",
        "INFO Chamando uiManager.Initialize (1024x615)...",
        "INFO [UIManager] Registrando classe de janela Win32...",
        "INFO [UIManager] Criando janela Win32...",
        "INFO [UIManager] Janela criada com HWND=",
        "INFO [UIManager] Inicializando dispositivo DirectX 11...",
        "INFO [UIManager] DirectX 11 inicializado com sucesso.",
        "INFO [UIManager] Inicializando ImGui...",
        "INFO [UIManager] ImGui inicializado.",
        "INFO UIManager inicializado com sucesso. Iniciando loop de mensagens...",
        "INFO [UIManager::Run] Loop de mensagens iniciado.",
        "INFO Loop de interface iniciado com sucesso.",
        "INFO [WndProc] WM_CLOSE recebido.",
        "INFO [WndProc] WM_DESTROY recebido, chamando PostQuitMessage(0)...",
        "INFO [UIManager::Run] WM_QUIT recebido (wParam=0)",
        "INFO [UIManager::Run] Loop de renderização encerrado.",
        "INFO UIManager.Run finalizado normalmente.",
        "INFO Encerrando launcher (Exit 0).",
    };
    const auto lines = run.LogMessages();
    std::vector<std::string> ours;
    for (const std::string& l : lines)
        if (l.find("[PatchManager]") == std::string::npos && l.find("Fonte segoeui.ttf") == std::string::npos)
            ours.push_back(l);
    ASSERT_EQ(ours.size(), expected.size()) << run.Log();
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].back() == '=') {
            // The handle's value as an unsigned decimal number.
            ASSERT_EQ(ours[i].rfind(expected[i], 0), 0u) << ours[i];
            const std::string digits = ours[i].substr(expected[i].size());
            EXPECT_FALSE(digits.empty());
            EXPECT_TRUE(std::all_of(digits.begin(), digits.end(), ::isdigit)) << ours[i];
        } else {
            EXPECT_EQ(ours[i], expected[i]);
        }
    }
}
