// The signed exchange as text: challenge, bodies, string to sign, header
// block, and the reading of the two answers.
#include <gtest/gtest.h>

#include "patch/AuthWire.h"

TEST(AuthWire, StringToSignAndHeaderBlockByteForByte) {
    const std::string hash = "5d41402abc4b2a76b9719d911017c592aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
    EXPECT_EQ(BuildStringToSign("1767225600", "ch-01", hash),
              "POST\n/api/auth\n1767225600\nch-01\n" + hash);
    EXPECT_EQ(BuildSignedHeaders("ch-01", "4711", "1767225600", "ab12"),
              "Content-Type: application/json\r\n"
              "X-Challenge-Id: ch-01\r\n"
              "X-PoW-Nonce: 4711\r\n"
              "X-Timestamp: 1767225600\r\n"
              "X-Signature: ab12\r\n");
    // The challenge id goes in as received.
    EXPECT_EQ(BuildStringToSign("-1", "a b\\c", ""), "POST\n/api/auth\n-1\na b\\c\n");
}

TEST(AuthWire, BodiesAreCompactWithEscapedValuesInOrder) {
    EXPECT_EQ(BuildLoginBody("ana@vrenn.dev", "s3nha"), R"({"Username":"ana@vrenn.dev","Password":"s3nha"})");
    EXPECT_EQ(BuildLoginBody("a\tb", "q\"b\\l\nr\r"), "{\"Username\":\"a\\tb\",\"Password\":\"q\\\"b\\\\l\\nr\\r\"}");
    EXPECT_EQ(BuildRefreshBody("42", "tok.en"), R"({"userid":"42","token":"tok.en"})");
}

TEST(AuthWire, ChallengeReading) {
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
        int32_t difficulty;
    };
    const std::vector<Case> cases = {
        {"complete", R"({"challenge_id":"c1","salt":"s1","difficulty":5})", true, 5},
        {"no difficulty gives 4", R"({"challenge_id":"c1","salt":"s1"})", true, 4},
        {"difficulty 0", R"({"challenge_id":"c1","salt":"s1","difficulty":0})", true, 0},
        {"difficulty quoted", R"({"challenge_id":"c1","salt":"s1","difficulty":"3"})", true, 3},
        {"difficulty 65 passes on", R"({"challenge_id":"c1","salt":"s1","difficulty":65})", true, 65},
        // An unquoted negative reads as no digits at all, so the default applies.
        {"negative number", R"({"challenge_id":"c1","salt":"s1","difficulty":-2})", true, 4},
        {"negative quoted", R"({"challenge_id":"c1","salt":"s1","difficulty":"-2"})", false, 0},
        {"not a number", R"({"challenge_id":"c1","salt":"s1","difficulty":"hard"})", false, 0},
        {"boolean", R"({"challenge_id":"c1","salt":"s1","difficulty":true})", false, 0},
        {"out of range", R"({"challenge_id":"c1","salt":"s1","difficulty":99999999999})", false, 0},
        {"no salt", R"({"challenge_id":"c1","difficulty":1})", false, 0},
        {"empty salt", R"({"challenge_id":"c1","salt":"","difficulty":1})", false, 0},
        {"no id", R"({"salt":"s1"})", false, 0},
        {"html page", "<html>502 Bad Gateway</html>", false, 0},
    };
    for (const auto& c : cases) {
        AuthChallenge ch;
        EXPECT_EQ(ReadAuthChallenge(c.answer, ch), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(ch.difficulty, c.difficulty) << c.name;
            EXPECT_EQ(ch.id, "c1");
            EXPECT_EQ(ch.salt, "s1");
        }
    }
    AuthChallenge ch;
    ASSERT_TRUE(ReadAuthChallenge(R"({"challenge_id":"a\"b","salt":"x\u00e7"})", ch));
    EXPECT_EQ(ch.id, "a\"b");
    EXPECT_EQ(ch.salt, "x\xC3\xA7");
}

TEST(AuthWire, LoginAnswer) {
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
        std::string userId, token, webRoot, error;
        size_t servers;
    };
    const std::vector<Case> cases = {
        {"session", R"({"token":"T","userId":42,"webRootUrl":"https://w/","servers":[{"serverId":1},{"serverId":2}]})",
         true, "42", "T", "https://w/", "keep", 2},
        {"no user id", R"({"token":"T"})", true, "0", "T", "", "keep", 0},
        {"negative user id", R"({"token":"T","userId":-3})", true, "0", "T", "", "keep", 0},
        {"quoted user id", R"({"token":"T","userId":"u-77"})", true, "u-77", "T", "", "keep", 0},
        {"empty token, no error", R"({"token":"","userId":5})", false, "uid", "", "web", "Usuário ou senha incorretos.", 0},
        {"server error text", R"({"error":"Conta bloqueada \u00e0s 3h"})", false, "uid", "", "web",
         "Conta bloqueada \xC3\xA0s 3h", 0},
        {"empty error", R"({"error":""})", false, "uid", "", "web", "Usuário ou senha incorretos.", 0},
        // The first "token" anywhere counts, even inside the list.
        {"token inside the list first", R"({"servers":[{"token":"inner"}],"token":"outer"})", true, "0", "inner", "",
         "keep", 1},
    };
    for (const auto& c : cases) {
        std::string userId = "uid", token = "old-token", webRoot = "web", error = "keep";
        std::vector<GameServer> servers{GameServer{9, "kept", "", "1", "", false}};
        EXPECT_EQ(ReadLoginAnswer(c.answer, userId, token, webRoot, servers, error), c.ok) << c.name;
        EXPECT_EQ(userId, c.userId) << c.name;
        EXPECT_EQ(token, c.token) << c.name;
        EXPECT_EQ(webRoot, c.webRoot) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(servers.size(), 1 + c.servers) << c.name;
        EXPECT_EQ(servers[0].name, "kept") << c.name;
    }
}

TEST(AuthWire, RefreshAnswer) {
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
        std::string signature, error;
    };
    const std::vector<Case> cases = {
        {"signature wins", R"({"token":"T","signature":"S"})", true, "S", "keep"},
        {"token only", R"({"token":"T"})", true, "T", "keep"},
        {"empty signature falls back", R"({"signature":"","token":"T"})", true, "T", "keep"},
        {"nothing", "{}", false, "", "Sessão expirada. Faça login novamente."},
        {"server error", R"({"error":"Sess\u00e3o revogada."})", false, "", "Sess\xC3\xA3o revogada."},
        {"empty body", "", false, "", "Sessão expirada. Faça login novamente."},
    };
    for (const auto& c : cases) {
        std::string signature = "old", error = "keep";
        EXPECT_EQ(ReadRefreshAnswer(c.answer, signature, error), c.ok) << c.name;
        EXPECT_EQ(signature, c.signature) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}
