#pragma once
// Reading the login page's messages (their JSON form, looked up as text).
// No Windows header.
#include <string>

// The value after the first quoted key: an optional opening quote, then up to
// the next unescaped quote; a backslash copies the next character literally.
std::string WVExtractStr(const std::string& json, const std::string& key);
