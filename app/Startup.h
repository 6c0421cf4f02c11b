#pragma once
// Pieces of start-up that live outside WinMain: the crash filter, the
// configuration request, the self-update and the backup removal.
#include <windows.h>

#include <chrono>
#include <string>

inline constexpr wchar_t kWindowTitle[] = L"Vrenn Ondrel - Launcher Oficial";
inline constexpr std::chrono::milliseconds kBackupCleanupDelay{15000};

// The unhandled-exception filter: posts the crash line synchronously, then lets the process end.
LONG WINAPI CrashHandler(EXCEPTION_POINTERS* info);
std::string CrashLine(DWORD code, const void* address);

// Removes exeDir + "VrennOnlineLauncher.exe.bak" after the delay, if the titled window is visible.
void ScheduleBackupCleanup(const std::wstring& exeDir, const std::wstring& title,
                           std::chrono::milliseconds delay = kBackupCleanupDelay);

// The running executable's full path, however long: the manifest declares the
// launcher long-path aware, and a path cut at 260 units names another folder.
std::wstring ModuleFilePath();

// How long the tear-down may take once the window has gone.
inline constexpr std::chrono::milliseconds kShutdownGrace{1000};
// How long a game file swap or a cache save in progress may hold the end of
// the process (a backup copy of a file of gigabytes on a slow disk).
inline constexpr std::chrono::milliseconds kCriticalWorkBound{120000};

// Tear-down guard. Its destructor arms a timer: unless FinishShutdown is
// called within kShutdownGrace, the timer ends the process with exit code 0.
// A request blocked on a server that does not answer cannot be cut short
// (under Wine neither closing its handles nor cancelling the thread's I/O
// releases it), and the player has already closed the window. Work that must
// not be cut (app/CriticalWork.h) finishes first, within kCriticalWorkBound;
// the tear-down then has another grace to end by itself.
struct ShutdownWatchdog {
    ShutdownWatchdog() = default;
    ~ShutdownWatchdog();
    ShutdownWatchdog(const ShutdownWatchdog&) = delete;
    ShutdownWatchdog& operator=(const ShutdownWatchdog&) = delete;
};
// The tear-down is over; false when the timer is already ending the process.
bool FinishShutdown();

// One GET of the launcher configuration with its own short time-outs; "" on failure.
std::string DownloadString(const std::string& url);

// Downloads, checks and installs a newer build; returns only when no update was started.
void TriggerSelfUpdate(const std::wstring& exeDir, const std::string& downloadUrl, const std::string& expectedSha256);
// SHA-256 of a file as 64 lower-case hex digits; "" on any failure.
std::string ComputeFileSha256Hex(const std::wstring& path);
