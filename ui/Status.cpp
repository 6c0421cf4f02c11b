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

// Takes the state mutex for a patch report. Four download workers report after
// every chunk and hold it only for a few stores; a contended std::mutex waits on
// a kernel event, which under Wine costs two round trips to its server (the
// wait and the wake), the very server every chunk's receive goes through. A
// short spin nearly always finds it free first, so nobody waits on the event.
void LockForReport(std::mutex& m) {
    for (int spin = 0; spin < 64; ++spin) {
        if (m.try_lock()) return;
        YieldProcessor();
    }
    m.lock();
}
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
    LockForReport(stateMutex);
    std::lock_guard<std::mutex> lock(stateMutex, std::adopt_lock);
    state = newState;
    progress = newProgress;
    speed = newSpeed;
    if (!message.empty()) {
        if (message != lastPatchMessage) {
            std::string mapped = FriendlyStatus(message);
            lastPatchMessage = message;
            lastPatchStatus = std::move(mapped);
        }
        // SetStatus may have shown another text since; copying into the text's
        // own room allocates nothing.
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
