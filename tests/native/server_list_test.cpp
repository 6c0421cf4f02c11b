// Server list and news answers read one "{...}" at a time.
#include <gtest/gtest.h>

#include <sstream>

#include "patch/PatchManager.h"
#include "patch/ServerList.h"

namespace {

GameServer Server(int32_t id, std::string name, std::string ip, std::string port, std::string status, bool isNew) {
    return GameServer{id, std::move(name), std::move(ip), std::move(port), std::move(status), isNew};
}

std::string Describe(const std::vector<GameServer>& list) {
    std::ostringstream s;
    for (const auto& g : list)
        s << "{" << g.id << "|" << g.name << "|" << g.ip << "|" << g.port << "|" << g.status << "|" << g.isNew
          << "}";
    return s.str();
}

std::string Describe(const std::vector<NewsItem>& list) {
    std::ostringstream s;
    for (const auto& n : list) s << "{" << n.title << "|" << n.date << "|" << n.content << "}";
    return s.str();
}

struct ServersCase {
    const char* name;
    std::string json;
    std::vector<GameServer> expected;
};

const std::string kFull =
    R"({"servers":[{"serverId":3,"serverName":"Alpha","serverIp":"10.0.0.7","serverPort":"7000","status":"Online","isNew":true}]})";

}  // namespace

TEST(ParseServersJson, ReadsEachFieldWithItsModeAndDefault) {
    const std::vector<ServersCase> cases = {
        {"full record", kFull, {Server(3, "Alpha", "10.0.0.7", "7000", "Online", true)}},
        {"port missing", R"({"servers":[{"serverId":1}]})", {Server(1, "", "", "29012", "", false)}},
        {"port empty string", R"({"servers":[{"serverId":1,"serverPort":""}]})", {Server(1, "", "", "29012", "", false)}},
        {"port number 0", R"({"servers":[{"serverId":1,"serverPort":0}]})", {Server(1, "", "", "0", "", false)}},
        {"id as string", R"({"servers":[{"serverId":"12"}]})", {Server(12, "", "", "29012", "", false)}},
        {"id null", R"({"servers":[{"serverId":null}]})", {Server(0, "", "", "29012", "", false)}},
        {"id negative number", R"({"servers":[{"serverId":-4}]})", {Server(0, "", "", "29012", "", false)}},
        {"id negative as string", R"({"servers":[{"serverId":"-4"}]})", {Server(-4, "", "", "29012", "", false)}},
        {"id with blanks and tail", R"({"servers":[{"serverId":" 7abc"}]})", {Server(7, "", "", "29012", "", false)}},
        {"isNew as string", R"({"servers":[{"isNew":"true"}]})", {Server(0, "", "", "29012", "", true)}},
        {"isNew as 1", R"({"servers":[{"isNew":1}]})", {Server(0, "", "", "29012", "", false)}},
        {"isNew upper case", R"({"servers":[{"isNew":"TRUE"}]})", {Server(0, "", "", "29012", "", false)}},
        {"name unescaped", R"({"servers":[{"serverName":"S\u00e3o \"P\""}]})",
         {Server(0, "S\xC3\xA3o \"P\"", "", "29012", "", false)}},
        {"first occurrence wins", R"({"servers":[{"status":"A","status":"B"}]})", {Server(0, "", "", "29012", "A", false)}},
        {"blank before colon", R"({"servers" :[{"serverId":1}]})", {}},
        {"blank after colon", R"({"servers": [{"serverId":1}]})", {}},
        {"blank before bracket", R"({"servers":  [{"serverId":1}]})", {}},
        {"no servers key", R"({"token":"x"})", {}},
        {"walk goes past the array", R"({"servers":[],"extra":{"n":5}})", {Server(0, "", "", "29012", "", false)}},
        {"order kept", R"({"servers":[{"serverId":2},{"serverId":1}]})",
         {Server(2, "", "", "29012", "", false), Server(1, "", "", "29012", "", false)}},
        {"unclosed last object dropped", R"({"servers":[{"serverId":2},{"serverId":1)",
         {Server(2, "", "", "29012", "", false)}},
        // An id that does not convert gives 0, and the records before it stay.
        {"id not a number", R"({"servers":[{"serverId":5},{"serverId":"abc"},{"serverId":6}]})",
         {Server(5, "", "", "29012", "", false), Server(0, "", "", "29012", "", false),
          Server(6, "", "", "29012", "", false)}},
        {"id out of range", R"({"servers":[{"serverId":5},{"serverId":99999999999}]})",
         {Server(5, "", "", "29012", "", false), Server(0, "", "", "29012", "", false)}},
        {"id true", R"({"servers":[{"serverId":true}]})", {Server(0, "", "", "29012", "", false)}},
    };
    for (const auto& c : cases) {
        std::vector<GameServer> out;
        PatchManager::ParseServersJson(c.json, out);
        EXPECT_EQ(Describe(out), Describe(c.expected)) << c.name;
    }
}

TEST(ParseServersJson, AppendsToWhatTheListHolds) {
    std::vector<GameServer> out{Server(99, "kept", "", "1", "", false)};
    PatchManager::ParseServersJson(kFull, out);
    PatchManager::ParseServersJson(kFull, out);
    EXPECT_EQ(Describe(out), Describe({Server(99, "kept", "", "1", "", false),
                                       Server(3, "Alpha", "10.0.0.7", "7000", "Online", true),
                                       Server(3, "Alpha", "10.0.0.7", "7000", "Online", true)}));
    PatchManager::ParseServersJson("no list here", out);
    EXPECT_EQ(out.size(), 3u);
}

TEST(ParseNewsAnswer, LastEntryFirstAndUntitledDropped) {
    struct Case {
        const char* name;
        std::string answer;
        std::vector<NewsItem> expected;
    };
    const std::vector<Case> cases = {
        {"three titled", R"([{"title":"first","date":"d1","content":"c1"},{"title":"second"},{"title":"third"}])",
         {{"third", "", ""}, {"second", "", ""}, {"first", "d1", "c1"}}},
        {"untitled in the middle", R"([{"title":"a"},{"date":"x","content":"y"},{"title":"b"}])",
         {{"b", "", ""}, {"a", "", ""}}},
        {"empty title dropped", R"([{"title":"","content":"y"}])", {}},
        {"wrapped in an object", R"({"news":[{"title":"only","date":"2026-01-02","content":"L\u00e1"}]})",
         {{"only", "2026-01-02", "L\xC3\xA1"}}},
        // "}" inside a value ends the object: its content's closing quote falls outside.
        {"brace in content", R"([{"title":"t1","content":"a}b"},{"title":"t2"}])", {{"t2", "", ""}, {"t1", "", ""}}},
        {"empty answer", "", {}},
        {"no object", "[]", {}},
        {"unclosed object", R"([{"title":"t1"},{"title":"t2")", {{"t1", "", ""}}},
        {"html error page", "<html><body>404</body></html>", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParseNewsAnswer(c.answer)), Describe(c.expected)) << c.name;
}

TEST(ParseLeadingInt32, StopsAtFirstNonDigitAndRefusesOverflow) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},          {"007", true, 7},    {"  +12x", true, 12},          {"-5", true, -5},
        {"2147483647", true, 2147483647},             {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
        {"", false, 0},          {"-", false, 0},     {"abc", false, 0},             {"true", false, 0},
        {" - 3", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 12345;
        EXPECT_EQ(ParseLeadingInt32(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}
