#pragma once
// Readers for the server list and the news answer, and the decimal conversion
// they and the challenge reader share. No Windows header.
#include <cstdint>
#include <string>
#include <vector>

#include "patch/PatchTypes.h"

// Base-10 conversion of a leading number: blanks and one sign may come first,
// it stops at the first byte that is not a digit. False when no digit comes
// or the value does not fit in 32 bits.
bool ParseLeadingInt32(const std::string& text, int32_t& value);

// One entry per titled "{...}" of the answer, the last one first.
std::vector<NewsItem> ParseNewsAnswer(const std::string& answer);
