#pragma once
// Types shared by the patch service and the window. No Windows header.
#include <cstdint>
#include <functional>
#include <string>

enum class LauncherState : int32_t {
    Idle = 0,
    CheckingUpdates = 1,
    Verifying = 2,
    Downloading = 3,
    // 4 is reserved: nothing produces it, but busy tests take 1 to 4.
    Completed = 5,
    Error = 6,
};

// (state, progress 0..1, speed KiB/s, raw status text); called on patch and download threads.
// The text is passed by reference: a download reports after every chunk, and a
// copy per report would be a heap allocation per chunk.
using PatchStateCallback = std::function<void(LauncherState, float, float, const std::string&)>;

struct GameServer {
    int32_t id;
    std::string name;
    std::string ip;
    std::string port;
    std::string status;
    bool isNew;
};

struct NewsItem {
    std::string title;
    std::string date;
    std::string content;
};
