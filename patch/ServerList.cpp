// The "servers" array of the sign-in answers and the news answer, read object
// by object: each "{" up to the next "}" is one record, keys found by lookup.
#include "patch/ServerList.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "patch/PatchManager.h"
#include "patch/TextHelpers.h"

bool ParseLeadingInt32(const std::string& text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t magnitude = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) return false;
    }
    if (digits == 0) return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

static GameServer ServerFromObject(const std::string& object) {
    GameServer server;
    std::string rawId = ExtractJsonValue(object, "serverId", false);
    int32_t id = 0;
    // An id that cannot be converted gives 0; the record is still kept.
    if (rawId.empty() || !ParseLeadingInt32(rawId, id)) id = 0;
    server.id = id;
    server.name = ExtractJsonValue(object, "serverName", true);
    server.ip = ExtractJsonValue(object, "serverIp", true);
    server.port = ExtractJsonValue(object, "serverPort", false);
    if (server.port.empty()) server.port = "29012";
    server.status = ExtractJsonValue(object, "status", true);
    server.isNew = ExtractJsonValue(object, "isNew", false) == "true";
    return server;
}

void PatchManager::ParseServersJson(const std::string& json, std::vector<GameServer>& out) {
    static const std::string marker = "\"servers\":[";
    size_t pos = json.find(marker);
    if (pos == std::string::npos) return;
    pos += marker.size() - 1;
    // The walk goes on past the closing "]": every later "{...}" counts too.
    for (;;) {
        size_t open = json.find('{', pos);
        if (open == std::string::npos) return;
        size_t close = json.find('}', open);
        if (close == std::string::npos) return;
        out.push_back(ServerFromObject(json.substr(open, close - open + 1)));
        pos = close + 1;
    }
}

std::vector<NewsItem> ParseNewsAnswer(const std::string& answer) {
    std::vector<NewsItem> items;
    size_t pos = 0;
    for (;;) {
        size_t open = answer.find('{', pos);
        if (open == std::string::npos) break;
        size_t close = answer.find('}', open);
        if (close == std::string::npos) break;
        std::string object = answer.substr(open, close - open + 1);
        NewsItem item{ExtractJsonValue(object, "title", true), ExtractJsonValue(object, "date", true),
                      ExtractJsonValue(object, "content", true)};
        if (!item.title.empty()) items.push_back(std::move(item));
        pos = close + 1;
    }
    std::reverse(items.begin(), items.end());
    return items;
}
