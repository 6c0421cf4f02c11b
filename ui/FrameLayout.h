#pragma once
// Geometry and small rules of the launcher frame: the column split, the
// caption drag zone, the footer's busy test and overlay, the Present failure
// line. No Windows header and no Dear ImGui, so they build natively.
#include <cstdint>
#include <string>

#include "patch/PatchTypes.h"

struct FrameLayout {
    float newsX;
    float newsWidth;
    float rightX;
    float rightWidth;
    float contentTop;
    float contentHeight;
    float footerHeight;
};

// Columns of a W x H display: 30 px margins, a 20 px gap, 55 % (rounded down) to the news.
FrameLayout ComputeFrameLayout(float width, float height);

// Client point inside the strip that drags the window (x 0..795, y 0..79, both ends included).
bool InCaptionZone(int x, int y);

// CheckingUpdates, Verifying, Downloading and the unused value 4: the footer shows its bar.
bool IsBusyState(LauncherState state);

// The bar's overlay: progress x 100 as a whole percentage followed by "%".
std::string ProgressOverlay(float progress);

// "[UIManager::Run] Present falhou com HRESULT: 0x" + the 32-bit value in upper-case hex (8 digits).
std::string PresentFailureLine(int32_t hr);
