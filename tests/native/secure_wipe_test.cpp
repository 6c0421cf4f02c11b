// Wiping secrets: a text's whole buffer, what a move leaves behind, and the
// blocks of the wiping allocator.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

namespace {

// What the release of the last wiped block saw.
struct Released {
    const unsigned char* block = nullptr;
    bool payloadZero = false;
} g_released;
size_t g_payloadSize = 0;

void CheckThenFree(void* block) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    g_released.block = bytes;
    g_released.payloadZero = AllZero(reinterpret_cast<const char*>(bytes) + alignof(std::max_align_t), g_payloadSize);
    std::free(block);
}

}  // namespace

// Every block of the wiping allocator is as aligned as malloc's, writable to
// its last byte (ASan watches), and zeroed to its last byte before it is
// released; freeing nothing does nothing, and a size that cannot be had fails.
TEST(SecureWipe, WipingAllocatorZeroesEachBlockBeforeItIsReleased) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{257}, size_t{1} << 20}) {
        SCOPED_TRACE(size);
        void* p = WipingAlloc(size, nullptr);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
        std::memset(p, 0xA5, size);
        g_payloadSize = size;
        g_released = {};
        WipeBlock(p, CheckThenFree);
        EXPECT_EQ(g_released.block, static_cast<unsigned char*>(p) - alignof(std::max_align_t));
        EXPECT_TRUE(g_released.payloadZero);
        WipingFree(WipingAlloc(size, nullptr), nullptr);
    }
    WipingFree(nullptr, nullptr);
    WipeBlock(nullptr, CheckThenFree);
    EXPECT_EQ(WipingAlloc(static_cast<size_t>(-1), nullptr), nullptr);
}
