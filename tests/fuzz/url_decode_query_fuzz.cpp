#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = UrlDecodeQuery(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (text.find_first_of("%+") == std::string::npos) FUZZ_CHECK(decoded == text);
    // A '+' is always a space: one can only come out of a percent sequence.
    size_t plus = 0, percents = 0;
    for (char c : decoded) plus += c == '+';
    for (char c : text) percents += c == '%';
    FUZZ_CHECK(plus <= percents);
    FUZZ_CHECK(UrlDecodeQuery(UrlEncodeQuery(text)) == text);
    FUZZ_CHECK(UrlDecodeQuery(UrlEncodePath(text)) == text);
    return 0;
}
