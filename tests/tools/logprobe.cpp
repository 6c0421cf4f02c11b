// logprobe.exe [--endpoint URL] [--sync] [--until-file PATH] [--wait-ms N] {LEVEL HEXMESSAGE}...
// Writes log lines through the launcher's Logger (messages given as hex so any
// byte survives the command line) and prints how long each call took in
// microseconds, one per line. Then it stays alive for the remote posts: until
// PATH exists (the test saw what it waited for), and N ms more for anything late.
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
    std::wstring untilFile;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--endpoint" && i + 1 < argc) {
            log.SetApiEndpoint(Narrow(argv[++i]));
        } else if (arg == L"--wait-ms" && i + 1 < argc) {
            waitMs = std::stoi(argv[++i]);
        } else if (arg == L"--until-file" && i + 1 < argc) {
            untilFile = argv[++i];
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
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!untilFile.empty() && GetFileAttributesW(untilFile.c_str()) == INVALID_FILE_ATTRIBUTES &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return 0;
}
