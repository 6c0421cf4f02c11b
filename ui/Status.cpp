// The footer's status line: the mapping, the setter, the patch-state callback
// and the repair action.
#include "ui/FriendlyStatus.h"
#include "ui/UIManager.h"

std::string UIManager::FriendlyStatus(const std::string& text) { return FriendlyStatusText(text); }

void UIManager::SetStatus(const std::string& text, bool isError) {
    std::lock_guard<std::mutex> lock(stateMutex);
    statusText = FriendlyStatus(text);
    statusIsError = isError;
    // A normal message takes the footer out of its error state.
    if (!isError && state == LauncherState::Error) state = LauncherState::Idle;
}

void UIManager::OnPatchState(LauncherState newState, float newProgress, float newSpeed, const std::string& message) {
    std::lock_guard<std::mutex> lock(stateMutex);
    state = newState;
    progress = newProgress;
    speed = newSpeed;
    if (!message.empty()) statusText = FriendlyStatus(message);
    statusIsError = newState == LauncherState::Error;
}

PatchStateCallback UIManager::MakePatchStateCallback() {
    std::shared_ptr<ReportGate> gate = reportGate;
    return [gate](LauncherState s, float p, float sp, const std::string message) {
        std::shared_lock<std::shared_mutex> open(gate->lock);
        if (gate->target) gate->target->OnPatchState(s, p, sp, message);
    };
}

void UIManager::TriggerRepair() {
    if (!patchManager) return;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        state = LauncherState::Idle;
        statusText = FriendlyStatus("VERIFICANDO ARQUIVOS DO JOGO...");
        statusIsError = false;
    }
    patchManager->StartPatchProcess(true, MakePatchStateCallback());
}
