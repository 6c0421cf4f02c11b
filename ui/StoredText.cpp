#include "ui/StoredText.h"

#include <cstdio>
#include <cstring>

#include "ui/NewsLayout.h"

std::string NarrowRegText(const char16_t* units, size_t count) {
    std::string text;
    for (size_t i = 0; i < count && units[i] != 0; ++i) text += static_cast<char>(units[i]);
    return text;
}

float NewsFontScaleFromText(const std::string& text) {
    float value = 1.0f;
    try {
        value = std::stof(text);
    } catch (...) {
        return 1.0f;
    }
    return value >= kNewsFontScaleMin && value <= kNewsFontScaleMax ? value : 1.0f;
}

std::string NewsFontScaleText(float scale) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%.2f", static_cast<double>(scale));
    return buf;
}

void CopyToField(char* field, size_t capacity, const std::string& text) {
    if (!field || capacity == 0) return;
    // A plain memset could be dropped as a dead store before the copy; volatile keeps it.
    volatile char* wipe = field;
    for (size_t i = 0; i < capacity; ++i) wipe[i] = 0;
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(field, text.data(), n);
}
