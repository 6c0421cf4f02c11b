#pragma once
// Reading the launcher configuration. No Windows header.
#include <string>

inline constexpr char kLauncherVersion[] = "2.0";

// baseUrl without its trailing "/" characters, then "/api/launcher/config".
std::string GetConfigUrl(const std::string& baseUrl);
// The text between the first pair of quotes after the key's colon; escapes stay as they are.
std::string ParseJsonString(const std::string& json, const std::string& key);
// ":false" / ":true" right after the quoted key decide; otherwise a non-empty googleClientId.
bool GoogleSectionEnabled(const std::string& json);
// A plain byte comparison with the built-in version: any other text orders the update.
bool SelfUpdateWanted(const std::string& version, const std::string& downloadUrl);
// The launcher folder from its module path: up to the last "\" or "/", then "/".
std::wstring ExeDirFromModulePath(const std::wstring& modulePath);
