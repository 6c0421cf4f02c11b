// Wiping secrets: a text's whole buffer, and what a move leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "patch/SecureWipe.h"

namespace {

bool AllZero(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace

// Bytes past the end of a text that once was longer still hold what it was:
// the wipe covers the whole buffer, and keeps it.
TEST(SecureWipe, WipeTextZeroesTheWholeBufferAndKeepsIt) {
    std::string text = "a password long enough for the heap";
    text.resize(4);
    const char* buffer = text.data();
    const size_t room = text.capacity();
    WipeText(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.data(), buffer);
    EXPECT_EQ(text.capacity(), room);
    EXPECT_TRUE(AllZero(buffer, room + 1));
}

// A short text lives inside the string object itself, and moving it copies
// the bytes: the moved-from object is wiped as well. A long one hands its
// buffer over and leaves nothing.
TEST(SecureWipe, SecretTextLeavesNoCopyWhereItCameFrom) {
    for (const std::string& secret : {std::string("short"), std::string("a password long enough for the heap")}) {
        std::string source = secret;
        const char* inside = source.data();
        const size_t room = source.capacity();
        SecretText kept(std::move(source));
        EXPECT_EQ(kept.str(), secret);
        if (inside != kept.str().data()) {
            EXPECT_TRUE(AllZero(inside, room)) << secret;
        }
        EXPECT_TRUE(AllZero(source.data(), source.capacity())) << secret;
    }
    const SecretText fromView(std::string_view("typed"));
    EXPECT_EQ(fromView.str(), "typed");
}
