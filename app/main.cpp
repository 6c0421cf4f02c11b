// Process entry: crash filter, launcher folder, configuration (with a possible
// self-update), the patch service, the window, the loop and the tear-down.
#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "BuildConfig.h"
#include "app/ConfigText.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "patch/PatchManager.h"
#include "ui/UIManager.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetUnhandledExceptionFilter(CrashHandler);

    const std::wstring exeDir = ExeDirFromModulePath(ModuleFilePath());

    Logger& log = Logger::Instance();
    log.Info("Iniciando WinMain...");
    SetProcessDPIAware();
    log.Info("SetProcessDPIAware concluído.");

    try {
        std::string patchServerUrl = VRENN_BUILTIN_SERVER_URL;
        const std::string configUrl = GetConfigUrl(patchServerUrl);
        log.Info("Buscando launcher config em: " + configUrl);
        const std::string json = DownloadString(configUrl);
        bool googleEnabled = false;

        if (!json.empty()) {
            log.Info("Config obtida do servidor.");
            const std::string configured = ParseJsonString(json, "patchServerUrl");
            if (!configured.empty()) patchServerUrl = configured;
            log.SetApiEndpoint(patchServerUrl);
            googleEnabled = GoogleSectionEnabled(json);
            const std::string version = ParseJsonString(json, "launcherVersion");
            const std::string downloadUrl = ParseJsonString(json, "launcherDownloadUrl");
            if (SelfUpdateWanted(version, downloadUrl)) {
                log.Info("Atualização disponível: " + version);
                TriggerSelfUpdate(exeDir, downloadUrl, ParseJsonString(json, "launcherSha256"));
            }
        } else {
            log.Warn("Não foi possível conectar ao servidor de config (modo offline/fallback).");
        }

        log.Info("Inicializando PatchManager...");
        auto patchManager = std::make_unique<PatchManager>(exeDir, patchServerUrl);
        patchManager->Initialize();
        log.Info("PatchManager inicializado.");

        log.Info("Criando UIManager...");
        auto uiManager = std::make_unique<UIManager>(patchManager.get());
        // Leaving this block stops the patch work, then destroys, in this order,
        // the watchdog (which arms its timer), the window, and the patch
        // service, whose destructor joins its threads: also when an exception
        // leaves it.
        const ShutdownWatchdog watchdog;
        // Destroyed first: the patch work stops before the timer is armed, so
        // a download in progress is cancelled and its part file let go however
        // long the window's own tear-down takes.
        struct StopPatchWork {
            PatchManager* patch;
            ~StopPatchWork() { patch->BeginShutdown(); }
        } stopPatchWork{patchManager.get()};
        uiManager->SetGoogleEnabled(googleEnabled);
        log.Info("Chamando uiManager.Initialize (1024x615)...");
        const bool ok = uiManager->Initialize(1024, 615, kWindowTitle);

        if (ok) {
            log.Info("UIManager inicializado com sucesso. Iniciando loop de mensagens...");
            uiManager->SetOnRunLoopStarted([exeDir]() {
                Logger::Instance().Info("Loop de interface iniciado com sucesso.");
                ScheduleBackupCleanup(exeDir, kWindowTitle);
            });
            uiManager->Run();
            log.Info("UIManager.Run finalizado normalmente.");
        } else {
            log.Fatal("Falha crítica ao inicializar UIManager (Janela ou DirectX 11)!");
        }
    } catch (const std::exception& e) {
        log.Fatal(std::string("Exceção padrão capturada: ") + e.what());
    } catch (...) {
        log.Fatal("Exceção desconhecida capturada no WinMain!");
    }

    // Past the grace the timer logs the exit and ends the process itself.
    if (!FinishShutdown()) Sleep(INFINITE);
    log.Info("Encerrando launcher (Exit 0).");
    return 0;
}
