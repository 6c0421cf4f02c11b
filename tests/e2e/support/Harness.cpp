#include "Harness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "BuildConfig.h"

namespace e2e {

fs::path SourceDir() { return VRENN_SOURCE_DIR; }
fs::path WinBuild() { return VRENN_WIN_BUILD; }
fs::path ServerExe() { return VRENN_SERVER_EXE; }
fs::path LauncherExe() { return WinBuild() / "VrennOnlineLauncher.exe"; }
fs::path WinTool(const std::string& name) { return WinBuild() / "tests" / "tools" / (name + ".exe"); }

fs::path MakeTempDir(const std::string& name) {
    fs::path base = fs::path(VRENN_WIN_BUILD).parent_path() / "e2e-tmp";
    std::string safe = std::regex_replace(name, std::regex("[^A-Za-z0-9_.-]"), "_");
    fs::path dir = base / (safe + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

int BuiltinPort() {
    std::string url = VRENN_BUILTIN_SERVER_URL;
    size_t colon = url.rfind(':');
    return std::atoi(url.c_str() + colon + 1);
}

int FreePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    int port = ntohs(addr.sin_port);
    close(s);
    return port;
}

std::string WinPath(const fs::path& p) {
    std::string s = fs::absolute(p).lexically_normal().string();
    for (char& c : s)
        if (c == '/') c = '\\';
    return "Z:" + s;
}

void WriteFile(const fs::path& p, const std::string& content) {
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << content;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return "";
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<nlohmann::json> ReadJsonLines(const fs::path& p) {
    std::vector<nlohmann::json> out;
    std::istringstream in(ReadFile(p));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_discarded()) out.push_back(j);
    }
    return out;
}

std::vector<std::string> Leftovers(const fs::path& dir) {
    std::vector<std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const fs::path ext = e.path().extension();
        if (e.is_regular_file() && (ext == ".part" || ext == ".bak"))
            out.push_back(e.path().lexically_relative(dir).generic_string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

Process::Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 const fs::path& stdoutFile) {
    pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        int outFd = stdoutFile.empty() ? devnull : open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(outFd, 1);
        dup2(outFd, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
}

Process::~Process() { Kill(); }

Process::Process(Process&& other) noexcept : pid(other.pid), status(other.status) { other.pid = -1; }

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        pid = other.pid;
        status = other.status;
        other.pid = -1;
    }
    return *this;
}

bool Process::Running() {
    if (pid <= 0 || status) return false;
    int st = 0;
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) {
        status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    return true;
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
    WaitUntil([&] { return !Running(); }, timeout, 20ms);
    return status;
}

void Process::Kill() {
    if (pid > 0 && Running()) {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        int st = 0;
        waitpid(pid, &st, 0);
        status = 128 + SIGKILL;
    }
}

StandInServer::StandInServer(int p, const fs::path& root, const fs::path& data, const fs::path& o)
    : port(p), out(o.empty() ? data : o) {
    fs::create_directories(out);
    proc = Process({ServerExe().string(), "--port", std::to_string(port), "--root", root.string(), "--data",
                    data.string(), "--out", out.string()},
                   {}, out / "server.stdout");
    // Ready when it accepts a connection.
    WaitUntil(
        [&] {
            int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(static_cast<uint16_t>(port));
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
            close(s);
            return ok;
        },
        10s, 20ms);
}

StandInServer::~StandInServer() { Stop(); }

void StandInServer::Stop() {
    if (proc.Running()) {
        kill(proc.Pid(), SIGTERM);
        if (!proc.Wait(3s)) proc.Kill();
    }
}

std::string StandInServer::Url() const { return "http://127.0.0.1:" + std::to_string(port); }

std::vector<nlohmann::json> StandInServer::Records(const std::string& name) const {
    return ReadJsonLines(out / name);
}

Process StartWindows(const fs::path& exe, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const fs::path& stdoutFile) {
    std::vector<std::string> argv{"/usr/lib/wine/wine64", exe.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Process(argv, env, stdoutFile);
}

LauncherRun::LauncherRun(const fs::path& gameDir, const std::map<std::string, std::string>& env) {
    fs::create_directories(gameDir);
    fs::path exe = gameDir / "VrennOnlineLauncher.exe";
    fs::copy_file(LauncherExe(), exe, fs::copy_options::overwrite_existing);
    logFile = gameDir.parent_path() / (gameDir.filename().string() + ".launcher.log");
    fs::remove(logFile);
    proc = StartWindows(WinTool("logcap"), {WinPath(logFile), WinPath(exe)}, env,
                        gameDir.parent_path() / (gameDir.filename().string() + ".wine.out"));
}

LauncherRun::~LauncherRun() {
    proc.Kill();
    if (timerExpected) return;
    const std::string log = Log();
    if (log.find(kShutdownTimerLine) != std::string::npos)
        ADD_FAILURE() << "the shutdown timer ended the launcher: its tear-down hung\n" << log;
}

bool LauncherRun::CloseWindow() {
    Process p = StartWindows(WinTool("wmclose"), {"Vrenn Ondrel - Launcher Oficial"});
    return p.Wait(30s) == 0;
}

std::string LauncherRun::Log() const { return ReadFile(logFile); }

std::vector<std::string> SplitLogLines(const std::string& log) {
    std::vector<std::string> out;
    static const std::regex line(R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] \[([A-Z]+)\] (.*)$)");
    std::istringstream in(log);
    std::string l;
    while (std::getline(in, l)) {
        std::smatch m;
        if (std::regex_match(l, m, line)) out.push_back(m[1].str() + " " + m[2].str());
    }
    return out;
}

std::vector<std::string> LauncherRun::LogMessages() const { return SplitLogLines(Log()); }

bool LauncherRun::WaitForLog(const std::string& needle, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return Log().find(needle) != std::string::npos; }, timeout, 50ms);
}

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

bool Screenshot(const fs::path& png) {
    std::string cmd = "xwd -root -silent | convert xwd:- '" + png.string() + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0 && fs::exists(png);
}

}  // namespace e2e
