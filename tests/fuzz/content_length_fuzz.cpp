// The Content-Length header of the file list, game files and launcher builds:
// accepted exactly when it is blanks, decimal digits, blanks, with a value
// that fits 64 bits, and then read back as those digits.
#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/HttpBodyCheck.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint64_t value = 12345;
    const bool ok = ParseContentLength(text, value);

    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    std::string digits = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    bool shape = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (!shape) {
        FUZZ_CHECK(!ok);
        FUZZ_CHECK(value == 12345);  // untouched on failure
        return 0;
    }
    const size_t nonZero = digits.find_first_not_of('0');
    digits = nonZero == std::string::npos ? "0" : digits.substr(nonZero);
    const std::string max = std::to_string(UINT64_MAX);
    const bool fits = digits.size() < max.size() || (digits.size() == max.size() && digits <= max);
    FUZZ_CHECK(ok == fits);
    if (ok) FUZZ_CHECK(std::to_string(value) == digits);
    return 0;
}
