// The footer's status line: the mapping, the setter, the patch-state callback
// and the repair action.
#include "ui/FriendlyStatus.h"
#include "ui/UIManager.h"

namespace {
// Holds a slim lock shared for one scope.
class SharedHold {
public:
    explicit SharedHold(SRWLOCK* l) : lock(l) { AcquireSRWLockShared(lock); }
    ~SharedHold() { ReleaseSRWLockShared(lock); }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;

private:
    SRWLOCK* lock;
};
}  // namespace

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
    if (!message.empty()) {
        if (message != lastPatchMessage) {
            std::string mapped = FriendlyStatus(message);
            lastPatchMessage = message;
            lastPatchStatus = std::move(mapped);
        }
        // SetStatus may have shown another text since.
        if (statusText != lastPatchStatus) statusText = lastPatchStatus;
    }
    statusIsError = newState == LauncherState::Error;
}

PatchStateCallback UIManager::MakePatchStateCallback() {
    std::shared_ptr<ReportGate> gate = reportGate;
    return [gate](LauncherState s, float p, float sp, const std::string& message) {
        SharedHold open(&gate->lock);
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
