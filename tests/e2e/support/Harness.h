#pragma once
// End-to-end harness: the stand-in server on loopback, Windows programs under
// Wine (the launcher under logcap so its debugger output is captured), and the
// Xvfb display for screenshots and real input.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path SourceDir();
fs::path WinBuild();
fs::path ServerExe();
fs::path LauncherExe();
fs::path WinTool(const std::string& name);  // a program of tests/tools in the Windows tree

// A fresh empty folder for one test (kept after the run for inspection).
fs::path MakeTempDir(const std::string& name);
// The port of the launcher's built-in server URL.
int BuiltinPort();
// A loopback port nobody listens on right now.
int FreePort();
// "Z:\..." form of a Linux path, as Windows programs under Wine see it.
std::string WinPath(const fs::path& p);

void WriteFile(const fs::path& p, const std::string& content);
std::string ReadFile(const fs::path& p);
std::vector<nlohmann::json> ReadJsonLines(const fs::path& p);
// Every ".part" and ".bak" file under dir, relative to it ("/" separators).
std::vector<std::string> Leftovers(const fs::path& dir);

// A child process (fork/exec) with extra environment variables.
class Process {
public:
    Process() = default;
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
            const fs::path& stdoutFile = {});
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    bool Running();
    // Exit code, or nullopt when it has not ended within the time.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    void Kill();
    pid_t Pid() const { return pid; }

private:
    pid_t pid = -1;
    std::optional<int> status;
};

class StandInServer {
public:
    // data: folder with config.json and the other data files; root: the game folder it serves.
    StandInServer(int port, const fs::path& root, const fs::path& data, const fs::path& out = {});
    ~StandInServer();
    void Stop();
    int Port() const { return port; }
    std::string Url() const;
    fs::path Out() const { return out; }
    std::vector<nlohmann::json> Records(const std::string& name) const;

private:
    int port;
    fs::path out;
    Process proc;
};

// A Windows program started under Wine.
Process StartWindows(const fs::path& exe, const std::vector<std::string>& args = {},
                     const std::map<std::string, std::string>& env = {}, const fs::path& stdoutFile = {});

// What the launcher logs when its shutdown timer ends the process: a tear-down
// that hung. The same exit line and exit code follow as after a clean end.
inline constexpr char kShutdownTimerLine[] = "Encerramento demorou demais; finalizando o processo.";

// The launcher started from its own game folder (copied there), under logcap.
// Unless the test expects a hang, a run whose log shows the shutdown timer
// fails the test when the run goes: the timer would hide a tear-down that hangs.
class LauncherRun {
public:
    LauncherRun(const fs::path& gameDir, const std::map<std::string, std::string>& env = {});
    ~LauncherRun();
    // This run hangs on purpose (a server that never answers): the timer must end it.
    void ExpectShutdownTimer() { timerExpected = true; }
    std::string Log() const;  // everything the launcher wrote to its debugger output so far
    std::vector<std::string> LogMessages() const;  // the message part of each line, in order
    bool WaitForLog(const std::string& needle, std::chrono::milliseconds timeout);
    std::optional<int> WaitExit(std::chrono::milliseconds timeout) { return proc.Wait(timeout); }
    void Kill() { proc.Kill(); }
    // Posts WM_CLOSE to the launcher window (found by its title); true when the window was there.
    bool CloseWindow();
    fs::path LogFile() const { return logFile; }

private:
    fs::path logFile;
    Process proc;
    bool timerExpected = false;
};

// Strips "[timestamp] [LEVEL] " from each line; returns "LEVEL message".
std::vector<std::string> SplitLogLines(const std::string& log);

// Polls until pred is true or the time runs out.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step = 50ms);

// Runs a shell command on the test display; returns its standard output.
std::string Shell(const std::string& command);
// Saves a PNG of the whole display.
bool Screenshot(const fs::path& png);

}  // namespace e2e

#include <thread>
template <typename Pred>
bool e2e::WaitUntil(Pred pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(step);
    }
    return pred();
}
