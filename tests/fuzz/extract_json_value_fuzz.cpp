// Byte 0 picks the mode, byte 1 the key length; then the key, then the JSON text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, json;
    if (size < 1 || !SplitKeyAndText(data + 1, size - 1, key, json)) return 0;
    const bool unescape = data[0] & 1;

    const std::string value = ExtractJsonValue(json, key, unescape);
    FUZZ_CHECK(value.size() <= json.size());
    if (json.find("\"" + key + "\"") == std::string::npos) FUZZ_CHECK(value.empty());
    if (!unescape) {
        // Raw mode yields a quoted inner text, a boolean or digits: never a quote.
        FUZZ_CHECK(value.find('"') == std::string::npos);
    }

    // Whatever the bytes, a body built with the escaper reads back unchanged.
    const std::string body = "{\"" + key + "\":\"" + EscapeJsonString(json) + "\",\"next\":1}";
    FUZZ_CHECK(ExtractJsonValue(body, key, true) == json);
    return 0;
}
