#include "ui/UIManager.h"

// Placeholder until the news panel lands.
void UIManager::RenderNewsPanel(ImDrawList*, float, float, float, float) {}
