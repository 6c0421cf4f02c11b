// The stand-in server's login page in a real browser: headless Chromium,
// driven by tests/chromium/login_page.mjs through playwright-core, signs in
// with a known account and clicks the Google button; what the page posts to
// the embedded browser's message channel is checked here, and the session it
// hands over is presented to the launcher's own session refresh.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "BuildConfig.h"
#include "support/Harness.h"
#include "support/LauncherWorld.h"

using namespace e2e;
using json = nlohmann::json;

namespace {

std::string Pbkdf2Hex(const std::string& password, const std::string& salt, int iterations) {
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                      EVP_sha256(), sizeof(out), out);
    return HexOf(std::string(reinterpret_cast<char*>(out), sizeof(out)));
}

const json kServers = json::array({
    {{"serverId", 3}, {"serverName", "Ondrel \"Norte\""}, {"serverIp", "10.0.0.3"}, {"serverPort", "7003"},
     {"status", "Online"}, {"isNew", true}},
});

}  // namespace

TEST(LoginHtml, PagePostsASessionTheServerAcceptsAndTheGoogleRequest) {
    const fs::path nodeDir = SourceDir() / "build" / "third_party" / "node";
    ASSERT_TRUE(fs::exists(nodeDir / "node_modules" / "playwright-core" / "package.json"))
        << "playwright-core missing: run scripts/setup.sh";
    ASSERT_TRUE(fs::exists("/usr/bin/chromium")) << "chromium missing: run scripts/setup.sh";

    fs::path dir = MakeTempDir("LoginHtml");
    fs::path data = dir / "data";
    // The launcher's own secret: its refresh is signed with it.
    const std::string secret = std::string(VRENN_SECRET_PART1) + VRENN_SECRET_PART2 + VRENN_SECRET_PART3;
    WriteFile(data / "auth.json", json{{"secret", secret}, {"difficulty", 1}}.dump());
    WriteFile(data / "accounts.json",
              json{{"accounts", json::array({{{"username", "joana@vrenn.test"},
                                              {"salt", "sal"},
                                              {"iterations", 2},
                                              {"hash", Pbkdf2Hex("senha ç 1", "sal", 2)},
                                              {"userId", 90210},
                                              {"webRootUrl", "http://127.0.0.1/web/"},
                                              {"servers", kServers}}})}}
                  .dump());
    StandInServer server(FreePort(), dir / "root", data, dir / "out");

    fs::path out = dir / "posted.json";
    Process node({"/usr/bin/node", (SourceDir() / "tests" / "chromium" / "login_page.mjs").string(), nodeDir.string(),
                  server.Url(), "joana@vrenn.test", "senha ç 1", out.string(), (dir / "profile").string()},
                 {}, dir / "node.out");
    ASSERT_EQ(node.Wait(120s), 0) << ReadFile(dir / "node.out");
    const json result = json::parse(ReadFile(out));

    // A wrong password: the server's refusal on the page, nothing posted.
    EXPECT_EQ(result["refused"]["error"], "E-mail ou senha incorretos.");
    EXPECT_TRUE(result["refused"]["posted"].empty());

    ASSERT_EQ(result["posted"].size(), 2u) << result.dump();
    const json auth = json::parse(result["posted"][0].get<std::string>());
    EXPECT_EQ(auth["type"], "vrenn-auth");
    const std::string token = auth.value("signature", "");
    EXPECT_FALSE(token.empty());
    EXPECT_EQ(auth["token"], token);
    EXPECT_EQ(auth["userId"], "90210") << "the launcher reads the user id as a JSON string";
    EXPECT_EQ(auth["username"], "joana@vrenn.test");
    EXPECT_EQ(auth["webRootUrl"], "http://127.0.0.1/web/");
    EXPECT_EQ(auth["servers"], kServers);
    EXPECT_EQ(json::parse(result["posted"][1].get<std::string>()), (json{{"type", "vrenn-google"}}));

    auto verdicts = server.Records("login_page.jsonl");
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].value("reason", ""), "wrong password");
    EXPECT_TRUE(verdicts[1].value("ok", false));

    // The session is one the server takes: the launcher's refresh succeeds with it.
    fs::path probeOut = dir / "reauth.out";
    Process probe = StartWindows(WinTool("authprobe"), {"reauth", server.Url(), HexOf("90210"), HexOf(token)}, {},
                                 probeOut);
    ASSERT_EQ(probe.Wait(60s), 0);
    const std::string text = ReadFile(probeOut);
    const json reauth = json::parse(text.substr(text.find('{')), nullptr, false);
    ASSERT_TRUE(reauth.is_object()) << text;
    EXPECT_TRUE(reauth.value("ok", false)) << text;
    EXPECT_FALSE(reauth.value("signature", "").empty()) << text;
    auto refreshes = server.Records("auth.jsonl");
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].value("kind", ""), "refresh");
    EXPECT_EQ(refreshes[0].value("token", ""), token);
}
