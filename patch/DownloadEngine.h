#pragma once
// Parallel downloads of game files into ".part" files, size and XXH64 checks,
// and the swap into place with a ".bak" kept until the swap has succeeded.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

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
    // Cancel without the wait, for a process that is ending: no task starts
    // any more, the part file of each transfer in progress goes (when its
    // handle closes, at the latest when the process ends), and a run still
    // going reports its cancellation at once, whether or not its workers ever
    // return. Safe from any thread but the engine's own; Cancel still joins.
    void RequestCancel();
    // From Start until the run's workers have all been joined.
    bool Running() const { return running; }

private:
    struct RunState;
    void WorkerThreadLoop();
    void RunWorker(RunState& run, size_t slot);
    bool DownloadOne(const DownloadTask& task, RunState& run, void* session, size_t slot);
    bool DestinationAllowed(const std::wstring& finalPath) const;
    // The part file a worker has open, so a cancel can reach it; a handle
    // given while a cancel stands is marked for deletion at once.
    void HoldPart(size_t slot, void* file);
    void ReleasePart(size_t slot);

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
    // Per worker slot: the handle of its open part file, or null.
    std::mutex partsMutex;
    std::vector<void*> openParts;
    // Wakes the coordinating thread when a worker ends or a cancel comes.
    std::mutex runMutex;
    std::condition_variable runChanged;
    int workersLeft = 0;
};

std::wstring Utf8ToWStringEngine(const std::string& text);

// Moves a checked part file over the final path, keeping the old file as
// final + ".bak" until the move has succeeded. False with error set otherwise.
bool InstallDownloadedFile(const std::wstring& partPath, const std::wstring& finalPath, std::string& error);
