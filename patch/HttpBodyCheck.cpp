#include "patch/HttpBodyCheck.h"

bool HttpBodyCheck::Complete() const {
    if (!StatusOk()) return false;
    if (!lengthGiven) return true;
    return lengthValid && received == length;
}

bool HttpBodyCheck::FailedFirstQueryIsTheEmptyFile(uint64_t expectedSize, const std::string& expectedHash,
                                                   bool emptyChunkedError) const {
    return StatusOk() && !lengthGiven && received == 0 && emptyChunkedError && expectedSize == 0 &&
           expectedHash == kEmptyFileHash;
}

bool ParseContentLength(const std::string& text, uint64_t& out) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t digitsStart = i;
    uint64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (i == digitsStart) return false;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i != n) return false;
    out = value;
    return true;
}
