// Password login, session refresh and news against the stand-in server, through
// the launcher's own code (authprobe.exe under Wine); and the server's checks
// of the signed request, driven natively.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <map>
#include <optional>
#include <thread>

#include "BuildConfig.h"
#include "support/Harness.h"

using namespace e2e;
using json = nlohmann::json;

namespace {

const std::string kSecret = std::string(VRENN_SECRET_PART1) + VRENN_SECRET_PART2 + VRENN_SECRET_PART3;

std::string Hex(const unsigned char* p, size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += {d[p[i] >> 4], d[p[i] & 15]};
    return s;
}
std::string Hex(const std::string& s) { return Hex(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }

std::string Sha256Hex(const std::string& data) {
    unsigned char md[32];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr);
    return Hex(md, len);
}

std::string HmacHex(const std::string& key, const std::string& data) {
    unsigned char md[32];
    unsigned int len = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
         data.size(), md, &len);
    return Hex(md, len);
}

json Account(const std::string& username, const std::string& password, int userId, const std::string& webRoot) {
    const std::string salt = "salt-of-" + username;
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), 1000,
                      EVP_sha256(), 32, out);
    return {{"username", username}, {"salt", salt},          {"iterations", 1000},
            {"hash", Hex(out, 32)},  {"userId", userId},     {"webRootUrl", webRoot}};
}

const std::string kTrickyPassword = "a\"b\\c\nd";

// A loopback server that answers each path with a fixed body, or closes the
// connection without a word when the path maps to nothing.
using Routes = std::map<std::string, std::optional<std::string>>;

class ScriptedServer {
public:
    explicit ScriptedServer(Routes routes) : routes(std::move(routes)) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        socklen_t len = sizeof(addr);
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        listen(listener, 16);
        loop = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stopping = true;
        shutdown(listener, SHUT_RDWR);
        close(listener);
        loop.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port); }

private:
    void Serve() {
        while (!stopping) {
            int c = accept(listener, nullptr, nullptr);
            if (c < 0) return;
            std::string in;
            char buf[4096];
            size_t headerEnd = std::string::npos;
            while (headerEnd == std::string::npos) {
                ssize_t n = recv(c, buf, sizeof(buf), 0);
                if (n <= 0) break;
                in.append(buf, static_cast<size_t>(n));
                headerEnd = in.find("\r\n\r\n");
            }
            // Read the whole body: closing with unread bytes would reset the connection before the answer.
            if (headerEnd != std::string::npos) {
                size_t length = 0;
                size_t at = in.find("Content-Length: ");
                if (at != std::string::npos && at < headerEnd) length = std::stoul(in.substr(at + 16));
                while (in.size() < headerEnd + 4 + length) {
                    ssize_t n = recv(c, buf, sizeof(buf), 0);
                    if (n <= 0) break;
                    in.append(buf, static_cast<size_t>(n));
                }
            }
            std::string path = in.substr(in.find(' ') + 1);
            path = path.substr(0, path.find(' '));
            auto it = routes.find(path);
            if (it != routes.end() && it->second) {
                std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                    std::to_string(it->second->size()) + "\r\nConnection: close\r\n\r\n" + *it->second;
                send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            } else if (it == routes.end()) {
                std::string reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            close(c);
        }
    }
    Routes routes;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread loop;
};

class Auth : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        WriteFile(dir / "data" / "auth.json", json{{"secret", kSecret}, {"difficulty", 2}}.dump());
        json accounts = {
            {"servers",
             {{{"serverId", 1}, {"serverName", "Vrenn Sul"}, {"serverIp", "10.0.0.1"}, {"serverPort", "29012"},
               {"status", "Online"}, {"isNew", false}},
              {{"serverId", 2}, {"serverName", "Vrenn Norte"}, {"serverIp", "10.0.0.2"}, {"serverPort", 7000},
               {"status", "Cheio"}, {"isNew", true}}}},
            {"accounts",
             {Account("ana@vrenn.dev", "s3nha-boa", 42, "https://web.vrenn.dev/"),
              Account("tricky@vrenn.dev", kTrickyPassword, 7, "")}}};
        WriteFile(dir / "data" / "accounts.json", accounts.dump());
        server = std::make_unique<StandInServer>(FreePort(), dir / "root", dir / "data", dir / "out");
    }

    json Probe(const std::vector<std::string>& args) {
        fs::path out = dir / ("probe-" + std::to_string(++runs) + ".out");
        Process p = StartWindows(WinTool("authprobe"), args, {}, out);
        auto code = p.Wait(120s);
        EXPECT_EQ(code, 0) << ReadFile(out);
        std::string text = ReadFile(out);
        size_t brace = text.find('{');
        json j = json::parse(brace == std::string::npos ? "" : text.substr(brace), nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << text;
        return j.is_discarded() ? json::object() : j;
    }
    json Login(const std::string& url, const std::string& user, const std::string& password) {
        return Probe({"login", url, Hex(user), Hex(password), "keep"});
    }
    json Reauth(const std::string& url, const std::string& userId, const std::string& token) {
        return Probe({"reauth", url, Hex(userId), Hex(token), "keep"});
    }
    std::vector<json> SignedPosts() {
        std::vector<json> posts;
        for (auto& r : server->Records("requests.jsonl"))
            if (r["method"] == "POST" && r["path"] == "/api/auth") posts.push_back(r);
        return posts;
    }
    // Checks one recorded post against the protocol, computed here independently.
    void ExpectSignedAsDefined(const json& post) {
        const json& h = post["headers"];
        std::string id = h.value("X-Challenge-Id", ""), nonce = h.value("X-PoW-Nonce", "");
        std::string salt;
        int difficulty = -1;
        for (auto& c : server->Records("challenges.jsonl"))
            if (c["challenge_id"] == id) salt = c["salt"], difficulty = c["difficulty"];
        ASSERT_FALSE(salt.empty()) << id;
        EXPECT_EQ(h.value("Content-Type", ""), "application/json");
        EXPECT_EQ(Sha256Hex(salt + nonce).substr(0, difficulty), std::string(difficulty, '0'));
        std::string sts = "POST\n/api/auth\n" + h.value("X-Timestamp", "") + "\n" + id + "\n" +
                          Sha256Hex(post["body"].get<std::string>());
        EXPECT_EQ(h.value("X-Signature", ""), HmacHex(HmacHex(kSecret, salt), sts));
        long long ts = std::stoll(h.value("X-Timestamp", "0"));
        EXPECT_LE(std::llabs(ts - static_cast<long long>(std::time(nullptr))), 60);
    }

    fs::path dir;
    std::unique_ptr<StandInServer> server;
    int runs = 0;
};

const char kServers[] =
    R"([{"id":99,"name":"kept","ip":"","port":"1","status":"","isNew":false},)"
    R"({"id":1,"name":"Vrenn Sul","ip":"10.0.0.1","port":"29012","status":"Online","isNew":false},)"
    R"({"id":2,"name":"Vrenn Norte","ip":"10.0.0.2","port":"7000","status":"Cheio","isNew":true}])";

}  // namespace

TEST_F(Auth, LoginThenRefreshSucceedAndAreSignedAsDefined) {
    json login = Login(server->Url(), "ana@vrenn.dev", "s3nha-boa");
    ASSERT_TRUE(login["ok"].get<bool>()) << login.dump();
    EXPECT_EQ(login["userId"], "42");
    EXPECT_EQ(login["webRootUrl"], "https://web.vrenn.dev/");
    EXPECT_EQ(login["error"], "keep-error");  // untouched on success
    EXPECT_EQ(login["servers"], json::parse(kServers));
    std::string token = login["token"];
    EXPECT_FALSE(token.empty());

    json refresh = Reauth(server->Url(), "42", token);
    ASSERT_TRUE(refresh["ok"].get<bool>()) << refresh.dump();
    EXPECT_EQ(refresh["error"], "keep-error");
    std::string signature = refresh["signature"];
    EXPECT_FALSE(signature.empty());
    EXPECT_NE(signature, token);
    // The refreshed value is itself a session: a second start refreshes with it.
    EXPECT_TRUE(Reauth(server->Url(), "42", signature)["ok"].get<bool>());

    auto posts = SignedPosts();
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0]["body"], R"({"Username":"ana@vrenn.dev","Password":"s3nha-boa"})");
    EXPECT_EQ(posts[1]["body"], R"({"userid":"42","token":")" + token + R"("})");
    for (auto& p : posts) ExpectSignedAsDefined(p);
}

TEST_F(Auth, PasswordWithQuoteBackslashAndLineBreakIsEscapedAndAccepted) {
    json login = Login(server->Url(), "tricky@vrenn.dev", kTrickyPassword);
    ASSERT_TRUE(login["ok"].get<bool>()) << login.dump();
    EXPECT_EQ(login["userId"], "7");
    EXPECT_EQ(login["webRootUrl"], "");
    auto posts = SignedPosts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0]["body"], "{\"Username\":\"tricky@vrenn.dev\",\"Password\":\"a\\\"b\\\\c\\nd\"}");
    ExpectSignedAsDefined(posts[0]);
}

TEST_F(Auth, DifficultyZeroSendsNonceZero) {
    WriteFile(dir / "data" / "auth.json", json{{"secret", kSecret}, {"difficulty", 0}}.dump());
    ASSERT_TRUE(Login(server->Url(), "ana@vrenn.dev", "s3nha-boa")["ok"].get<bool>());
    auto posts = SignedPosts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0]["headers"].value("X-PoW-Nonce", ""), "0");
}

TEST_F(Auth, EachFailureHasItsOwnTextPerOperation) {
    const std::string ok = R"({"challenge_id":"c-1","salt":"5a17","difficulty":1})";
    ScriptedServer noSalt(Routes{{"/api/auth/challenge", R"({"challenge_id":"c-1","difficulty":1})"}});
    ScriptedServer negative(Routes{{"/api/auth/challenge", R"({"challenge_id":"c-1","salt":"s","difficulty":"-1"})"}});
    ScriptedServer wordy(Routes{{"/api/auth/challenge", R"({"challenge_id":"c-1","salt":"s","difficulty":"hard"})"}});
    ScriptedServer unsolvable(Routes{{"/api/auth/challenge", R"({"challenge_id":"c-1","salt":"s","difficulty":65})"}});
    ScriptedServer dropping(Routes{{"/api/auth/challenge", ok}, {"/api/auth", std::nullopt}});
    ScriptedServer bare(Routes{{"/api/auth/challenge", ok}, {"/api/auth", R"({"token":"","userId":3})"}});
    const std::string down = "http://127.0.0.1:" + std::to_string(FreePort());

    // Revoke one session so the real server refuses its refresh with a text of its own.
    json login = Login(server->Url(), "ana@vrenn.dev", "s3nha-boa");
    ASSERT_TRUE(login["ok"].get<bool>());
    WriteFile(dir / "data" / "revoked.json", json{{"tokens", {login["token"]}}}.dump());

    struct Case {
        const char* name;
        std::string url;
        std::string password;  // login
        std::string token;     // refresh
        std::string loginText, refreshText;
        bool emptiesSession;   // failure 5: token or signature emptied
    };
    const std::vector<Case> cases = {
        {"1: server down", down, "x", "x", "Não foi possível conectar ao serviço de segurança.",
         "Não foi possível contatar o servidor de segurança.", false},
        {"2: challenge without salt", noSalt.Url(), "x", "x", "Falha ao negociar handshake de segurança.",
         "Falha ao negociar handshake de segurança.", false},
        {"2: negative difficulty", negative.Url(), "x", "x", "Falha ao negociar handshake de segurança.",
         "Falha ao negociar handshake de segurança.", false},
        {"2: difficulty not a number", wordy.Url(), "x", "x", "Falha ao negociar handshake de segurança.",
         "Falha ao negociar handshake de segurança.", false},
        {"3: difficulty 65", unsolvable.Url(), "x", "x", "Falha na resolução do desafio de segurança.",
         "Falha na resolução do desafio.", false},
        {"4: dropped after the challenge", dropping.Url(), "x", "x",
         "Não foi possível conectar ao servidor de autenticação.",
         "Não foi possível contatar o servidor de autenticação.", false},
        {"5: refused without a text", bare.Url(), "x", "x", "Usuário ou senha incorretos.",
         "Sessão expirada. Faça login novamente.", true},
        {"5: refused with the server's text", server->Url(), "wrong", login["token"], "E-mail ou senha incorretos.",
         "Sessão inválida ou revogada.", true},
    };
    for (const auto& c : cases) {
        json l = Login(c.url, "ana@vrenn.dev", c.password);
        EXPECT_FALSE(l["ok"].get<bool>()) << c.name;
        EXPECT_EQ(l["error"], c.loginText) << c.name;
        EXPECT_EQ(l["token"], c.emptiesSession ? "" : "keep-token") << c.name;
        EXPECT_EQ(l["userId"], "keep-uid") << c.name;
        EXPECT_EQ(l["webRootUrl"], "keep-web") << c.name;
        EXPECT_EQ(l["servers"].size(), 1u) << c.name;

        json r = Reauth(c.url, "42", c.token);
        EXPECT_FALSE(r["ok"].get<bool>()) << c.name;
        EXPECT_EQ(r["error"], c.refreshText) << c.name;
        EXPECT_EQ(r["signature"], c.emptiesSession ? "" : "keep-sig") << c.name;
    }
}

TEST_F(Auth, NewsComeLastFirstAndAFailedRequestGivesNone) {
    WriteFile(dir / "data" / "news.json",
              R"([{"title":"Primeira","date":"2026-01-01","content":"Ol\u00e1"},{"date":"sem t\u00edtulo"},)"
              R"({"title":"Segunda","date":"2026-01-02","content":"Evento"}])");
    json news = Probe({"news", server->Url()});
    EXPECT_EQ(news["news"], json::parse(R"([{"title":"Segunda","date":"2026-01-02","content":"Evento"},)"
                                        R"({"title":"Primeira","date":"2026-01-01","content":"Olá"}])"));
    EXPECT_EQ(Probe({"news", "http://127.0.0.1:" + std::to_string(FreePort())})["news"], json::array());
}

// The stand-in server's side: every check of the signed request refuses on its own.
TEST_F(Auth, ServerRefusesEachBrokenPartOfTheSignedRequest) {
    httplib::Client client("127.0.0.1", server->Port());
    struct Signed {
        std::string id, salt, nonce, timestamp, body;
        int difficulty;
    };
    auto challenge = [&] {
        auto res = client.Get("/api/auth/challenge");
        json c = json::parse(res ? res->body : "{}");
        Signed s{c.value("challenge_id", ""), c.value("salt", ""), "", std::to_string(std::time(nullptr)),
                 R"({"Username":"ana@vrenn.dev","Password":"s3nha-boa"})", c.value("difficulty", 0)};
        for (int n = 0;; ++n)
            if (Sha256Hex(s.salt + std::to_string(n)).compare(0, s.difficulty, std::string(s.difficulty, '0')) == 0) {
                s.nonce = std::to_string(n);
                break;
            }
        return s;
    };
    auto post = [&](const Signed& s, const std::string& sentBody, const std::string& secret) {
        std::string sts = "POST\n/api/auth\n" + s.timestamp + "\n" + s.id + "\n" + Sha256Hex(s.body);
        httplib::Headers headers{{"X-Challenge-Id", s.id},
                                 {"X-PoW-Nonce", s.nonce},
                                 {"X-Timestamp", s.timestamp},
                                 {"X-Signature", HmacHex(HmacHex(secret, s.salt), sts)}};
        auto res = client.Post("/api/auth", headers, sentBody, "application/json");
        return res ? json::parse(res->body, nullptr, false) : json();
    };
    struct Case {
        const char* name;
        void (*spoil)(Signed&, std::string& sentBody, std::string& secret);
        std::string error;  // "" when the login goes through
    };
    const Case cases[] = {
        {"valid", [](Signed&, std::string&, std::string&) {}, ""},
        {"unknown challenge", [](Signed& s, std::string&, std::string&) { s.id = "nope"; },
         "Desafio de segurança inválido ou expirado."},
        {"nonce that does not solve", [](Signed& s, std::string&, std::string&) { s.nonce = "10000001"; },
         "Prova de trabalho inválida."},
        {"nonce with a leading zero", [](Signed& s, std::string&, std::string&) { s.nonce = "0" + s.nonce; },
         "Prova de trabalho inválida."},
        {"timestamp ten minutes old",
         [](Signed& s, std::string&, std::string&) { s.timestamp = std::to_string(std::stoll(s.timestamp) - 600); },
         "Horário da requisição fora da janela permitida."},
        {"one body byte changed after signing", [](Signed&, std::string& b, std::string&) { b[b.size() - 3] = 'A'; },
         "Assinatura inválida."},
        {"other secret", [](Signed&, std::string&, std::string& k) { k[0] ^= 1; }, "Assinatura inválida."},
    };
    for (const auto& c : cases) {
        Signed s = challenge();
        std::string body = s.body, secret = kSecret;
        c.spoil(s, body, secret);
        json answer = post(s, body, secret);
        if (c.error.empty()) {
            EXPECT_TRUE(answer.contains("token")) << c.name << answer.dump();
            // A challenge serves one request only.
            EXPECT_EQ(post(s, body, secret).value("error", ""), "Desafio de segurança inválido ou expirado.");
        } else {
            EXPECT_EQ(answer.value("error", ""), c.error) << c.name;
        }
    }
}
