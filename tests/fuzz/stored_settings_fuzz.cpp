// What the per-user registry store hands back: a setting's text (read as the
// UTF-16 units of a REG_SZ value), the news text scale it holds, and a
// remembered credential put into the login form's fields.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"
#include "ui/NewsLayout.h"
#include "ui/StoredText.h"

namespace {

void CheckScale(float scale) {
    FUZZ_CHECK(scale == 1.0f || (scale >= kNewsFontScaleMin && scale <= kNewsFontScaleMax));
}

// The field holds the text's first capacity - 1 bytes, then zeros only.
void CheckField(const std::string& text, size_t capacity) {
    std::vector<char> field(capacity, 'x');
    CopyToField(field.data(), capacity, text);
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    FUZZ_CHECK(std::string(field.data(), n) == text.substr(0, n));
    for (size_t i = n; i < capacity; ++i) FUZZ_CHECK(field[i] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // The registry's buffer holds 64 units, zeroed beyond what the value filled.
    char16_t units[64] = {};
    for (size_t i = 0; i < 64 && 2 * i + 1 < size; ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::string text = NarrowRegText(units, 64);
    FUZZ_CHECK(text.size() <= 64);
    for (size_t i = 0; i < text.size(); ++i) FUZZ_CHECK(text[i] == static_cast<char>(units[i]));

    for (const std::string* stored : {&text, &bytes}) {
        const float scale = NewsFontScaleFromText(*stored);
        CheckScale(scale);
        // A scale taken in saves to a text that gives it back to two decimals.
        const float again = NewsFontScaleFromText(NewsFontScaleText(scale));
        CheckScale(again);
        FUZZ_CHECK(std::fabs(again - scale) <= 0.0051f);
    }

    // The login form's fields: EMAIL holds 128 bytes, SENHA 256.
    CheckField(bytes, 128);
    CheckField(bytes, 256);
    CheckField(bytes, 1);
    return 0;
}
