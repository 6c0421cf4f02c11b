#pragma once
// Text side of the logger: line, timestamp and remote record formats.
// No Windows header here, so these also build and run natively.
#include <string>

// Escapes UTF-8 text for a JSON string literal (the logger's own rules).
std::string EscapeJsonLog(const std::string& text);
// "%Y-%m-%d %H:%M:%S.mmm" from calendar fields and the milliseconds of the second.
std::string FormatLogTimestamp(int year, int month, int day, int hour, int minute, int second, int millis);
// "[" ts "] [" level "] " message "\n"
std::string FormatLogLine(const std::string& timestamp, const std::string& level, const std::string& message);
// {"level":"L","message":"M","timestamp":"T"}, each value escaped.
std::string FormatLogRecord(const std::string& level, const std::string& message, const std::string& timestamp);
// Only these two levels reach the remote sink (exact, case-sensitive).
bool IsRemoteLevel(const std::string& level);
