#include "ui/UIManager.h"

// Placeholder until the window lands.
UIManager::UIManager(PatchManager* pm) : patchManager(pm) {}
UIManager::~UIManager() = default;
void UIManager::SetGoogleEnabled(bool enabled) { googleEnabled = enabled; }
void UIManager::SetOnRunLoopStarted(std::function<void()> callback) { onRunLoopStarted = std::move(callback); }
bool UIManager::Initialize(int, int, const std::wstring&) { return false; }
void UIManager::Run() {}
