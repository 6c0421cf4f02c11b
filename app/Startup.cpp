#include "app/Startup.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/CriticalWork.h"
#include "app/Logger.h"
#include "patch/HttpTransport.h"

std::string CrashLine(DWORD code, const void* address) {
    char buf[128];
    std::snprintf(buf, sizeof(buf), "%lx no endereço: 0x%llx", static_cast<unsigned long>(code),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return std::string("CRASH DETECTADO! Código de Exceção: 0x") + buf;
}

LONG WINAPI CrashHandler(EXCEPTION_POINTERS* info) {
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    const void* address = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionAddress : nullptr;
    Logger::Instance().SendSync("FATAL", CrashLine(code, address));
    return EXCEPTION_EXECUTE_HANDLER;
}

void ScheduleBackupCleanup(const std::wstring& exeDir, const std::wstring& title, std::chrono::milliseconds delay) {
    std::thread([exeDir, title, delay]() {
        std::this_thread::sleep_for(delay);
        HWND window = FindWindowW(nullptr, title.c_str());
        if (window && IsWindowVisible(window)) {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::path(exeDir + L"VrennOnlineLauncher.exe.bak"), ec);
        }
    }).detach();
}

std::string DownloadString(const std::string& url) {
    std::string body;
    HttpExchange exchange;
    exchange.sink = [&body](const char* data, size_t size) {
        body.append(data, size);
        return true;
    };
    if (!PerformHttpRequest(url, &HttpTimeoutTable::kLauncherConfig, exchange)) return "";
    return body;
}

std::wstring ModuleFilePath() {
    // The longest path the system takes, in UTF-16 units.
    constexpr size_t kLongestPath = 32768;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        // A path that fills the buffer may have been cut (and may lack its terminator).
        if (length < path.size() || path.size() >= kLongestPath) {
            path.resize(std::min<size_t>(length, path.size()));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

namespace {

enum WatchdogState { kUnarmed, kArmed, kFinished, kFiring };
std::atomic<int> watchdogState{kUnarmed};
// Never closed: the timer thread may still wait on it while the process exits.
HANDLE watchdogFinished = nullptr;

}  // namespace

ShutdownWatchdog::~ShutdownWatchdog() {
    int expected = kUnarmed;
    if (!watchdogState.compare_exchange_strong(expected, kArmed)) return;
    watchdogFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    try {
        std::thread([] {
            const DWORD grace = static_cast<DWORD>(kShutdownGrace.count());
            auto finishedWithin = [grace] {
                if (watchdogFinished) return WaitForSingleObject(watchdogFinished, grace) == WAIT_OBJECT_0;
                Sleep(grace);
                return false;
            };
            if (finishedWithin()) return;
            const CriticalWait work = CloseCriticalWork(kCriticalWorkBound);
            if (work.hadWork && finishedWithin()) return;
            int armed = kArmed;
            if (!watchdogState.compare_exchange_strong(armed, kFiring)) return;
            Logger::Instance().Warn("Encerramento demorou demais; finalizando o processo.");
            Logger::Instance().Info("Encerrando launcher (Exit 0).");
            TerminateProcess(GetCurrentProcess(), 0);
        }).detach();
    } catch (const std::system_error&) {
        // No timer: the tear-down takes as long as it takes.
        watchdogState = kFinished;
    }
}

bool FinishShutdown() {
    int armed = kArmed;
    if (watchdogState.compare_exchange_strong(armed, kFinished)) {
        SetEvent(watchdogFinished);
        return true;
    }
    return armed != kFiring;
}
