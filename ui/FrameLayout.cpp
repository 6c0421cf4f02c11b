#include "ui/FrameLayout.h"

#include <cmath>
#include <cstdio>

FrameLayout ComputeFrameLayout(float width, float height) {
    FrameLayout l{};
    const float innerWidth = width - 60.0f;
    l.newsX = 30.0f;
    l.newsWidth = std::floor((innerWidth - 20.0f) * 0.55f);
    l.rightWidth = innerWidth - 20.0f - l.newsWidth;
    l.rightX = 20.0f + (l.newsWidth + 30.0f);
    l.contentTop = 112.0f;
    l.footerHeight = 40.0f;
    l.contentHeight = height - 112.0f - 40.0f - 14.0f;
    return l;
}

bool InCaptionZone(int x, int y) { return x >= 0 && x <= 795 && y >= 0 && y <= 79; }

bool IsBusyState(LauncherState state) {
    const int32_t v = static_cast<int32_t>(state);
    return v >= 1 && v <= 4;
}

std::string ProgressOverlay(float progress) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.0f%%", static_cast<double>(progress * 100.0f));
    return buf;
}

std::string PresentFailureLine(int32_t hr) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%08X", static_cast<unsigned>(static_cast<uint32_t>(hr)));
    return std::string("[UIManager::Run] Present falhou com HRESULT: 0x") + buf;
}
