#pragma once
// Parallel downloads of game files into ".part" files, size and XXH64 checks,
// and the swap into place with a ".bak" kept until the swap has succeeded.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <string>
#include <thread>

struct DownloadTask {
    std::string url;
    std::wstring destinationPath;
    uint64_t expectedSize = 0;
    std::string expectedHash;
};

class DownloadEngine {
public:
    explicit DownloadEngine(int workerCount);
    ~DownloadEngine();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    // Destinations must then be folder + a path IsSafeGamePath accepts; any
    // other task fails as a local file that cannot be created. Call before Start.
    void ConfineTo(const std::wstring& folder);

    void Enqueue(const DownloadTask& task);
    void Start(std::function<void(float, float)> onProgress, std::function<void(bool, const std::string)> onComplete);
    void Cancel();

private:
    struct RunState;
    void WorkerThreadLoop();
    void RunWorker(RunState& run);
    bool DownloadOne(const DownloadTask& task, RunState& run, void* session);
    bool DestinationAllowed(const std::wstring& finalPath) const;

    int workerCount;
    std::atomic<bool> running{false};
    std::atomic<bool> cancelRequested{false};
    std::queue<DownloadTask> queue;
    std::mutex queueMutex;
    std::thread loopThread;
    std::function<void(float, float)> onProgress;
    std::function<void(bool, const std::string)> onComplete;
    std::atomic<uint64_t> downloadedBytes{0};
    std::atomic<uint64_t> totalBytes{0};
    bool confined = false;
    std::wstring confinedFolder;  // with "\" separators
};

std::wstring Utf8ToWStringEngine(const std::string& text);

// Moves a checked part file over the final path, keeping the old file as
// final + ".bak" until the move has succeeded. False with error set otherwise.
bool InstallDownloadedFile(const std::wstring& partPath, const std::wstring& finalPath, std::string& error);
