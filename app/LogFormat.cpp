#include "app/LogFormat.h"

#include <cstdio>

std::string EscapeJsonLog(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
            case 0x08: out += "\\b"; break;
            case 0x09: out += "\\t"; break;
            case 0x0A: out += "\\n"; break;
            case 0x0C: out += "\\f"; break;
            case 0x0D: out += "\\r"; break;
            case 0x22: out += "\\\""; break;
            case 0x5C: out += "\\\\"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof(buf), "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string FormatLogTimestamp(int year, int month, int day, int hour, int minute, int second, int millis) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute, second,
                  millis);
    return buf;
}

std::string FormatLogLine(const std::string& timestamp, const std::string& level, const std::string& message) {
    std::string line;
    line.reserve(timestamp.size() + level.size() + message.size() + 8);
    line += "[";
    line += timestamp;
    line += "] [";
    line += level;
    line += "] ";
    line += message;
    line += "\n";
    return line;
}

std::string FormatLogRecord(const std::string& level, const std::string& message, const std::string& timestamp) {
    return "{\"level\":\"" + EscapeJsonLog(level) + "\",\"message\":\"" + EscapeJsonLog(message) +
           "\",\"timestamp\":\"" + EscapeJsonLog(timestamp) + "\"}";
}

bool IsRemoteLevel(const std::string& level) { return level == "ERROR" || level == "FATAL"; }
