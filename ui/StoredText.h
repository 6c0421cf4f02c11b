#pragma once
// What the per-user store reads back: a registry text of a setting, the news
// text scale it holds, and a remembered credential put into a form field.
// No Windows header, so these build natively.
#include <cstddef>
#include <string>

// The units up to the first zero, at most `count`, each narrowed to one byte.
std::string NarrowRegText(const char16_t* units, size_t count);

// The stored "newsFontScale" text as a scale: its leading number when that
// lies within 0.9..1.4, otherwise 1.0.
float NewsFontScaleFromText(const std::string& text);
// "%.2f" of the scale, as it is stored.
std::string NewsFontScaleText(float scale);

// Wipes the field, then copies as much of the text as fits before its
// terminating zero.
void CopyToField(char* field, size_t capacity, const std::string& text);
