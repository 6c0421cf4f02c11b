#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string plain = UnescapeJsonString(text);
    // Every escape is at least as long as what it stands for.
    FUZZ_CHECK(plain.size() <= text.size());
    if (text.find('\\') == std::string::npos) FUZZ_CHECK(plain == text);
    FUZZ_CHECK(UnescapeJsonString(EscapeJsonString(text)) == text);
    return 0;
}
