// Status texts on their way to the footer; a server's own "error" text is one of them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzCheck.h"
#include "ui/FriendlyStatus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string shown = FriendlyStatusText(text);
    FUZZ_CHECK(shown.empty() == text.empty());
    // What is shown passes unchanged a second time.
    FUZZ_CHECK(FriendlyStatusText(shown) == shown);
    return 0;
}
