#include "patch/PatchManager.h"

#include "patch/DownloadEngine.h"
#include "patch/FileIntegritySystem.h"

// Placeholder until the patch run lands.
PatchManager::PatchManager(const std::wstring& dir, const std::string& url) : baseDir(dir), patchServerUrl(url) {
    if (!baseDir.empty() && baseDir.back() != L'\\' && baseDir.back() != L'/') baseDir += L"/";
}
PatchManager::~PatchManager() = default;
void PatchManager::Initialize() {}
std::string PatchManager::GetStatusMessage() const {
    std::lock_guard<std::mutex> lock(stateLock);
    return statusMessage;
}
