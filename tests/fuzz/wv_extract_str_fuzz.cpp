// The login page message reader. Byte 0 gives the key length; then the key,
// then the message text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzCheck.h"
#include "ui/WebMessage.h"

namespace {

// The page's side: a backslash before every quote and backslash.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, json;
    if (!SplitKeyAndText(data, size, key, json)) return 0;

    const std::string value = WVExtractStr(json, key);
    FUZZ_CHECK(value.size() <= json.size());
    if (json.find("\"" + key + "\"") == std::string::npos) FUZZ_CHECK(value.empty());

    // Any bytes posted as a string value read back unchanged, whatever follows.
    if (key.find('"') == std::string::npos) {
        const std::string message = "{\"" + key + "\": \"" + Escaped(json) + "\",\"next\":\"" + key + "\"}";
        FUZZ_CHECK(WVExtractStr(message, key) == json);
    }
    return 0;
}
