// logprobe.exe [--endpoint URL] [--sync] [--wait-ms N] {LEVEL HEXMESSAGE}...
// Writes log lines through the launcher's Logger (messages given as hex so any
// byte survives the command line), then waits for the remote posts, and
// prints how long each call took in microseconds, one per line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/Logger.h"
#include "tests/tools/ToolSupport.h"

int wmain(int argc, wchar_t** argv) {
    Logger& log = Logger::Instance();
    int waitMs = 4000;
    bool sync = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--endpoint" && i + 1 < argc) {
            log.SetApiEndpoint(Narrow(argv[++i]));
        } else if (arg == L"--wait-ms" && i + 1 < argc) {
            waitMs = std::stoi(argv[++i]);
        } else if (arg == L"--sync") {
            sync = true;
        } else if (i + 1 < argc) {
            std::string level = Narrow(arg);
            std::string message = FromHex(argv[++i]);
            auto start = std::chrono::steady_clock::now();
            if (sync) log.SendSync(level, message);
            else if (level == "INFO") log.Info(message);
            else if (level == "WARN") log.Warn(message);
            else if (level == "ERROR") log.Error(message);
            else if (level == "FATAL") log.Fatal(message);
            else log.Log(level, message);
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
            std::printf("%lld\n", static_cast<long long>(us.count()));
            std::fflush(stdout);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return 0;
}
