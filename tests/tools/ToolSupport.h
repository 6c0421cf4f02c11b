#pragma once
// Text helpers the probe programs share: wide arguments to bytes, hex in and
// out, JSON strings for their report lines, and environment variables.
#include <windows.h>

#include <string>

// UTF-16 to UTF-8.
inline std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), len, nullptr, nullptr);
    return out;
}

// Each UTF-16 unit cut to its low byte: for plain ASCII arguments (anything
// else reaches the probes hex-encoded).
inline std::string Narrow(const std::wstring& w) {
    std::string out;
    for (wchar_t c : w) out += static_cast<char>(c);
    return out;
}

// Lower-case hex of the bytes.
inline std::string Hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

inline std::string Hex(const std::string& s) {
    return Hex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// The bytes a hex text stands for; a trailing odd digit is ignored.
template <class Text>
std::string FromHexText(const Text& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(Text(hex, i, 2), nullptr, 16));
    return out;
}
inline std::string FromHex(const std::string& hex) { return FromHexText(hex); }
inline std::string FromHex(const std::wstring& hex) { return FromHexText(hex); }

// A JSON string literal: quote and backslash escaped, control bytes as \u00XX, other bytes as they are.
inline std::string JsonQuote(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The variable as UTF-8; "" when unset, empty or longer than 4095 units.
inline std::string Env(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return n > 0 && n < 4096 ? Utf8(std::wstring(buf, n)) : "";
}
