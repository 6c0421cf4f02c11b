#pragma once
// Secrets (the typed password, the bodies that carry it) are wiped before
// their memory is given back, with a write the optimiser may not drop. No
// Windows header: the wipe itself is SecureZeroMemory in SecureWipeWin.cpp,
// explicit_bzero in SecureWipePosix.cpp.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

void SecureWipe(void* data, size_t size);

// An allocator whose blocks are zeroed before they go back to the heap, for
// libraries that hold typed text in memory of their own (Dear ImGui's
// SetAllocatorFunctions takes these two). Each block keeps its size in front
// of what it hands out, aligned as malloc aligns.
void* WipingAlloc(size_t size, void* unused);
void WipingFree(void* ptr, void* unused);
// What WipingFree does, with the release of the whole block left to the
// caller: the block is zeroed, then handed over (to free in WipingFree).
void WipeBlock(void* ptr, void (*release)(void* block));

// Zeroes the text's whole buffer, the room past its end included, and empties
// it; the buffer itself is kept.
inline void WipeText(std::string& text) {
    text.resize(text.capacity());
    SecureWipe(text.data(), text.size());
    text.clear();
}

// A text that holds a secret, wiped when it goes. It cannot be copied, and a
// text moved into it is wiped where it was, so it leaves no copy behind.
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string_view text) {
        value.reserve(text.size());
        value.assign(text);
    }
    explicit SecretText(std::string&& text) : value(std::move(text)) { WipeText(text); }
    ~SecretText() { WipeText(value); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    const std::string& str() const { return value; }

private:
    std::string value;
};
