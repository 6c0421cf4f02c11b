#include "ui/WebMessage.h"

std::string WVExtractStr(const std::string& json, const std::string& key) {
    const std::string quoted = "\"" + key + "\"";
    size_t at = json.find(quoted);
    if (at == std::string::npos) return "";
    size_t colon = json.find(':', at + quoted.size());
    if (colon == std::string::npos) return "";
    size_t i = colon + 1;
    while (i < json.size() && (json[i] == ' ' || json[i] == '\t')) ++i;
    if (i < json.size() && json[i] == '"') ++i;
    std::string out;
    while (i < json.size()) {
        char c = json[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < json.size()) {
            out += json[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}
