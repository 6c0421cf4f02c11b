#pragma once
// The patch and account service: patch runs, sign-in, news, server lists and
// the game start. Created and owned by WinMain; the window holds a pointer.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "patch/LocalFiles.h"
#include "patch/PatchTypes.h"

class FileIntegritySystem;
class DownloadEngine;

class PatchManager {
public:
    PatchManager(const std::wstring& baseDir, const std::string& patchServerUrl);
    ~PatchManager();
    PatchManager(const PatchManager&) = delete;
    PatchManager& operator=(const PatchManager&) = delete;

    void Initialize();
    // The window has gone: from now on reports only reach the log, a
    // verification ends within a chunk, nothing new starts, and running
    // downloads are cancelled without waiting for them. The destructor then
    // joins. Called by start-up before the shutdown timer is armed; the
    // destructor calls it too.
    void BeginShutdown() noexcept;
    void StartPatchProcess(bool forceVerify, PatchStateCallback callback);

    std::string GetStatusMessage() const;
    const std::string& GetPatchServerUrl() const { return patchServerUrl; }

    bool Authenticate(const std::string& username, const std::string& password, std::string& userId,
                      std::string& token, std::string& webRootUrl, std::vector<GameServer>& servers,
                      std::string& error);
    bool Reauth(const std::string& userId, const std::string& token, std::string& signature, std::string& error);

    std::vector<NewsItem> FetchNews();
    static void ParseServersJson(const std::string& json, std::vector<GameServer>& out);

    bool GoogleOAuth(std::string& userId, std::string& username, std::string& token, std::string& webRootUrl,
                     std::vector<GameServer>& servers, std::string& error, std::atomic<bool>* cancel);
    // Tests only: stand-in Google endpoints (scheme, host and port; the paths
    // stay) and a shorter redirect wait.
    void SetGoogleEndpointsForTesting(const std::string& authBase, const std::string& tokenBase,
                                      int turnMilliseconds, int turns);

    // On false, error (and the status message) holds the reason.
    bool LaunchGame(const std::string& ip, const std::string& port, const std::string& userId,
                    const std::string& username, const std::string& signature, const std::string& serverName,
                    int32_t serverId, const std::string& webRootUrl, std::string& error);

private:
    void SetState(LauncherState newState, float newProgress, float speed, const std::string& message);
    void RunPatch(bool forceVerify);
    void SetStatusMessage(const std::string& message);
    // Saves the cache file unless the process has begun to end.
    void SaveCache(const std::wstring& cachePath);
    // Stops reports reaching the callback; returns once none is being delivered.
    void DetachCallback();

    LauncherState state = LauncherState::Idle;
    float progress = 0.0f;
    std::wstring baseDir;
    std::string patchServerUrl;
    // Google's endpoints and the redirect wait: 30 turns of 5 seconds, one
    // deadline of 150 seconds however many other requests reach the listener.
    std::string googleAuthBase = "https://accounts.google.com";
    std::string googleTokenBase = "https://oauth2.googleapis.com";
    int googleTurnMs = 5000;
    int googleTurns = 30;
    std::string statusMessage;
    std::unique_ptr<FileIntegritySystem> integrity;
    std::unique_ptr<DownloadEngine> downloader;
    // Guards the replacement of `downloader` against BeginShutdown's cancel.
    std::mutex engineLock;
    // Shared with the reports being delivered: taking it per report costs no copy of the callable.
    std::shared_ptr<const PatchStateCallback> callback;
    std::thread worker;
    std::atomic<bool> active{false};
    // Set once by the destructor: verification ends within a chunk, and nothing
    // is saved, started or reported after it.
    std::atomic<bool> stopping{false};
    // Guards state, progress, statusMessage and callback against the patch and
    // download threads; four workers take it after every chunk.
    mutable HelperLock stateLock;
    // Reports being delivered outside stateLock, so DetachCallback can wait for them.
    int callbacksInFlight = 0;
    HelperCondition callbacksIdle;
};
