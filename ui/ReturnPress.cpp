#include "ui/ReturnPress.h"

namespace {
constexpr uint16_t kDown = 0x8000;
constexpr uint16_t kPressedSinceLastQuery = 0x0001;
}  // namespace

void ReturnPressGate::Drain(uint16_t keyState) { awaitRelease = (keyState & kDown) != 0; }

bool ReturnPressGate::FreshPress(uint16_t keyState) {
    if (awaitRelease) {
        // Held since the drain: its repeats are not presses. The first query
        // that sees it up ends the wait; what that query reports are the
        // repeats made before the release.
        awaitRelease = (keyState & kDown) != 0;
        return false;
    }
    return (keyState & kPressedSinceLastQuery) != 0;
}
