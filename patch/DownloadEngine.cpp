#include "patch/DownloadEngine.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "app/CriticalWork.h"
#include "patch/FileIntegritySystem.h"
#include "patch/HttpTransport.h"

namespace fs = std::filesystem;

namespace {

const char kCancelledText[] = "Operação cancelada pelo usuário.";
const char kCreateFailedText[] = "Falha ao criar o arquivo local.";
const char kDownloadFailedText[] = "Falha no download via WinHTTP.";
const char kReplaceFailedText[] = "Falha ao substituir o arquivo baixado.";

std::wstring WithBackslashes(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int len = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (len <= 0) return std::string();
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), len, nullptr, nullptr);
    return out;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Under Wine every lookup of a path costs tens of microseconds, and reopening a
// file costs three round trips to its server: until the swap, the part file is
// found by path only once, when it is created, and its checks read it back
// through that handle. The folder is made when the part file cannot be created
// for want of it. The handle may delete the file: a part file that is not
// swapped in goes with its handle, also when the process is ended.
HANDLE OpenPartFile(const std::wstring& partPath, const std::wstring& finalPath) {
    auto open = [&partPath] {
        return CreateFileW(partPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
        std::error_code ec;
        fs::path parent = fs::path(finalPath).parent_path();
        if (!parent.empty() && !fs::exists(parent, ec) && !ec) fs::create_directories(parent, ec);
        file = open();
    }
    return file;
}

// The file is deleted once its last handle closes, however that happens (the
// end of the process included). A worker blocked on a silent server cannot
// delete its part file itself, and the process may be ended under it.
void DeleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

// The part file's digest, read back from its start through the handle that
// wrote it; "" when it cannot be read from the start or a stop comes first.
std::string HashPartFile(HANDLE file, const std::atomic<bool>* stop) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::string();
    return FileIntegritySystem::ComputeReadHash(
        [file](char* buffer, size_t size) {
            size_t total = 0;
            DWORD got = 0;
            while (total < size && ReadFile(file, buffer + total, static_cast<DWORD>(size - total), &got, nullptr) &&
                   got > 0)
                total += got;
            return total;
        },
        stop);
}

// What a finished task means for its worker.
enum class TaskEnd { Next, StopWorker };

// Closes what a task opened, also when it throws.
struct TaskHandles {
    HANDLE file = INVALID_HANDLE_VALUE;
    HttpOpenGet get;
    void Close() {
        CloseHttpGet(get);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    ~TaskHandles() { Close(); }
};

}  // namespace

struct DownloadEngine::RunState {
    std::atomic<bool> anyFailed{false};
    std::string firstError;
    std::mutex errorMutex;
    std::chrono::steady_clock::time_point start;

    // The texts of a local file that cannot be created or swapped in replace an earlier one.
    void Replace(const std::string& text) {
        std::lock_guard<std::mutex> lock(errorMutex);
        anyFailed = true;
        firstError = text;
    }
    void SetIfEmpty(const std::string& text) {
        std::lock_guard<std::mutex> lock(errorMutex);
        anyFailed = true;
        if (firstError.empty()) firstError = text;
    }
};

std::wstring Utf8ToWStringEngine(const std::string& text) { return Utf8ToWString(text); }

// Windows refuses to replace or delete a read-only file, and CopyFileW carries
// the attribute to the copy; a game folder restored from a disc or an archive
// often has it on every file.
static void ClearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool InstallDownloadedFile(const std::wstring& partPath, const std::wstring& finalPath, std::string& error) {
    const std::wstring backupPath = finalPath + L".bak";
    std::error_code ec;
    bool backupMade = false;
    if (fs::exists(fs::path(finalPath), ec) && !ec) {
        // Cleared before the copy, so the backup can be deleted or restored as well.
        ClearReadOnly(finalPath);
        ClearReadOnly(backupPath);  // one left behind by an earlier run
        backupMade = CopyFileW(finalPath.c_str(), backupPath.c_str(), FALSE) != 0;
        // A copy cut short (a full disk) must not stay beside the game file.
        if (!backupMade) DeleteFileW(backupPath.c_str());
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExW(partPath.c_str(), finalPath.c_str(), flags)) {
        error = kReplaceFailedText;
        if (backupMade) MoveFileExW(backupPath.c_str(), finalPath.c_str(), flags);
        return false;
    }
    if (backupMade) DeleteFileW(backupPath.c_str());
    return true;
}

DownloadEngine::DownloadEngine(int count) : workerCount(count) {}

DownloadEngine::~DownloadEngine() { Cancel(); }

void DownloadEngine::ConfineTo(const std::wstring& folder) {
    confined = true;
    confinedFolder = WithBackslashes(folder);
}

void DownloadEngine::Enqueue(const DownloadTask& task) {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push(task);
    totalBytes += task.expectedSize;
}

void DownloadEngine::Start(std::function<void(float, float)> progress,
                           std::function<void(bool, const std::string)> complete) {
    if (running) return;
    if (loopThread.joinable()) {
        // A run has ended; its thread may still be returning from onComplete.
        if (loopThread.get_id() == std::this_thread::get_id()) return;
        loopThread.join();
    }
    running = true;
    cancelRequested = false;
    onProgress = std::move(progress);
    onComplete = std::move(complete);
    downloadedBytes = 0;
    loopThread = std::thread(&DownloadEngine::WorkerThreadLoop, this);
}

void DownloadEngine::RequestCancel() {
    cancelRequested = true;
    {
        std::lock_guard<std::mutex> lock(partsMutex);
        for (void* file : openParts)
            if (file) DeleteOnClose(static_cast<HANDLE>(file));
    }
    std::lock_guard<std::mutex> lock(runMutex);
    runChanged.notify_all();
}

void DownloadEngine::HoldPart(size_t slot, void* file) {
    std::lock_guard<std::mutex> lock(partsMutex);
    openParts[slot] = file;
    // A cancel that came before the handle was here did not reach it.
    if (cancelRequested) DeleteOnClose(static_cast<HANDLE>(file));
}

void DownloadEngine::ReleasePart(size_t slot) {
    std::lock_guard<std::mutex> lock(partsMutex);
    openParts[slot] = nullptr;
}

void DownloadEngine::Cancel() {
    RequestCancel();
    if (loopThread.joinable() && loopThread.get_id() != std::this_thread::get_id()) loopThread.join();
    running = false;
}

void DownloadEngine::WorkerThreadLoop() {
    RunState run;
    run.start = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(partsMutex);
        openParts.assign(static_cast<size_t>(std::max(workerCount, 0)), nullptr);
    }
    std::vector<std::thread> workers;
    try {
        for (int i = 0; i < workerCount; ++i) {
            {
                std::lock_guard<std::mutex> lock(runMutex);
                ++workersLeft;
            }
            try {
                workers.emplace_back(&DownloadEngine::RunWorker, this, std::ref(run), static_cast<size_t>(i));
            } catch (...) {
                std::lock_guard<std::mutex> lock(runMutex);
                --workersLeft;
                throw;
            }
        }
    } catch (...) {
        run.SetIfEmpty("Erro inesperado na thread de download.");
    }
    {
        std::unique_lock<std::mutex> lock(runMutex);
        runChanged.wait(lock, [this] { return workersLeft == 0 || cancelRequested; });
    }
    // A cancel is reported before the workers are joined: one of them may be
    // blocked on a server that never answers, and the process may end first.
    const bool reportedCancel = cancelRequested && onComplete;
    if (reportedCancel) onComplete(false, kCancelledText);
    for (auto& w : workers) w.join();
    running = false;
    if (!onComplete || reportedCancel) return;
    if (cancelRequested) {
        onComplete(false, kCancelledText);
    } else if (run.anyFailed) {
        std::string message;
        {
            std::lock_guard<std::mutex> lock(run.errorMutex);
            message = run.firstError;
        }
        onComplete(false, message);
    } else {
        onComplete(true, std::string());
    }
}

void DownloadEngine::RunWorker(RunState& run, size_t slot) {
    struct Ended {
        DownloadEngine* engine;
        ~Ended() {
            std::lock_guard<std::mutex> lock(engine->runMutex);
            --engine->workersLeft;
            engine->runChanged.notify_all();
        }
    } ended{this};
    HINTERNET session = nullptr;
    try {
        // A session that fails to open makes every request on it fail below.
        session = OpenHttpSession(&HttpTimeoutTable::kGameFile);
        while (!cancelRequested && !run.anyFailed) {
            DownloadTask task;
            {
                std::lock_guard<std::mutex> lock(queueMutex);
                if (queue.empty()) break;
                task = queue.front();
                queue.pop();
            }
            TaskEnd end = TaskEnd::Next;
            try {
                end = DownloadOne(task, run, session, slot) ? TaskEnd::Next : TaskEnd::StopWorker;
            } catch (const std::exception& e) {
                run.SetIfEmpty(std::string("Erro no arquivo: ") + e.what());
            } catch (...) {
                run.SetIfEmpty("Erro inesperado ao processar arquivo.");
            }
            if (end == TaskEnd::StopWorker) break;
        }
    } catch (...) {
        run.SetIfEmpty("Erro inesperado na thread de download.");
    }
    if (session) WinHttpCloseHandle(session);
}

bool DownloadEngine::DestinationAllowed(const std::wstring& finalPath) const {
    if (!confined) return true;
    if (finalPath.size() <= confinedFolder.size() || finalPath.compare(0, confinedFolder.size(), confinedFolder) != 0)
        return false;
    return IsSafeGamePath(WideToUtf8(finalPath.substr(confinedFolder.size())));
}

// One task; false when the worker has to stop at once (no local file).
bool DownloadEngine::DownloadOne(const DownloadTask& task, RunState& run, void* sessionHandle, size_t slot) {
    HINTERNET session = static_cast<HINTERNET>(sessionHandle);
    const std::wstring finalPath = WithBackslashes(task.destinationPath);
    const std::wstring partPath = finalPath + L".part";

    // File-list paths are server input: nothing is created outside the game folder.
    if (!DestinationAllowed(finalPath)) {
        run.Replace(kCreateFailedText);
        return false;
    }

    TaskHandles handles;
    handles.file = OpenPartFile(partPath, finalPath);
    if (handles.file == INVALID_HANDLE_VALUE) {
        run.Replace(kCreateFailedText);
        return false;
    }
    // Let go before the handle closes, also when the task throws.
    struct PartHold {
        DownloadEngine* engine;
        size_t slot;
        bool held = true;
        void Release() {
            if (held) engine->ReleasePart(slot);
            held = false;
        }
        ~PartHold() { Release(); }
    } hold{this, slot};
    HoldPart(slot, handles.file);

    bool ok = false;
    CrackedUrl url;
    HttpOpenGet& get = handles.get;
    if (CrackUtf8Url(task.url, url) && OpenHttpGet(session, url, get)) {
        // An error answer or a cut body must not pass for the file, checked or not:
        // status and declared length once here, the bytes counted, the end decides.
        HttpBodyCheck body = ReadBodyCheck(get.request);
        ok = body.StatusOk();
        std::vector<char> buffer;  // reused for every chunk of this task; only grows
        while (ok) {
            if (cancelRequested) {
                ok = false;
                break;
            }
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(get.request, &available)) {
                const bool emptyChunkedError = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
                ok = body.FailedFirstQueryIsTheEmptyFile(task.expectedSize, task.expectedHash, emptyChunkedError);
                break;
            }
            if (available == 0) {
                ok = body.Complete();
                break;
            }
            if (buffer.size() < available) buffer.resize(available);
            DWORD read = 0;
            if (!WinHttpReadData(get.request, buffer.data(), available, &read)) {
                ok = false;
                break;
            }
            body.received += read;
            if (read == 0) continue;
            if (!WriteAll(handles.file, buffer.data(), read)) {
                ok = false;
                break;
            }
            const uint64_t done = downloadedBytes += read;
            // After a cancel the run has reported its end; no progress may follow it.
            if (onProgress && !cancelRequested) {
                auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                     run.start);
                double seconds = static_cast<double>(elapsed.count()) / 1000.0;
                double speed = seconds > 0 ? static_cast<double>(done) / 1024.0 / seconds : 0.0;
                const uint64_t total = totalBytes;
                float fraction = total != 0 ? static_cast<float>(done) / static_cast<float>(total) : 0.0f;
                // A server that sends more than the list promised must not push the bar past full.
                if (fraction > 1.0f) fraction = 1.0f;
                onProgress(fraction, static_cast<float>(speed));
            }
        }
    }
    CloseHttpGet(get);

    if (ok && !cancelRequested) {
        if (task.expectedSize != 0) {
            LARGE_INTEGER size{};
            if (!GetFileSizeEx(handles.file, &size) || static_cast<uint64_t>(size.QuadPart) != task.expectedSize)
                ok = false;
        }
        if (ok && !task.expectedHash.empty()) {
            // A cancel ends the check of a large file too; the part file then goes.
            std::string hash = HashPartFile(handles.file, &cancelRequested);
            if (hash.empty() || hash != task.expectedHash) ok = false;
        }
    }
    // From here to the swap's end the shutdown timer waits: a backup copy cut
    // short or a checked file left as a part file would cost the player.
    const CriticalScope critical;
    hold.Release();
    // The process is ending: no swap starts, as after a cancel.
    if (!critical.Entered()) RequestCancel();
    const bool install = ok && !cancelRequested;
    if (!install) DeleteOnClose(handles.file);
    handles.Close();

    if (install) {
        std::string error;
        if (!InstallDownloadedFile(partPath, finalPath, error)) {
            run.Replace(error);
            ok = false;
        }
    }

    if (!ok && !cancelRequested) run.SetIfEmpty(kDownloadFailedText);
    return true;
}
