#pragma once
// A property that fails stops the run with a crash report and the input saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                       \
        }                                                                       \
    } while (0)

// For the readers that look a key up: byte 0 gives the key length (0 to 23),
// then come the key and the text. False when the input is too short for the key.
inline bool SplitKeyAndText(const uint8_t* data, size_t size, std::string& key, std::string& text) {
    if (size < 1) return false;
    const size_t keyLength = data[0] % 24;
    if (size - 1 < keyLength) return false;
    key.assign(reinterpret_cast<const char*>(data + 1), keyLength);
    text.assign(reinterpret_cast<const char*>(data + 1 + keyLength), size - 1 - keyLength);
    return true;
}
