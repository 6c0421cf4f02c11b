// Google sign-in end to end: the launcher's own code (googleprobe.exe) opens
// the authorization URL with ShellExecuteW, winebrowser starts the test
// browser named in the Wine registry, the browser asks the stand-in provider,
// follows its redirect to the launcher's loopback listener, and the code is
// exchanged at the stand-in token endpoint and the stand-in launcher server.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "support/Harness.h"

using namespace e2e;
using json = nlohmann::json;

namespace {

const std::string kClientId = "318-vrenn.apps.googleusercontent.com";

// An independent copy of the page every accepted connection must get.
const std::string kPage =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
    "<html><body style='background:#1a0b2e;color:#fff;font-family:sans-serif'><h2>Pode fechar esta janela e "
    "voltar ao launcher.</h2></body></html>";

std::string Hex(const std::string& s) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {d[c >> 4], d[c & 15]};
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string FormField(const std::string& body, const std::string& name) {
    std::smatch m;
    if (!std::regex_search(body, m, std::regex("(?:^|&)" + name + "=([^&]*)"))) return "";
    return m[1].str();
}

struct Outcome {
    std::optional<int> exit;
    json result;                   // the probe's outputs
    std::vector<json> browser;     // one line per browser step
    const json* Step(const std::string& name, int nth = 0) const {
        for (const auto& b : browser)
            if (b.value("step", "") == name && nth-- == 0) return &b;
        return nullptr;
    }
};

struct RunOptions {
    std::string plan = "auth,redirect,favicon";
    int turnMs = 1000;
    int turns = 30;
    std::vector<std::string> extra;  // more probe arguments
    bool expectBrowser = true;
};

class GoogleSignIn : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        data = dir / "data";
        WriteConfig(json{{"googleClientId", kClientId}}.dump());
        WriteGoogle(json::object());
        WriteFile(data / "accounts.json", json{{"servers", json::array({Server(1, "Padrao")})},
                                               {"accounts", json::array({Account()})}}
                                              .dump());
        server = std::make_unique<StandInServer>(FreePort(), dir / "game", data, dir / "out");
    }

    static json Server(int id, const std::string& name) {
        return {{"serverId", id}, {"serverName", name}, {"serverIp", "127.0.0.1"},
                {"serverPort", std::to_string(29000 + id)}, {"status", "Online"}, {"isNew", id == 2}};
    }
    static json Account() {
        return {{"username", "Jogadora"},
                {"email", "Jogadora@Vrenn.test"},
                {"userId", 4242},
                {"webRootUrl", "http://127.0.0.1/web/"},
                {"servers", json::array({Server(1, "Ondrel"), Server(2, "Nova Era")})}};
    }
    void WriteConfig(const std::string& text) { WriteFile(data / "config.json", text); }
    // The provider signs in the account's address, written in another case.
    void WriteGoogle(json j) {
        j["email"] = "jogadora@vrenn.test";
        WriteFile(data / "google.json", j.dump());
    }
    std::vector<json> Records(const std::string& name) { return server->Records(name); }
    std::vector<json> Requests(const std::string& path) {
        std::vector<json> out;
        for (auto& r : Records("requests.jsonl"))
            if (r.value("path", "") == path) out.push_back(r);
        return out;
    }

    Outcome Run(const RunOptions& o) {
        ++runs;
        fs::path browserLog = dir / ("browser" + std::to_string(runs) + ".jsonl");
        fs::path mark = dir / ("mark" + std::to_string(runs));
        fs::path out = dir / ("probe" + std::to_string(runs) + ".out");
        std::string browser = "\"/usr/lib/wine/wine64\" \"" + WinTool("testbrowser").string() + "\"";
        std::vector<std::string> args{"--server",  server->Url(),          "--google", server->Url(),
                                      "--turn-ms", std::to_string(o.turnMs), "--turns", std::to_string(o.turns),
                                      "--browser", browser};
        // Only a plan that marks gets a cancel flag; the others run as the login panel calls it, with none.
        if (o.plan.find("mark") != std::string::npos) {
            args.push_back("--cancel-on-file");
            args.push_back(WinPath(mark));
        }
        args.insert(args.end(), o.extra.begin(), o.extra.end());
        Process p = StartWindows(WinTool("googleprobe"), args,
                                 {{"VRENN_TESTBROWSER_LOG", WinPath(browserLog)},
                                  {"VRENN_TESTBROWSER_PLAN", o.plan},
                                  {"VRENN_TESTBROWSER_MARK", WinPath(mark)}},
                                 out);
        Outcome r;
        r.exit = p.Wait(180s);
        std::string text = ReadFile(out);
        size_t brace = text.rfind("{\"ok\"");
        if (brace != std::string::npos) r.result = json::parse(text.substr(brace), nullptr, false);
        if (o.expectBrowser) {
            // The browser may still be on its last steps when the probe returns.
            bool ended = WaitUntil(
                [&] { return ReadFile(browserLog).find("\"step\":\"end\"") != std::string::npos; }, 60s);
            if (!ended) {
                ADD_FAILURE() << "the test browser did not finish; browser processes now:\n"
                              << Shell("ps -eo pid,stat,etime,args | grep -E 'winebrowser|testbrowser' | grep -v grep");
            }
        }
        r.browser = ReadJsonLines(browserLog);
        return r;
    }

    fs::path dir, data;
    std::unique_ptr<StandInServer> server;
    int runs = 0;
};

std::string ResponseOf(const json* step) {
    return step && step->contains("response") ? Unhex((*step)["response"].get<std::string>()) : "<none>";
}

}  // namespace

// The configuration read comes before anything else: without a client id no
// browser starts and the outputs stay as they were.
TEST_F(GoogleSignIn, ConfigurationDecidesBeforeAnyBrowser) {
    struct Case {
        const char* name;
        std::string config;
        bool serverUp;
        std::string error;
    } cases[] = {
        {"no googleClientId", R"({"googleOAuthEnabled":true})", true, "google_unavailable"},
        {"empty googleClientId", R"({"googleClientId":""})", true, "google_unavailable"},
        {"server unreachable", R"({"googleClientId":"x"})", false, "auth_unreachable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConfig(c.config);
        if (!c.serverUp) server->Stop();
        RunOptions o;
        o.expectBrowser = false;
        o.extra = {"--prefill", "--existing", "1"};
        Outcome r = Run(o);
        ASSERT_EQ(r.exit, 0);
        EXPECT_EQ(r.result["ok"], false);
        EXPECT_EQ(r.result["error"], c.error);
        EXPECT_EQ(r.result["token"], "keep-token");
        EXPECT_EQ(r.result["userId"], "keep-user");
        EXPECT_EQ(r.result["servers"].size(), 1u);
        EXPECT_TRUE(r.browser.empty()) << "a browser was started";
        EXPECT_TRUE(Records("google_auth.jsonl").empty());
    }
}

// The whole road: the authorization URL as the provider received it, the page
// on every connection, the listener gone once the code came, the token form,
// the session body, and the session's values with the servers appended.
TEST_F(GoogleSignIn, FullRoadSignsInAndAppendsServers) {
    RunOptions o;
    o.plan = "auth,favicon,redirect,favicon";
    o.extra = {"--prefill", "--existing", "2"};
    Outcome r = Run(o);
    ASSERT_EQ(r.exit, 0);
    ASSERT_TRUE(r.result.is_object());
    EXPECT_EQ(r.result["ok"], true) << r.result.dump();
    EXPECT_EQ(r.result["error"], "keep-error");

    // Browser side.
    const json* start = r.Step("start");
    ASSERT_TRUE(start);
    ASSERT_EQ((*start)["args"].size(), 1u) << "winebrowser passes the URL as one argument";
    const std::string authUrl = (*start)["args"][0];
    const json* auth = r.Step("auth");
    ASSERT_TRUE(auth);
    EXPECT_EQ((*auth)["status"], 302);
    const std::string location = (*auth)["location"];
    EXPECT_EQ(ResponseOf(r.Step("favicon", 0)), kPage) << "a request without a code is answered too";
    EXPECT_EQ(ResponseOf(r.Step("redirect")), kPage);
    EXPECT_NE(ResponseOf(r.Step("favicon", 1)), kPage) << "the listener outlived the code";

    // The authorization request, exactly as it went out.
    auto authRecords = Records("google_auth.jsonl");
    ASSERT_EQ(authRecords.size(), 1u);
    const std::string query = authRecords[0]["query"];
    std::smatch m;
    ASSERT_TRUE(std::regex_match(query, m,
                                 std::regex("client_id=318-vrenn\\.apps\\.googleusercontent\\.com"
                                            "&redirect_uri=http%3A%2F%2F127\\.0\\.0\\.1%3A([0-9]+)%2Fcallback"
                                            "&response_type=code&scope=openid%20email"
                                            "&code_challenge=([A-Za-z0-9_-]{43})&code_challenge_method=S256")))
        << query;
    const std::string port = m[1].str();
    EXPECT_EQ(authUrl, server->Url() + "/o/oauth2/v2/auth?" + query);
    const std::string code = authRecords[0]["code"];
    EXPECT_EQ(code.substr(0, 2), "4/") << "the code needs decoding on its way back";
    EXPECT_EQ(location.substr(0, location.find('?')), "http://127.0.0.1:" + port + "/callback");

    // The token exchange: form body in its order, the decoded code, the verifier that matches.
    auto tokenRecords = Records("google_token.jsonl");
    ASSERT_EQ(tokenRecords.size(), 1u);
    const std::string body = tokenRecords[0]["body"];
    EXPECT_TRUE(std::regex_match(body, std::regex("code=[^&]+&client_id=[^&]+&redirect_uri=[^&]+"
                                                  "&grant_type=authorization_code&code_verifier=[A-Za-z0-9_-]{43}")))
        << body;
    EXPECT_EQ(tokenRecords[0]["code"], code);
    EXPECT_EQ(FormField(body, "code").substr(0, 5), "4%2F0");
    EXPECT_EQ(FormField(body, "redirect_uri"), "http%3A%2F%2F127.0.0.1%3A" + port + "%2Fcallback");
    EXPECT_EQ(tokenRecords[0]["verdict"], "ok");
    EXPECT_EQ(tokenRecords[0]["content_type"], "application/x-www-form-urlencoded");
    EXPECT_EQ(tokenRecords[0]["user_agent"], "VrennOnlineLauncher/2.0");

    // The session exchange: the ID token alone, no signing headers.
    auto sessionRecords = Records("google_session.jsonl");
    ASSERT_EQ(sessionRecords.size(), 1u);
    EXPECT_EQ(sessionRecords[0]["body"], "{\"idToken\":\"" + tokenRecords[0]["id_token"].get<std::string>() + "\"}");
    EXPECT_EQ(sessionRecords[0]["content_type"], "application/json");
    auto posts = Requests("/api/auth/google");
    ASSERT_EQ(posts.size(), 1u);
    for (const char* h : {"X-Challenge-Id", "X-PoW-Nonce", "X-Timestamp", "X-Signature"})
        EXPECT_FALSE(posts[0]["headers"].contains(h)) << h;

    // The session.
    EXPECT_EQ(r.result["token"], sessionRecords[0]["token"]);
    EXPECT_EQ(r.result["userId"], "4242");
    EXPECT_EQ(r.result["username"], "Jogadora");
    EXPECT_EQ(r.result["webRootUrl"], "http://127.0.0.1/web/");
    const json& servers = r.result["servers"];
    ASSERT_EQ(servers.size(), 4u);
    EXPECT_EQ(servers[0]["name"], "existing-0");
    EXPECT_EQ(servers[1]["name"], "existing-1");
    EXPECT_EQ(servers[2], (json{{"id", 1}, {"name", "Ondrel"}, {"ip", "127.0.0.1"}, {"port", "29001"},
                                {"status", "Online"}, {"isNew", false}}));
    EXPECT_EQ(servers[3]["name"], "Nova Era");
    EXPECT_EQ(servers[3]["isNew"], true);
}

// What the launcher server answers decides the session values; every call
// also makes a new verifier.
TEST_F(GoogleSignIn, SessionAnswerForms) {
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
        std::string token, userId, username, webRootUrl, error;
    } cases[] = {
        {"signature wins over token",
         R"({"signature":"sig-1","token":"tok-1","userId":7,"username":"Ana","webRootUrl":"w/"})",
         true, "sig-1", "7", "Ana", "w/", "keep-error"},
        {"token when there is no signature, userId 0 when absent", R"({"token":"tok-2","username":"Bia"})", true,
         "tok-2", "0", "Bia", "", "keep-error"},
        {"a quoted user id is taken as its text", R"({"token":"tok-3","userId":"12"})", true, "tok-3", "12", "", "",
         "keep-error"},
        {"the server's error is passed through", R"({"error":"Conta suspensa."})", false, "", "keep-user",
         "keep-name", "keep-root", "Conta suspensa."},
        {"neither a session nor an error", R"({"signature":"","token":"","error":""})", false, "", "keep-user",
         "keep-name", "keep-root", "google_denied"},
    };
    std::set<std::string> challenges;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteGoogle({{"session", c.answer}});
        RunOptions o;
        o.plan = "auth,redirect";
        o.extra = {"--prefill"};
        Outcome r = Run(o);
        ASSERT_EQ(r.exit, 0);
        EXPECT_EQ(r.result["ok"], c.ok) << r.result.dump();
        EXPECT_EQ(r.result["token"], c.token);
        EXPECT_EQ(r.result["userId"], c.userId);
        EXPECT_EQ(r.result["username"], c.username);
        EXPECT_EQ(r.result["webRootUrl"], c.webRootUrl);
        EXPECT_EQ(r.result["error"], c.error);
        auto auth = Records("google_auth.jsonl");
        ASSERT_FALSE(auth.empty());
        challenges.insert(auth.back()["params"]["code_challenge"].get<std::string>());
    }
    EXPECT_EQ(challenges.size(), std::size(cases)) << "a verifier was used twice";
}

// Failures after the wait: no ID token, a refused consent, a token endpoint
// that does not answer, and a code whose escapes are malformed.
TEST_F(GoogleSignIn, ProviderOutcomes) {
    const std::string malformed = "GET /callback?code=%zz%4 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    struct Case {
        const char* name;
        json google;
        std::string plan;
        std::vector<std::string> extra;
        std::string answered;  // the step whose connection got the page
        std::string error;
        bool tokenAsked;
    } cases[] = {
        {"no id_token in the token answer", {{"omitIdToken", true}}, "auth,redirect", {}, "redirect", "google_denied",
         true},
        // The error redirect and the icon after it are answered and the wait goes on, until the cancel.
        {"consent refused", {{"deny", true}}, "auth,redirect,favicon,mark", {}, "favicon", "google_cancelled", false},
        {"token endpoint unreachable", json::object(), "auth,redirect",
         {"--token", "http://127.0.0.1:" + std::to_string(FreePort())}, "redirect", "auth_unreachable", false},
        {"malformed escapes kept as they stand", json::object(), "auth,send:" + Hex(malformed), {},
         "send:" + Hex(malformed), "google_denied", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteGoogle(c.google);
        size_t tokensBefore = Records("google_token.jsonl").size();
        RunOptions o;
        o.plan = c.plan;
        o.turnMs = 1000;
        o.turns = 60;
        o.extra = c.extra;
        o.extra.push_back("--prefill");
        Outcome r = Run(o);
        ASSERT_EQ(r.exit, 0);
        EXPECT_EQ(r.result["ok"], false);
        EXPECT_EQ(r.result["error"], c.error);
        EXPECT_EQ(r.result["token"], "keep-token") << "no session answer, so the token stays";
        EXPECT_EQ(ResponseOf(r.Step(c.answered)), kPage);
        if (c.answered == "favicon") {
            EXPECT_EQ(ResponseOf(r.Step("redirect")), kPage);
        }
        auto tokens = Records("google_token.jsonl");
        EXPECT_EQ(tokens.size() > tokensBefore, c.tokenAsked);
        if (c.tokenAsked && tokens.size() > tokensBefore && c.plan.find("send:") != std::string::npos) {
            EXPECT_EQ(tokens.back()["code"], "%zz%4");
            EXPECT_EQ(FormField(tokens.back()["body"], "code"), "%25zz%254");
        }
        EXPECT_TRUE(Requests("/api/auth/google").empty());
    }
}

// The cancel flag, set while the listener waits, is seen at the next turn:
// the listener closes and a redirect that comes later is refused.
TEST_F(GoogleSignIn, CancelDuringTheWaitClosesTheListener) {
    RunOptions o;
    o.plan = "auth,favicon,mark,await-closed,redirect";
    o.turnMs = 1000;
    // Each probe of await-closed uses up a turn while the listener is open;
    // this many outlast its 20 seconds of probing.
    o.turns = 1000;
    Outcome r = Run(o);
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(r.result["ok"], false);
    EXPECT_EQ(r.result["error"], "google_cancelled");
    EXPECT_EQ(r.result["cancelSet"], true);
    EXPECT_EQ(ResponseOf(r.Step("favicon")), kPage);
    ASSERT_TRUE(r.Step("await-closed"));
    EXPECT_EQ((*r.Step("await-closed"))["closed"], true);
    ASSERT_TRUE(r.Step("redirect"));
    EXPECT_EQ((*r.Step("redirect"))["connected"], false);
    EXPECT_TRUE(Records("google_token.jsonl").empty());
}

// A browser that never comes back: the turns run out, and not before (the
// bound below is the programmed wait, not a speed target).
TEST_F(GoogleSignIn, NoRequestAtAllEndsAfterTheTurns) {
    RunOptions o;
    o.plan = "auth";
    o.turnMs = 500;
    o.turns = 3;
    Outcome r = Run(o);
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(r.result["ok"], false);
    EXPECT_EQ(r.result["error"], "google_cancelled");
    EXPECT_GE(r.result["ms"].get<int>(), 3 * 500);
    EXPECT_TRUE(Records("google_token.jsonl").empty());
}

// Visitors that are no browser redirect: nothing, junk, a request past the
// receive room (whose "code=" lies beyond it), a connection that stays silent.
// Each is answered or dropped and the real redirect still signs in.
TEST_F(GoogleSignIn, ListenerSurvivesBadVisitors) {
    RunOptions o;
    o.plan = "auth,empty,junk,big,idle,favicon,redirect";
    o.turnMs = 1000;
    o.turns = 30;
    Outcome r = Run(o);
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(r.result["ok"], true) << r.result.dump();
    EXPECT_EQ(r.result["userId"], "4242");
    for (const char* step : {"empty", "junk", "big"}) {
        const json* s = r.Step(step);
        ASSERT_TRUE(s) << step;
        std::string got = ResponseOf(s);
        EXPECT_TRUE(got == kPage || got.empty()) << step << " got " << got.size() << " bytes";
    }
    EXPECT_EQ(ResponseOf(r.Step("favicon")), kPage) << "the silent connection held the listener";
    EXPECT_EQ(ResponseOf(r.Step("redirect")), kPage);
    auto tokens = Records("google_token.jsonl");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_NE(tokens[0]["code"], "late") << "more than one receive of 4095 bytes was read";
}

// Any local program can reach the listener. Requests that carry "code=" but
// are no browser redirect (another method, another path, the code in a
// header), more of them than there are turns, are answered and the wait goes
// on to its deadline: the real redirect still signs in with its own code.
TEST_F(GoogleSignIn, OnlyAGetOfTheRedirectPathEndsTheWait) {
    const std::string requests[] = {
        "POST /callback?code=evil-1 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n",
        "GET /favicon.ico?code=evil-2 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nReferer: http://127.0.0.1/callback?code=evil-3\r\n\r\n",
        "GET /callback?code= HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
    };
    RunOptions o;
    o.plan = "auth";
    for (const auto& r : requests) o.plan += ",send:" + Hex(r);
    o.plan += ",redirect";
    // Three turns, fewer than the requests above; each as long as a slow machine could ever need.
    o.turnMs = 20000;
    o.turns = 3;
    Outcome r = Run(o);
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(r.result["ok"], true) << r.result.dump();
    for (const auto& req : requests) EXPECT_EQ(ResponseOf(r.Step("send:" + Hex(req))), kPage) << req;
    auto tokens = Records("google_token.jsonl");
    ASSERT_EQ(tokens.size(), 1u);
    auto auth = Records("google_auth.jsonl");
    ASSERT_EQ(auth.size(), 1u);
    EXPECT_EQ(tokens[0]["code"], auth[0]["code"]);
    EXPECT_EQ(tokens[0]["verdict"], "ok");
}
