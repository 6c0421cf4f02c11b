#pragma once
// Fresh presses of the Return key for the login panel, read from the Win32
// asynchronous key state (0x8000: down now; 0x0001: pressed since the
// previous query of any frame). No Windows header, so it builds natively.
#include <cstdint>

class ReturnPressGate {
public:
    // A frame without the login panel, the frame of a sign-out included: the
    // presses made meanwhile are spent, and a key that is down now must be let
    // go before it counts again (its auto-repeat is no fresh press).
    void Drain(uint16_t keyState);
    // A login-panel frame: true for a fresh press since the previous query.
    bool FreshPress(uint16_t keyState);

private:
    bool awaitRelease = false;
};
