// The signed account exchange of the stand-in server.
//   GET  /api/auth/challenge  {"challenge_id","salt","difficulty"}: single use, expires
//   POST /api/auth            headers X-Challenge-Id, X-PoW-Nonce, X-Timestamp, X-Signature;
//                             body {"Username","Password"} (login) or {"userid","token"} (refresh)
// Data:
//   DATA/auth.json      {"secret": the 30-character shared secret, "difficulty": 4,
//                        "challengeTtlSeconds": 120, "timestampWindowSeconds": 300}
//   DATA/accounts.json  {"servers": [...default list...], "accounts": [{"username", "salt",
//                        "iterations", "hash" (PBKDF2-HMAC-SHA256 hex), "userId",
//                        "webRootUrl", "servers" (optional, replaces the default)}]}
//   DATA/revoked.json   {"tokens": [...], "users": [...]} refused by a refresh
// `vrenn_server --hash-password SALT PASSWORD [ITERATIONS]` prints the three password fields.
// Every challenge issued is recorded as a line of OUT/challenges.jsonl, every verdict in OUT/auth.jsonl.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <chrono>
#include <cstdio>

#include "server/AuthSession.h"
#include "server/SingleUseStore.h"

namespace {

using ordered = nlohmann::ordered_json;

constexpr int kDefaultDifficulty = 4;
constexpr int kDefaultIterations = 100000;
constexpr size_t kMaxOpenChallenges = 4096;

std::string Hex(const unsigned char* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string RandomHex(size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    RAND_bytes(buf.data(), static_cast<int>(bytes));
    return Hex(buf.data(), bytes);
}

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), digest, &len, EVP_sha256(), nullptr);
    return Hex(digest, len);
}

std::string HmacSha256Hex(const std::string& key, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
         data.size(), digest, &len);
    return Hex(digest, len);
}

std::string Pbkdf2Hex(const std::string& password, const std::string& salt, int iterations) {
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                      EVP_sha256(), sizeof(out), out);
    return Hex(out, sizeof(out));
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct AuthSettings {
    std::string secret;
    int difficulty = kDefaultDifficulty;
    int64_t challengeTtl = 120;
    int64_t timestampWindow = 300;
};

AuthSettings LoadSettings(const ServerContext& ctx) {
    AuthSettings s;
    nlohmann::json j = ctx.ReadDataJson("auth.json");
    if (!j.is_object()) return s;
    if (j.contains("secret") && j["secret"].is_string()) s.secret = j["secret"].get<std::string>();
    if (j.contains("difficulty") && j["difficulty"].is_number_integer() && j["difficulty"].get<int64_t>() >= 0 &&
        j["difficulty"].get<int64_t>() <= 1000)
        s.difficulty = j["difficulty"].get<int>();
    if (j.contains("challengeTtlSeconds") && j["challengeTtlSeconds"].is_number_integer())
        s.challengeTtl = j["challengeTtlSeconds"].get<int64_t>();
    if (j.contains("timestampWindowSeconds") && j["timestampWindowSeconds"].is_number_integer())
        s.timestampWindow = j["timestampWindowSeconds"].get<int64_t>();
    return s;
}

// A key for session tokens when the data names no secret: valid for this process only.
const std::string& ProcessKey() {
    static const std::string key = RandomHex(32);
    return key;
}

std::string TokenKey(const ServerContext& ctx) {
    std::string secret = LoadSettings(ctx).secret;
    return secret.empty() ? ProcessKey() : secret;
}

struct Challenge {
    std::string salt;
    int difficulty = 0;
    int64_t expires = 0;
};

SingleUseStore<Challenge>& Challenges() {
    static SingleUseStore<Challenge> store(kMaxOpenChallenges, SingleUseStore<Challenge>::WhenFull::DropSoonestExpiring);
    return store;
}

// Decimal, no sign, no leading zeros, at most 10,000,000: the launcher's form of a nonce.
bool NonceWellFormed(const std::string& nonce) {
    if (nonce.empty() || nonce.size() > 8) return false;
    for (char c : nonce)
        if (c < '0' || c > '9') return false;
    if (nonce.size() > 1 && nonce[0] == '0') return false;
    return std::stol(nonce) <= 10000000;
}

bool ParseTimestamp(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 18) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    value = std::stoll(text);
    return true;
}

bool ParseUserId(const nlohmann::json& v, int64_t& out) {
    if (v.is_number_integer()) {
        out = v.get<int64_t>();
        return true;
    }
    if (!v.is_string()) return false;
    const std::string s = v.get<std::string>();
    if (s.empty() || s.size() > 18) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    out = std::stoll(s);
    return true;
}

void Refuse(ServerContext& ctx, httplib::Response& res, int status, const std::string& kind,
            const std::string& reason, const std::string& message, const nlohmann::json& extra = {}) {
    nlohmann::json line{{"kind", kind}, {"ok", false}, {"reason", reason}};
    if (extra.is_object()) line.update(extra);
    ctx.Record("auth.jsonl", line);
    SendError(res, status, message);
}

void Answer(httplib::Response& res, const ordered& body) {
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void HandleLogin(ServerContext& ctx, const nlohmann::json& body, httplib::Response& res) {
    const std::string username = body["Username"].get<std::string>();
    const std::string password = body["Password"].get<std::string>();
    nlohmann::json who{{"username", username}};
    AccountLogin login;
    std::string reason;
    if (!CheckAccountPassword(ctx, username, password, login, reason)) {
        Refuse(ctx, res, 401, "login", reason, "E-mail ou senha incorretos.", who);
        return;
    }
    ordered answer;
    answer["token"] = IssueSessionToken(ctx, login.userId);
    answer["userId"] = login.userId;
    answer["webRootUrl"] = login.webRootUrl;
    answer["servers"] = login.servers;
    who["ok"] = true;
    who["kind"] = "login";
    who["userId"] = login.userId;
    ctx.Record("auth.jsonl", who);
    Answer(res, answer);
}

void HandleRefresh(ServerContext& ctx, const nlohmann::json& body, httplib::Response& res) {
    int64_t userId = 0;
    const std::string token = body["token"].get<std::string>();
    if (!ParseUserId(body["userid"], userId) || !SessionTokenValid(ctx, userId, token)) {
        Refuse(ctx, res, 401, "refresh", "session refused", "Sessão inválida ou revogada.", {{"token", token}});
        return;
    }
    ordered answer;
    answer["signature"] = IssueSessionToken(ctx, userId);
    ctx.Record("auth.jsonl", {{"kind", "refresh"}, {"ok", true}, {"userId", userId}, {"token", token}});
    Answer(res, answer);
}

void HandleSigned(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    const std::string id = req.get_header_value("X-Challenge-Id");
    const std::string nonce = req.get_header_value("X-PoW-Nonce");
    const std::string timestamp = req.get_header_value("X-Timestamp");
    const std::string signature = req.get_header_value("X-Signature");
    if (id.empty() || nonce.empty() || timestamp.empty() || signature.empty()) {
        Refuse(ctx, res, 400, "?", "missing headers", "Cabeçalhos de segurança ausentes.");
        return;
    }
    Challenge challenge;
    if (!Challenges().Take(id, challenge, NowSeconds())) {
        Refuse(ctx, res, 401, "?", "unknown or expired challenge", "Desafio de segurança inválido ou expirado.");
        return;
    }
    AuthSettings settings = LoadSettings(ctx);
    int64_t ts = 0;
    if (!ParseTimestamp(timestamp, ts) || ts < NowSeconds() - settings.timestampWindow ||
        ts > NowSeconds() + settings.timestampWindow) {
        Refuse(ctx, res, 401, "?", "timestamp outside window", "Horário da requisição fora da janela permitida.");
        return;
    }
    if (!NonceWellFormed(nonce) ||
        Sha256Hex(challenge.salt + nonce).compare(0, static_cast<size_t>(challenge.difficulty),
                                                  std::string(static_cast<size_t>(challenge.difficulty), '0')) != 0) {
        Refuse(ctx, res, 401, "?", "proof of work", "Prova de trabalho inválida.");
        return;
    }
    if (settings.secret.empty()) {
        Refuse(ctx, res, 500, "?", "no secret", "Servidor sem segredo configurado.");
        return;
    }
    const std::string stringToSign = "POST\n/api/auth\n" + timestamp + "\n" + id + "\n" + Sha256Hex(req.body);
    const std::string key = HmacSha256Hex(settings.secret, challenge.salt);
    if (!SameText(HmacSha256Hex(key, stringToSign), signature)) {
        Refuse(ctx, res, 401, "?", "signature", "Assinatura inválida.");
        return;
    }
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    auto isText = [&body](const char* k) { return body.contains(k) && body[k].is_string(); };
    if (body.is_object() && isText("Username") && isText("Password")) {
        HandleLogin(ctx, body, res);
    } else if (body.is_object() && body.contains("userid") && isText("token")) {
        HandleRefresh(ctx, body, res);
    } else {
        Refuse(ctx, res, 400, "?", "body", "Corpo da requisição inválido.");
    }
}

RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    server.Get("/api/auth/challenge", [&ctx](const httplib::Request&, httplib::Response& res) {
        AuthSettings settings = LoadSettings(ctx);
        std::string id = RandomHex(16);
        Challenge c{RandomHex(16), settings.difficulty, NowSeconds() + settings.challengeTtl};
        ordered answer;
        answer["challenge_id"] = id;
        answer["salt"] = c.salt;
        answer["difficulty"] = c.difficulty;
        ctx.Record("challenges.jsonl", answer);
        Challenges().Add(id, std::move(c), NowSeconds());
        Answer(res, answer);
    });
    server.Post("/api/auth", [&ctx](const httplib::Request& req, httplib::Response& res) {
        HandleSigned(ctx, req, res);
    });
});

}  // namespace

bool CheckAccountPassword(const ServerContext& ctx, const std::string& username, const std::string& password,
                          AccountLogin& login, std::string& reason) {
    ordered data = ordered::parse(ctx.ReadDataFile("accounts.json"), nullptr, false);
    const ordered* account = nullptr;
    if (data.is_object() && data.contains("accounts") && data["accounts"].is_array()) {
        for (const auto& a : data["accounts"])
            if (a.is_object() && a.value("username", std::string()) == username) account = &a;
    }
    bool ok = false;
    if (account && (*account).contains("salt") && (*account)["salt"].is_string() && (*account).contains("hash") &&
        (*account)["hash"].is_string()) {
        int iterations = (*account).value("iterations", kDefaultIterations);
        if (iterations < 1) iterations = 1;
        ok = SameText(Pbkdf2Hex(password, (*account)["salt"].get<std::string>(), iterations),
                      (*account)["hash"].get<std::string>());
    } else {
        Pbkdf2Hex(password, "no-such-account", kDefaultIterations);  // same cost as a real check
    }
    if (!ok) {
        reason = account ? "wrong password" : "no account";
        return false;
    }
    login = AccountLogin{};
    login.username = username;
    if (account->contains("userId")) ParseUserId((*account)["userId"], login.userId);
    if (account->contains("servers") && (*account)["servers"].is_array()) login.servers = (*account)["servers"];
    else if (data.contains("servers") && data["servers"].is_array()) login.servers = data["servers"];
    login.webRootUrl = account->value("webRootUrl", std::string());
    return true;
}

std::string IssueSessionToken(const ServerContext& ctx, int64_t userId) {
    std::string random = RandomHex(16);
    return random + "." + HmacSha256Hex(TokenKey(ctx), "session\n" + std::to_string(userId) + "\n" + random);
}

bool SessionTokenValid(const ServerContext& ctx, int64_t userId, const std::string& token) {
    size_t dot = token.find('.');
    if (dot == std::string::npos) return false;
    std::string random = token.substr(0, dot);
    std::string expected = HmacSha256Hex(TokenKey(ctx), "session\n" + std::to_string(userId) + "\n" + random);
    if (!SameText(expected, token.substr(dot + 1))) return false;
    nlohmann::json revoked = ctx.ReadDataJson("revoked.json");
    if (revoked.is_object()) {
        if (revoked.contains("tokens") && revoked["tokens"].is_array())
            for (const auto& t : revoked["tokens"])
                if (t.is_string() && t.get<std::string>() == token) return false;
        if (revoked.contains("users") && revoked["users"].is_array())
            for (const auto& u : revoked["users"])
                if (u.is_number_integer() && u.get<int64_t>() == userId) return false;
    }
    return true;
}

int PrintPasswordHash(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vrenn_server --hash-password SALT PASSWORD [ITERATIONS]\n");
        return 2;
    }
    int iterations = argc > 4 ? std::atoi(argv[4]) : kDefaultIterations;
    if (iterations < 1) iterations = kDefaultIterations;
    ordered fields;
    fields["salt"] = argv[2];
    fields["iterations"] = iterations;
    fields["hash"] = Pbkdf2Hex(argv[3], argv[2], iterations);
    std::printf("%s\n", fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 0;
}
