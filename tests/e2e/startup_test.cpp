// The real launcher exe started from its game folder.
#include <gtest/gtest.h>

#include "support/Harness.h"

using namespace e2e;

TEST(Startup, OfflineStartLogsItsStepsInOrderAndExitsZero) {
    // Nothing listens on the built-in port.
    fs::path dir = MakeTempDir("OfflineStart");
    LauncherRun run(dir / "game");
    auto code = run.WaitExit(90s);
    ASSERT_TRUE(code.has_value()) << run.Log();
    EXPECT_EQ(*code, 0);
    auto lines = run.LogMessages();
    std::vector<std::string> expected{
        "INFO Iniciando WinMain...",
        "INFO SetProcessDPIAware concluído.",
        "INFO Buscando launcher config em: http://127.0.0.1:" + std::to_string(BuiltinPort()) + "/api/launcher/config",
        "WARN Não foi possível conectar ao servidor de config (modo offline/fallback).",
        "INFO Inicializando PatchManager...",
        "INFO PatchManager inicializado.",
        "INFO Criando UIManager...",
        "INFO Chamando uiManager.Initialize (1024x615)...",
    };
    ASSERT_GE(lines.size(), expected.size() + 2) << run.Log();
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
    const std::string& outcome = lines[expected.size()];
    EXPECT_TRUE(outcome == "INFO UIManager inicializado com sucesso. Iniciando loop de mensagens..." ||
                outcome == "FATAL Falha crítica ao inicializar UIManager (Janela ou DirectX 11)!")
        << outcome;
    EXPECT_EQ(lines.back(), "INFO Encerrando launcher (Exit 0).");
}
