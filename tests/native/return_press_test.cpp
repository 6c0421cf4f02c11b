#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/ReturnPress.h"

namespace {

// Asynchronous key states as the login panel's queries see them.
constexpr uint16_t kUp = 0x0000;          // nothing since the previous query
constexpr uint16_t kTapped = 0x0001;      // pressed and let go since the previous query
constexpr uint16_t kHeld = 0x8000;        // down, nothing new since the previous query
constexpr uint16_t kPressedNow = 0x8001;  // down, pressed (or repeated) since the previous query

struct Query {
    bool loginPanel;  // false: a frame with the server panel (or the frame of a sign-out)
    uint16_t state;
    bool fresh;       // what a login-panel query answers
};

TEST(ReturnPress, OnlyFreshPressesOnTheLoginPanelCount) {
    struct Case {
        const char* name;
        std::vector<Query> frames;
    } cases[] = {
        {"one press, one login", {{true, kUp, false}, {true, kTapped, true}, {true, kUp, false}}},
        {"a press still down is reported once", {{true, kPressedNow, true}, {true, kHeld, false}, {true, kUp, false}}},
        {"auto-repeat on the login panel counts as presses",
         {{true, kPressedNow, true}, {true, kPressedNow, true}}},
        {"pressed on the server panel, then signed out",
         {{false, kTapped, false}, {false, kUp, false}, {true, kUp, false}, {true, kTapped, true}}},
        {"pressed in the sign-out's own frame", {{false, kTapped, false}, {true, kUp, false}}},
        {"held through the sign-out: repeats do not count until it is let go",
         {{false, kPressedNow, false},
          {true, kPressedNow, false},
          {true, kHeld, false},
          {true, kPressedNow, false},
          {true, kTapped, false},  // let go; the repeats before the release
          {true, kUp, false},
          {true, kTapped, true}}},
        {"held on the server panel but let go before the sign-out",
         {{false, kPressedNow, false}, {false, kUp, false}, {true, kTapped, true}}},
        {"held again after a sign-out's wait ended",
         {{false, kHeld, false}, {true, kUp, false}, {true, kPressedNow, true}, {true, kHeld, false}}},
        {"a second sign-out while held waits again",
         {{false, kHeld, false}, {true, kHeld, false}, {false, kHeld, false}, {true, kUp, false},
          {true, kTapped, true}}},
    };
    for (const Case& c : cases) {
        ReturnPressGate gate;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            const Query& q = c.frames[i];
            if (q.loginPanel)
                EXPECT_EQ(gate.FreshPress(q.state), q.fresh) << c.name << ", frame " << i;
            else
                gate.Drain(q.state);
        }
    }
}

}  // namespace
