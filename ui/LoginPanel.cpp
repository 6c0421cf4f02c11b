#include "ui/UIManager.h"

// Placeholder until the login panel lands.
void UIManager::RenderLoginPanel(ImDrawList*, float, float, float, float, float) {}
