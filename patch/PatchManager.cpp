// The patch run: file list, verification, downloads, and the state reports.
#include "patch/PatchManager.h"

#include "app/CriticalWork.h"
#include "app/Logger.h"
#include "patch/DownloadEngine.h"
#include "patch/DownloadOrder.h"
#include "patch/FileIntegritySystem.h"
#include "patch/HttpTransport.h"
#include "patch/TextHelpers.h"

namespace {
const wchar_t kCacheFileName[] = L"launcher_cache.dat";
constexpr int kDownloadWorkers = 4;
}  // namespace

PatchManager::PatchManager(const std::wstring& dir, const std::string& url) : baseDir(dir), patchServerUrl(url) {
    if (!baseDir.empty() && baseDir.back() != L'\\' && baseDir.back() != L'/') baseDir += L"/";
}

PatchManager::~PatchManager() {
    BeginShutdown();
    active = false;
    if (worker.joinable()) worker.join();
    downloader.reset();
}

void PatchManager::BeginShutdown() noexcept {
    // The player has closed the launcher: a verification in progress ends
    // within a chunk instead of hashing the rest of the folder.
    stopping = true;
    // The window is gone by now: from here on a report, the cancellation
    // included, only reaches the log.
    DetachCallback();
    try {
        std::lock_guard<std::mutex> lock(engineLock);
        if (downloader) downloader->RequestCancel();
    } catch (const std::system_error&) {
        // The destructor's own cancel still comes.
    }
}

void PatchManager::DetachCallback() {
    std::unique_lock<HelperLock> lock(stateLock);
    callback.reset();
    while (callbacksInFlight != 0) callbacksIdle.wait(lock);
}

void PatchManager::Initialize() {
    integrity = std::make_unique<FileIntegritySystem>(baseDir);
    integrity->SetWarningSink([](const std::string& line) { Logger::Instance().Warn(line); });
    integrity->LoadLocalCache(baseDir + kCacheFileName);
}

void PatchManager::StartPatchProcess(bool forceVerify, PatchStateCallback newCallback) {
    auto shared = newCallback ? std::make_shared<const PatchStateCallback>(std::move(newCallback)) : nullptr;
    {
        std::lock_guard<HelperLock> lock(stateLock);
        callback = std::move(shared);
    }
    active = true;
    if (worker.joinable()) worker.join();
    worker = std::thread(&PatchManager::RunPatch, this, forceVerify);
}

void PatchManager::SetState(LauncherState newState, float newProgress, float speed, const std::string& message) {
    std::shared_ptr<const PatchStateCallback> report;
    {
        std::lock_guard<HelperLock> lock(stateLock);
        state = newState;
        progress = newProgress;
        statusMessage = message;
        if (!callback) return;
        report = callback;
        ++callbacksInFlight;
    }
    // Called outside the lock: the window's callback takes its own state mutex.
    struct Done {
        PatchManager* self;
        ~Done() {
            std::lock_guard<HelperLock> lock(self->stateLock);
            if (--self->callbacksInFlight == 0) self->callbacksIdle.notify_all();
        }
    } done{this};
    (*report)(newState, newProgress, speed, message);
}

void PatchManager::SetStatusMessage(const std::string& message) {
    std::lock_guard<HelperLock> lock(stateLock);
    statusMessage = message;
}

void PatchManager::SaveCache(const std::wstring& cachePath) {
    // A save is one of the pieces the shutdown timer waits for.
    const CriticalScope critical;
    if (critical.Entered() && !stopping) integrity->SaveLocalCache(cachePath);
}

std::string PatchManager::GetStatusMessage() const {
    std::lock_guard<HelperLock> lock(stateLock);
    return statusMessage;
}

void PatchManager::RunPatch(bool forceVerify) {
    if (!active) return;
    Logger& log = Logger::Instance();
    // Once the launcher closes, the run leaves no trace: no cache save, no engine, no report.
    auto stopped = [&] {
        if (!stopping) return false;
        log.Info("[PatchManager] Processo de patch interrompido: o launcher está fechando.");
        return true;
    };
    try {
        log.Info(std::string("[PatchManager] Iniciando verificação de patch (forceVerify=") +
                 (forceVerify ? "true" : "false") + ")...");
        SetState(LauncherState::CheckingUpdates, 0.0f, 0.0f, "Verificando se há atualizações...");

        const std::string manifestUrl = patchServerUrl + "/manifest.json";
        log.Info("[PatchManager] Baixando manifesto de: " + manifestUrl);
        std::string manifest;
        // An error page or a list cut short would read as a complete, shorter list.
        const bool fetched = DownloadWholeStringWinHTTP(manifestUrl, manifest);
        if (stopped()) return;
        if (!fetched) {
            log.Error("[PatchManager] Falha ao baixar manifesto de patch!");
            SetState(LauncherState::Error, 0.0f, 0.0f, "Não foi possível obter o manifesto de patch do servidor.");
            return;
        }

        log.Info("[PatchManager] Manifesto baixado com " + std::to_string(manifest.size()) +
                 " bytes. Analisando integridade...");
        if (!integrity) Initialize();
        integrity->LoadManifest(manifest);
        // A game lists at least its client: an answer with no usable line (an
        // empty body, a sign-in portal's page, a server's home page) is not
        // the file list, and would otherwise read as an up-to-date folder.
        if (integrity->ManifestSize() == 0) {
            log.Error("[PatchManager] Falha ao baixar manifesto de patch!");
            SetState(LauncherState::Error, 0.0f, 0.0f, "Não foi possível obter o manifesto de patch do servidor.");
            return;
        }

        SetState(LauncherState::Verifying, 0.0f, 0.0f, "Verificando integridade dos arquivos locais...");
        // Part files and backups left by a launcher that was ended mid-swap
        // or mid-download go, unless an earlier run's downloads still use them.
        const bool sweep = !(downloader && downloader->Running());
        std::vector<FileMetadata> toFetch = integrity->VerifyFiles(
            forceVerify, [this](float p) { SetState(LauncherState::Verifying, p, 0.0f, "Verificando integridade..."); },
            &stopping, sweep);
        if (stopped()) return;
        if (const size_t removed = integrity->LastLeftoversRemoved())
            log.Info("[PatchManager] Arquivos temporários de uma execução interrompida removidos: " +
                     std::to_string(removed));

        const std::wstring cachePath = baseDir + kCacheFileName;
        SaveCache(cachePath);
        log.Info("[PatchManager] Verificação concluída. Arquivos a baixar: " + std::to_string(toFetch.size()));

        if (toFetch.empty()) {
            log.Info("[PatchManager] Todos os arquivos já estão atualizados.");
            SetState(LauncherState::Completed, 1.0f, 0.0f, "Todos os arquivos estão atualizados!");
            return;
        }

        if (stopped()) return;
        SetState(LauncherState::Downloading, 0.0f, 0.0f, "Baixando atualizações...");
        OrderForDownload(toFetch);
        // Replacing the engine cancels and joins an earlier run's downloads;
        // that wait happens outside the lock a closing launcher needs.
        std::unique_ptr<DownloadEngine> earlier;
        {
            std::lock_guard<std::mutex> lock(engineLock);
            earlier = std::move(downloader);
        }
        earlier.reset();
        std::lock_guard<std::mutex> lock(engineLock);
        if (stopped()) return;
        downloader = std::make_unique<DownloadEngine>(kDownloadWorkers);
        downloader->ConfineTo(baseDir);
        for (const FileMetadata& entry : toFetch) {
            // The file list refuses such paths already; never hand one to the engine.
            if (!IsSafeGamePath(entry.path)) continue;
            DownloadTask task;
            task.url = patchServerUrl + "/files/" + UrlEncodePath(entry.path);
            task.destinationPath = baseDir + Utf8ToWString(entry.path);
            task.expectedSize = entry.size;
            task.expectedHash = entry.hash;
            downloader->Enqueue(task);
        }

        downloader->Start(
            // The text is made once here, not per chunk.
            [this, text = std::string("Baixando arquivos...")](float fraction, float speed) {
                SetState(LauncherState::Downloading, fraction, speed, text);
            },
            [this, cachePath](bool ok, const std::string message) {
                Logger& logger = Logger::Instance();
                if (ok) {
                    logger.Info("[PatchManager] Download concluído com sucesso.");
                    SaveCache(cachePath);
                    SetState(LauncherState::Completed, 1.0f, 0.0f, "Atualização concluída com sucesso!");
                } else {
                    logger.Error("[PatchManager] Falha no download: " + message);
                    SetState(LauncherState::Error, 0.0f, 0.0f, "Erro durante a atualização: " + message);
                }
            });
    } catch (const std::exception& e) {
        log.Fatal(std::string("[PatchManager] Exceção no processo de patch: ") + e.what());
        SetState(LauncherState::Error, 0.0f, 0.0f, std::string("Erro no processo de patch: ") + e.what());
    } catch (...) {
        log.Fatal("[PatchManager] Exceção desconhecida no processo de patch!");
        SetState(LauncherState::Error, 0.0f, 0.0f, "Erro inesperado no processo de patch.");
    }
}
