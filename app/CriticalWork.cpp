#include "app/CriticalWork.h"

#include <condition_variable>
#include <mutex>

namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable idle;
    int active = 0;
    bool closed = false;
};

// Never destroyed: the timer may still wait on it while the process exits.
Gate& TheGate() {
    static Gate* gate = new Gate;
    return *gate;
}

}  // namespace

CriticalScope::CriticalScope() {
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    entered = !gate.closed;
    if (entered) ++gate.active;
}

CriticalScope::~CriticalScope() {
    if (!entered) return;
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    if (--gate.active == 0) gate.idle.notify_all();
}

CriticalWait CloseCriticalWork(std::chrono::milliseconds bound) {
    Gate& gate = TheGate();
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.closed = true;
    CriticalWait wait;
    wait.hadWork = gate.active != 0;
    wait.finished = gate.idle.wait_for(lock, bound, [&gate] { return gate.active == 0; });
    return wait;
}

void ReopenCriticalWorkForTesting() {
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.closed = false;
}
