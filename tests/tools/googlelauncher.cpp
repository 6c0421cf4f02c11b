// googlelauncher.exe --server URL --google BASE [--turn-ms N] [--turns N]
// The launcher's window and patch service, composed as WinMain composes them
// (no configuration request, no self-update), with the Google endpoints moved
// to a stand-in provider through PatchManager's test-only setter: the shipped
// launcher only ever talks to Google itself, which tests must not reach.
// The Google section is shown. Runs until its window closes; exit code 0.
#include <windows.h>

#include <memory>
#include <string>

#include "app/ConfigText.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "patch/PatchManager.h"
#include "tests/tools/ToolSupport.h"
#include "ui/UIManager.h"

int wmain(int argc, wchar_t** argv) {
    std::string server, google;
    int turnMs = 1000, turns = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring key = argv[i];
        const std::wstring value = argv[i + 1];
        if (key == L"--server") server = Narrow(value);
        else if (key == L"--google") google = Narrow(value);
        else if (key == L"--turn-ms") turnMs = std::stoi(value);
        else if (key == L"--turns") turns = std::stoi(value);
    }
    if (server.empty() || google.empty()) return 2;

    wchar_t modulePath[260] = {};
    GetModuleFileNameW(nullptr, modulePath, 260);
    Logger::Instance().SetApiEndpoint(server);

    auto patchManager = std::make_unique<PatchManager>(ExeDirFromModulePath(modulePath), server);
    patchManager->SetGoogleEndpointsForTesting(google, google, turnMs, turns);
    patchManager->Initialize();
    auto uiManager = std::make_unique<UIManager>(patchManager.get());
    uiManager->SetGoogleEnabled(true);
    if (uiManager->Initialize(1024, 615, kWindowTitle)) uiManager->Run();
    uiManager.reset();
    patchManager.reset();
    return 0;
}
