// The window's side of Google sign-in: the background thread started by the
// login page, the per-frame poll that applies its result, and the synchronous
// road used when the login page cannot be opened.
#include <cstring>
#include <memory>
#include <thread>

#include "ui/CredentialStore.h"
#include "ui/UIManager.h"

namespace {

void StatusFromGoogleError(UIManager& ui, const std::string& error) {
    if (error == "google_unavailable") {
        ui.SetStatus("LOGIN COM GOOGLE INDISPONÍVEL NO MOMENTO.", true);
    } else if (error == "google_cancelled") {
        ui.SetStatus("LOGIN COM GOOGLE CANCELADO.", false);
    } else {
        ui.SetStatus(error, true);
    }
}

// Session fields, credentials and the form, shared by both roads.
void ApplySession(UIManager& ui, const UIManager::GoogleResult& r) {
    ui.userId = r.userId;
    ui.sessionToken = r.token;
    ui.webRootUrl = r.webRootUrl;
    ui.servers = r.servers;
    ui.loggedIn = true;

    const std::string& login = r.username.empty() ? r.userId : r.username;
    if (ui.rememberMe) {
        SaveCredentialsRegistry(login, "");
    } else {
        DeleteCredentialsRegistry();
    }
    std::memset(ui.emailBuf, 0, sizeof(ui.emailBuf));
    std::strncpy(ui.emailBuf, login.c_str(), sizeof(ui.emailBuf) - 1);
    ui.WipePassword();
}

// The detached sign-in thread: it uses only the shared block, its own cancel flag and the PatchManager.
void StartSignInThread(const std::shared_ptr<UIManager::GoogleShared>& shared,
                       const std::shared_ptr<std::atomic<bool>>& cancel, PatchManager* pm, int32_t generation) {
    std::thread([shared, cancel, pm, generation]() {
        UIManager::GoogleResult r;
        r.ready = true;
        r.generation = generation;
        try {
            if (pm) {
                r.ok = pm->GoogleOAuth(r.userId, r.username, r.token, r.webRootUrl, r.servers, r.error, cancel.get());
            } else {
                r.error = "google_internal";
            }
        } catch (...) {
            // An exception leaving a detached thread would end the process.
            r.ok = false;
            r.error = "google_internal";
        }
        std::lock_guard<std::mutex> lock(shared->googleMutex);
        if (shared->googleGeneration == generation) shared->googleResult = r;
        --shared->threadsRunning;
        shared->threadsDone.notify_all();
    }).detach();
}

}  // namespace

void UIManager::StartGoogleThread() {
    std::shared_ptr<GoogleShared> shared = google.block;
    {
        std::lock_guard<std::mutex> lock(shared->googleMutex);
        // The previous sign-in has not stored its result yet. One that was
        // cancelled no longer counts: its result will be dropped.
        if (shared->googleGeneration > 0 && shared->googleResult.generation != shared->googleGeneration &&
            !shared->googleCancel->load())
            return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    int32_t generation;
    {
        std::lock_guard<std::mutex> lock(shared->googleMutex);
        generation = ++shared->googleGeneration;
        shared->googleResult.ready = false;
        shared->googleCancel = cancel;
        ++shared->threadsRunning;
    }
    SetStatus("AGUARDANDO GOOGLE...", false);

    PatchManager* pm = patchManager;
    try {
        StartSignInThread(shared, cancel, pm, generation);
    } catch (...) {
        // No thread: deliver a failure, or every later request would be refused as "still running".
        std::lock_guard<std::mutex> lock(shared->googleMutex);
        --shared->threadsRunning;
        shared->googleResult = GoogleResult{};
        shared->googleResult.ready = true;
        shared->googleResult.generation = generation;
        shared->googleResult.error = "google_internal";
    }
}

UIManager::GoogleSharedRef::~GoogleSharedRef() {
    block->googleCancel->store(true);
    try {
        std::unique_lock<std::mutex> lock(block->googleMutex);
        block->threadsDone.wait(lock, [this] { return block->threadsRunning == 0; });
    } catch (...) {
    }
}

void UIManager::PollGoogle() {
    std::lock_guard<std::mutex> lock(google->googleMutex);
    if (google->googleResult.ready) {
        google->googleResult.ready = false;
        // A cancelled sign-in's result is dropped, also one stored just before
        // the cancel: whoever cancelled it has set a status of its own.
        if (!google->googleCancel->load()) ApplyGoogleResult();
    }
}

void UIManager::ApplyGoogleResult() {
    const GoogleResult r = google->googleResult;
    if (!r.ok) {
        StatusFromGoogleError(*this, r.error);
        return;
    }
    ApplySession(*this, r);
    if (loginModalOpen) CloseLoginModal();
    SetStatus("CONECTADO.", false);
    if (!servers.empty()) selectedServer = 0;
}

bool UIManager::DoGoogleLogin() {
    if (!patchManager) return false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        state = LauncherState::Idle;
    }
    SetStatus("AGUARDANDO GOOGLE...", false);

    GoogleResult r;
    r.ok = patchManager->GoogleOAuth(r.userId, r.username, r.token, r.webRootUrl, r.servers, r.error, nullptr);
    if (!r.ok) {
        StatusFromGoogleError(*this, r.error);
        return false;
    }
    ApplySession(*this, r);
    SetStatus("CONECTADO.", false);
    return true;
}
