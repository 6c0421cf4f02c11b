#include "ui/UIManager.h"

// Placeholder until the embedded login page lands.
bool UIManager::OpenLoginModal() { return false; }
void UIManager::AttachWebView(void*, void*) {}
void UIManager::OnWebViewFailed() {}
void UIManager::CloseLoginModal() {}
void UIManager::RenderLoginModal(ImDrawList*) {}
void UIManager::OnWebMessage(const std::string&) {}
