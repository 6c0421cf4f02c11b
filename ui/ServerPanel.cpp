#include "ui/UIManager.h"

// Placeholder until the server panel lands.
void UIManager::RenderServerPanel(ImDrawList*, float, float, float, float, float) {}
void UIManager::RenderLogoutButton(ImDrawList*) {}
void UIManager::RenderServerList(ImDrawList*, float) {}
void UIManager::RenderServerCard(ImDrawList*, int32_t, float) {}
void UIManager::RenderStartGameButton(ImDrawList*, float) {}
