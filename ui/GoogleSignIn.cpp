#include "ui/UIManager.h"

// Placeholder until the background Google sign-in lands.
bool UIManager::DoGoogleLogin() { return false; }
void UIManager::StartGoogleThread() {}
void UIManager::PollGoogle() {}
void UIManager::ApplyGoogleResult() {}
