// The "servers" array of the sign-in answers and the login page's message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "patch/PatchManager.h"
#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const char* const kKeys[] = {"serverId", "serverName", "serverIp", "serverPort", "status", "isNew"};

bool Same(const GameServer& a, const GameServer& b) {
    return a.id == b.id && a.name == b.name && a.ip == b.ip && a.port == b.port && a.status == b.status &&
           a.isNew == b.isNew;
}

// A record written back the way a server writes one.
std::string Written(const GameServer& s) {
    return "{\"serverId\":\"" + std::to_string(s.id) + "\",\"serverName\":\"" + EscapeJsonString(s.name) +
           "\",\"serverIp\":\"" + EscapeJsonString(s.ip) + "\",\"serverPort\":\"" + s.port +
           "\",\"status\":\"" + EscapeJsonString(s.status) + "\",\"isNew\":" + (s.isNew ? "true" : "false") + "}";
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Only a record whose texts hold no "}" reads back as itself, and only when no
// text is a key or ends in a quote and a key: "}" ends the object, and such a
// value, written out, holds the quoted key before the key itself.
bool WritesBack(const GameServer& s) {
    for (const std::string* text : {&s.name, &s.ip, &s.port, &s.status}) {
        if (text->find('}') != std::string::npos) return false;
        for (const char* key : kKeys)
            if (*text == key || EndsWith(*text, std::string("\"") + key)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string json(reinterpret_cast<const char*>(data), size);
    const GameServer kept{7, "kept", "10.0.0.1", "1", "Online", true};
    std::vector<GameServer> servers{kept};
    PatchManager::ParseServersJson(json, servers);

    // Records are appended after what the list held, at most one per "}".
    FUZZ_CHECK(!servers.empty() && Same(servers.front(), kept));
    size_t closes = 0;
    for (char c : json) closes += c == '}';
    FUZZ_CHECK(servers.size() - 1 <= closes);
    if (json.find("\"servers\":[") == std::string::npos) FUZZ_CHECK(servers.size() == 1);

    std::vector<GameServer> parsed(servers.begin() + 1, servers.end());
    std::string answer = "{\"servers\":[";
    bool writable = true;
    for (const GameServer& s : parsed) {
        FUZZ_CHECK(!s.port.empty());
        FUZZ_CHECK(s.port.find('"') == std::string::npos);
        FUZZ_CHECK(s.name.size() <= json.size() && s.ip.size() <= json.size() && s.status.size() <= json.size());
        writable = writable && WritesBack(s);
        answer += Written(s) + ",";
    }
    answer += "]}";
    if (writable) {
        std::vector<GameServer> again;
        PatchManager::ParseServersJson(answer, again);
        FUZZ_CHECK(again.size() == parsed.size());
        for (size_t i = 0; i < parsed.size(); ++i) FUZZ_CHECK(Same(again[i], parsed[i]));
    }
    return 0;
}
