#pragma once
// Flat JSON access, JSON escaping, percent-encodings and base64url used by the
// patch service's exchanges. No Windows header: also built and fuzzed natively.
#include <cstddef>
#include <cstdint>
#include <string>

// First occurrence of "key" anywhere in json; string mode unescapes, raw mode
// reads a quoted inner text, true/false, or a run of digits. "" when absent.
std::string ExtractJsonValue(const std::string& json, const std::string& key, bool unescape);
std::string UnescapeJsonString(const std::string& text);
std::string EscapeJsonString(const std::string& text);
// The same escaping in two steps, so a body can be sized first and built in
// one buffer: the escaped length, then the escaped text appended.
size_t EscapedJsonLength(const std::string& text);
void AppendEscapedJson(std::string& out, const std::string& text);
std::string Utf8FromCodepoint(uint32_t cp);
int HexDigitToInt(char c);
std::string UrlEncodePath(const std::string& path);
std::string UrlEncodeQuery(const std::string& value);
std::string UrlDecodeQuery(const std::string& value);
std::string Base64UrlEncode(const unsigned char* data, size_t count);
// base64url of the SHA-256 of the text (43 characters), "" on failure. Windows only (CNG).
std::string Sha256Base64Url(const std::string& text);
