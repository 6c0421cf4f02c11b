#include "patch/TextHelpers.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~';
}

std::string PercentEncode(const std::string& text, bool keepSlash) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c) || (keepSlash && c == '/')) {
            out += ch;
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

// Four hex digits at text[at..at+3] as a 16-bit value, or -1.
long ReadHex4(const std::string& text, size_t at) {
    if (at + 4 > text.size()) return -1;
    long v = 0;
    for (size_t k = 0; k < 4; ++k) {
        int d = HexDigitToInt(text[at + k]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The two bytes after a '%', read the way strtol reads a base-16 number:
// leading white space, an optional sign, then the longest run of hex digits.
// False when no digit is found (where strtol would convert nothing).
bool ReadPercentPair(char a, char b, long& value) {
    const char pair[2] = {a, b};
    size_t k = 0;
    while (k < 2 && IsCSpace(pair[k])) ++k;
    bool negative = false;
    if (k < 2 && (pair[k] == '+' || pair[k] == '-')) {
        negative = pair[k] == '-';
        ++k;
    }
    if (k >= 2 || HexDigitToInt(pair[k]) < 0) return false;
    long v = 0;
    while (k < 2) {
        int d = HexDigitToInt(pair[k]);
        if (d < 0) break;
        v = v * 16 + d;
        ++k;
    }
    value = negative ? -v : v;
    return true;
}

}  // namespace

int HexDigitToInt(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Utf8FromCodepoint(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp <= 0x7FF) {
        out += static_cast<char>(0xC0 | ((cp >> 6) & 0x1F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0xFFFF) {
        out += static_cast<char>(0xE0 | ((cp >> 12) & 0x0F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((cp >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string UnescapeJsonString(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        char c = text[i];
        if (c != '\\' || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        char e = text[i + 1];
        switch (e) {
            case 'b': out += '\x08'; break;
            case 'f': out += '\x0C'; break;
            case 'n': out += '\x0A'; break;
            case 'r': out += '\x0D'; break;
            case 't': out += '\x09'; break;
            case 'u': break;
            default: out += e; break;  // quote, slash, backslash and unknown escapes alike
        }
        if (e != 'u') {
            i += 2;
            continue;
        }
        long v = ReadHex4(text, i + 2);
        if (v < 0) {
            // Not a full escape: drop the backslash and the 'u', keep what follows as text.
            i += 2;
            continue;
        }
        i += 6;
        if (v >= 0xD800 && v <= 0xDBFF && i + 1 < n && text[i] == '\\' && text[i + 1] == 'u') {
            long w = ReadHex4(text, i + 2);
            if (w >= 0xDC00 && w <= 0xDFFF) {
                uint32_t cp = 0x10000 + ((static_cast<uint32_t>(v - 0xD800) << 10) | static_cast<uint32_t>(w - 0xDC00));
                out += Utf8FromCodepoint(cp);
                i += 6;
                continue;
            }
        }
        out += Utf8FromCodepoint(static_cast<uint32_t>(v));
    }
    return out;
}

std::string ExtractJsonValue(const std::string& json, const std::string& key, bool unescape) {
    const std::string pattern = "\"" + key + "\"";
    size_t pos = json.find(pattern);
    if (pos == std::string::npos) return "";
    pos += pattern.size();
    const size_t n = json.size();
    while (pos < n && (json[pos] == ' ' || json[pos] == '\t' || json[pos] == ':')) ++pos;

    if (unescape) {
        if (pos < n && json[pos] == '"') ++pos;
        std::string collected;
        while (pos < n) {
            char c = json[pos];
            if (c == '\\' && pos + 1 < n) {
                collected += c;
                collected += json[pos + 1];
                pos += 2;
            } else if (c == '"') {
                return UnescapeJsonString(collected);
            } else {
                collected += c;
                ++pos;
            }
        }
        return "";  // no closing quote
    }

    if (pos < n && json[pos] == '"') {
        size_t end = json.find('"', pos + 1);
        return end == std::string::npos ? json.substr(pos + 1) : json.substr(pos + 1, end - pos - 1);
    }
    if (json.compare(pos, 4, "true") == 0) return "true";
    if (json.compare(pos, 5, "false") == 0) return "false";
    size_t end = pos;
    while (end < n && json[end] >= '0' && json[end] <= '9') ++end;
    return json.substr(pos, end - pos);
}

namespace {

// The escape for one byte, or null when it stands as it is.
const char* JsonEscapeOf(char c) {
    switch (c) {
        case '\t': return "\\t";
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '"': return "\\\"";
        case '\\': return "\\\\";
        default: return nullptr;
    }
}

}  // namespace

size_t EscapedJsonLength(const std::string& text) {
    size_t n = text.size();
    for (char c : text)
        if (JsonEscapeOf(c)) ++n;
    return n;
}

void AppendEscapedJson(std::string& out, const std::string& text) {
    for (char c : text) {
        if (const char* escape = JsonEscapeOf(c)) {
            out += escape;
        } else {
            out += c;
        }
    }
}

std::string EscapeJsonString(const std::string& text) {
    std::string out;
    out.reserve(EscapedJsonLength(text));
    AppendEscapedJson(out, text);
    return out;
}

std::string UrlEncodePath(const std::string& path) { return PercentEncode(path, true); }

std::string UrlEncodeQuery(const std::string& value) { return PercentEncode(value, false); }

std::string UrlDecodeQuery(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    const size_t n = value.size();
    size_t i = 0;
    while (i < n) {
        char c = value[i];
        long v = 0;
        if (c == '%' && i + 2 < n && ReadPercentPair(value[i + 1], value[i + 2], v)) {
            out += static_cast<char>(static_cast<unsigned long>(v) & 0xFF);
            i += 3;
        } else {
            // A malformed or cut-off percent sequence keeps its '%' and goes on.
            out += c == '+' ? ' ' : c;
            ++i;
        }
    }
    return out;
}

std::string Base64UrlEncode(const unsigned char* data, size_t count) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((count * 4 + 2) / 3);
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        uint32_t g = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out += alphabet[(g >> 18) & 63];
        out += alphabet[(g >> 12) & 63];
        out += alphabet[(g >> 6) & 63];
        out += alphabet[g & 63];
    }
    size_t rest = count - i;
    if (rest == 1) {
        uint32_t g = uint32_t(data[i]) << 16;
        out += alphabet[(g >> 18) & 63];
        out += alphabet[(g >> 12) & 63];
    } else if (rest == 2) {
        uint32_t g = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        out += alphabet[(g >> 18) & 63];
        out += alphabet[(g >> 12) & 63];
        out += alphabet[(g >> 6) & 63];
    }
    return out;
}
