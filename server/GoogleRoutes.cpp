// A stand-in Google identity provider, and the launcher server's Google sign-in.
//   GET  /o/oauth2/v2/auth  checks the query (client id, loopback redirect_uri, response_type
//                           code, S256 challenge, openid scope), then 302 to redirect_uri with
//                           "code=" (or "error=access_denied" when DATA/google.json says "deny")
//   POST /token             form body; checks the code (single use), client_id, redirect_uri and
//                           the code_verifier against the S256 challenge; answers an "id_token"
//   POST /api/auth/google   {"idToken"}: only ID tokens issued by /token; answers the session like
//                           a password login ("token", "userId", "username", "webRootUrl", "servers")
// Data:
//   DATA/config.json    "googleClientId": the only client id the provider knows
//   DATA/google.json    {"email": the Google account that signs in (default "jogador@vrenn.test"),
//                        "deny": true (the player refuses consent),
//                        "omitIdToken": true (the token answer has no id_token),
//                        "code": the code to issue (default "4/0A" + random base64url),
//                        "redirectTail": text after the code in the redirect
//                                        (default "&scope=email%20openid&authuser=0&prompt=consent"),
//                        "session": text served as written by /api/auth/google after a valid token}
//   DATA/accounts.json  the password accounts (AuthRoutes.cpp); a Google account is the one whose
//                       "email" matches, any case
// Records: OUT/google_auth.jsonl, OUT/google_token.jsonl, OUT/google_session.jsonl.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>

#include "server/AuthSession.h"
#include "server/SingleUseStore.h"

namespace {

using ordered = nlohmann::ordered_json;

constexpr int64_t kCodeTtlSeconds = 600;
constexpr int64_t kIdTokenTtlSeconds = 3600;
constexpr size_t kMaxOpenCodes = 1024;

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Base64Url(const unsigned char* data, size_t size) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    size_t i = 0;
    for (; i + 2 < size; i += 3) {
        uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (size - i == 1) {
        uint32_t v = data[i] << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
    } else if (size - i == 2) {
        uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
    }
    return out;
}

std::string Base64Url(const std::string& text) {
    return Base64Url(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string RandomBase64Url(size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    RAND_bytes(buf.data(), static_cast<int>(bytes));
    return Base64Url(buf.data(), bytes);
}

std::string S256(const std::string& verifier) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(verifier.data(), verifier.size(), digest, &len, EVP_sha256(), nullptr);
    return Base64Url(digest, len);
}

const std::string& ProcessKey() {
    static const std::string key = RandomBase64Url(32);
    return key;
}

std::string Sign(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(EVP_sha256(), ProcessKey().data(), static_cast<int>(ProcessKey().size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &len);
    return Base64Url(digest, len);
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Form decoding: "+" is a space, a well-formed %XX its byte, anything else as it stands.
std::string FormDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string PercentEncode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

// The fields of a form body, in order; a repeated name keeps its first value.
std::map<std::string, std::string> ParseForm(const std::string& body, std::vector<std::string>& order) {
    std::map<std::string, std::string> fields;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t amp = body.find('&', pos);
        if (amp == std::string::npos) amp = body.size();
        std::string pair = body.substr(pos, amp - pos);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            std::string name = FormDecode(pair.substr(0, eq));
            std::string value = eq == std::string::npos ? "" : FormDecode(pair.substr(eq + 1));
            order.push_back(name);
            fields.emplace(name, value);
        }
        pos = amp + 1;
    }
    return fields;
}

bool IsUnreservedText(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
    });
}

// A loopback redirect of an installed application: http, 127.0.0.1 or localhost, a port.
bool LoopbackRedirect(const std::string& uri) {
    for (const std::string prefix : {"http://127.0.0.1:", "http://localhost:"}) {
        if (uri.compare(0, prefix.size(), prefix) != 0) continue;
        size_t i = prefix.size();
        size_t digits = 0;
        while (i < uri.size() && std::isdigit(static_cast<unsigned char>(uri[i]))) ++i, ++digits;
        return digits > 0 && digits <= 5 && (i == uri.size() || uri[i] == '/');
    }
    return false;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Grant {
    std::string clientId;
    std::string redirectUri;
    std::string challenge;
    std::string email;
    int64_t expires = 0;
};

// A code is good for one exchange, whatever its outcome.
SingleUseStore<Grant>& Codes() {
    static SingleUseStore<Grant> codes(kMaxOpenCodes, SingleUseStore<Grant>::WhenFull::DropFirstKey);
    return codes;
}

struct Settings {
    std::string email = "jogador@vrenn.test";
    bool deny = false;
    bool omitIdToken = false;
    std::string code;
    std::string redirectTail = "&scope=email%20openid&authuser=0&prompt=consent";
    bool hasSession = false;
    std::string session;
};

Settings LoadSettings(const ServerContext& ctx) {
    Settings s;
    nlohmann::json j = ctx.ReadDataJson("google.json");
    if (!j.is_object()) return s;
    auto text = [&j](const char* key, std::string& out) {
        if (j.contains(key) && j[key].is_string()) out = j[key].get<std::string>();
    };
    text("email", s.email);
    text("code", s.code);
    text("redirectTail", s.redirectTail);
    if (j.contains("session") && j["session"].is_string()) {
        s.hasSession = true;
        s.session = j["session"].get<std::string>();
    }
    auto flag = [&j](const char* key) { return j.contains(key) && j[key].is_boolean() && j[key].get<bool>(); };
    s.deny = flag("deny");
    s.omitIdToken = flag("omitIdToken");
    return s;
}

std::string ConfiguredClientId(const ServerContext& ctx) {
    nlohmann::json config = ctx.ReadDataJson("config.json");
    if (config.is_object() && config.contains("googleClientId") && config["googleClientId"].is_string())
        return config["googleClientId"].get<std::string>();
    return "";
}

// An ID token in JWT form, signed with this process's key (Google signs with RS256;
// the launcher never looks inside, it only hands the token on).
std::string IssueIdToken(const std::string& clientId, const std::string& email) {
    int64_t now = NowSeconds();
    ordered header{{"alg", "HS256"}, {"kid", "stand-in"}, {"typ", "JWT"}};
    ordered payload{{"iss", "https://accounts.google.com"},
                    {"azp", clientId},
                    {"aud", clientId},
                    {"sub", "1" + std::to_string(std::hash<std::string>{}(Lower(email)) % 100000000000000000ULL)},
                    {"email", email},
                    {"email_verified", true},
                    {"iat", now},
                    {"exp", now + kIdTokenTtlSeconds}};
    std::string signingInput = Base64Url(header.dump()) + "." + Base64Url(payload.dump());
    return signingInput + "." + Sign(signingInput);
}

std::string Base64UrlDecode(const std::string& text) {
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '-') v = 62;
        else if (c == '_') v = 63;
        else return "";
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

// The e-mail of a token this provider issued and that has not expired; empty otherwise.
std::string VerifiedEmail(const std::string& idToken, const std::string& clientId) {
    size_t first = idToken.find('.');
    size_t second = first == std::string::npos ? std::string::npos : idToken.find('.', first + 1);
    if (second == std::string::npos) return "";
    if (!SameText(Sign(idToken.substr(0, second)), idToken.substr(second + 1))) return "";
    nlohmann::json payload = nlohmann::json::parse(Base64UrlDecode(idToken.substr(first + 1, second - first - 1)),
                                                   nullptr, false);
    if (!payload.is_object() || !payload.contains("email") || !payload["email"].is_string()) return "";
    if (!payload.contains("exp") || !payload["exp"].is_number_integer() || payload["exp"].get<int64_t>() < NowSeconds())
        return "";
    if (!payload.contains("aud") || payload["aud"] != clientId) return "";
    return payload["email"].get<std::string>();
}

void SendText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/html; charset=utf-8");
}

void SendJson(httplib::Response& res, int status, const ordered& body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

std::string RawQuery(const httplib::Request& req) {
    size_t q = req.target.find('?');
    return q == std::string::npos ? "" : req.target.substr(q + 1);
}

void HandleAuthorize(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    std::vector<std::string> order;
    const std::string query = RawQuery(req);
    auto params = ParseForm(query, order);
    auto param = [&params](const char* name) {
        auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    };
    nlohmann::json line{{"query", query}, {"names", order}};
    for (const auto& [k, v] : params) line["params"][k] = v;
    Settings settings = LoadSettings(ctx);
    const std::string clientId = ConfiguredClientId(ctx);
    const std::string redirectUri = param("redirect_uri");
    const std::string challenge = param("code_challenge");
    std::string scope = " " + param("scope") + " ";

    std::string problem;
    if (clientId.empty() || param("client_id") != clientId) problem = "invalid_client";
    else if (!LoopbackRedirect(redirectUri)) problem = "redirect_uri_mismatch";
    else if (param("response_type") != "code") problem = "unsupported_response_type";
    else if (param("code_challenge_method") != "S256" || challenge.size() != 43 || !IsUnreservedText(challenge))
        problem = "invalid_request";
    else if (scope.find(" openid ") == std::string::npos) problem = "invalid_scope";
    if (!problem.empty()) {
        // Google shows its own error page here and does not go back to the application.
        line["verdict"] = problem;
        ctx.Record("google_auth.jsonl", line);
        SendText(res, 400, "<html><body><h1>Erro 400: " + problem + "</h1></body></html>");
        return;
    }

    const char joiner = redirectUri.find('?') == std::string::npos ? '?' : '&';
    std::string location;
    if (settings.deny) {
        location = redirectUri + joiner + "error=access_denied";
        line["verdict"] = "denied";
    } else {
        std::string code = settings.code.empty() ? "4/0A" + RandomBase64Url(36) : settings.code;
        int64_t now = NowSeconds();
        Codes().Add(code, Grant{clientId, redirectUri, challenge, settings.email, now + kCodeTtlSeconds}, now);
        location = redirectUri + joiner + "code=" + PercentEncode(code) + settings.redirectTail;
        line["verdict"] = "code";
        line["code"] = code;
    }
    line["location"] = location;
    ctx.Record("google_auth.jsonl", line);
    res.status = 302;
    res.set_header("Location", location);
    SendText(res, 302, "<html><body>Moved</body></html>");
}

void HandleToken(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    std::vector<std::string> order;
    auto fields = ParseForm(req.body, order);
    auto field = [&fields](const char* name) {
        auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    nlohmann::json line{{"body", req.body},
                        {"names", order},
                        {"content_type", req.get_header_value("Content-Type")},
                        {"user_agent", req.get_header_value("User-Agent")},
                        {"code", field("code")}};
    auto refuse = [&](const std::string& error, const std::string& description) {
        line["verdict"] = error + ": " + description;
        ctx.Record("google_token.jsonl", line);
        SendJson(res, 400, ordered{{"error", error}, {"error_description", description}});
    };

    if (field("grant_type") != "authorization_code") return refuse("unsupported_grant_type", "grant_type");
    Grant grant;
    if (!Codes().Take(field("code"), grant, NowSeconds())) return refuse("invalid_grant", "Malformed auth code.");
    if (field("client_id") != grant.clientId) return refuse("invalid_client", "The OAuth client was not found.");
    if (field("redirect_uri") != grant.redirectUri) return refuse("redirect_uri_mismatch", "Bad Request");
    const std::string verifier = field("code_verifier");
    if (verifier.size() < 43 || verifier.size() > 128 || !IsUnreservedText(verifier))
        return refuse("invalid_request", "Invalid code verifier.");
    if (!SameText(S256(verifier), grant.challenge)) return refuse("invalid_grant", "Invalid code verifier.");

    Settings settings = LoadSettings(ctx);
    ordered answer;
    answer["access_token"] = "ya29." + RandomBase64Url(30);
    answer["expires_in"] = 3599;
    answer["scope"] = "openid https://www.googleapis.com/auth/userinfo.email";
    answer["token_type"] = "Bearer";
    if (!settings.omitIdToken) {
        std::string idToken = IssueIdToken(grant.clientId, grant.email);
        answer["id_token"] = idToken;
        line["id_token"] = idToken;
    }
    line["verdict"] = "ok";
    ctx.Record("google_token.jsonl", line);
    SendJson(res, 200, answer);
}

void HandleSession(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    nlohmann::json line{{"body", req.body}, {"content_type", req.get_header_value("Content-Type")}};
    auto refuse = [&](int status, const std::string& reason, const std::string& message) {
        line["verdict"] = reason;
        ctx.Record("google_session.jsonl", line);
        SendJson(res, status, ordered{{"error", message}});
    };
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("idToken") || !body["idToken"].is_string())
        return refuse(400, "body", "Corpo da requisição inválido.");
    const std::string email = VerifiedEmail(body["idToken"].get<std::string>(), ConfiguredClientId(ctx));
    if (email.empty()) return refuse(401, "id token", "Token do Google inválido.");
    line["email"] = email;

    Settings settings = LoadSettings(ctx);
    if (settings.hasSession) {
        line["verdict"] = "scripted";
        ctx.Record("google_session.jsonl", line);
        res.set_content(settings.session, "application/json");
        return;
    }
    ordered data = ordered::parse(ctx.ReadDataFile("accounts.json"), nullptr, false);
    const ordered* account = nullptr;
    if (data.is_object() && data.contains("accounts") && data["accounts"].is_array()) {
        for (const auto& a : data["accounts"]) {
            if (a.is_object() && a.contains("email") && a["email"].is_string() &&
                Lower(a["email"].get<std::string>()) == Lower(email)) {
                account = &a;
                break;
            }
        }
    }
    if (!account) return refuse(403, "no account", "Nenhuma conta vinculada a este e-mail.");
    int64_t userId = 0;
    if (account->contains("userId")) {
        const ordered& id = (*account)["userId"];
        const std::string text = id.is_string() ? id.get<std::string>() : "";
        if (id.is_number_integer()) {
            userId = id.get<int64_t>();
        } else if (!text.empty() && text.size() <= 18 &&
                   std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
            userId = std::stoll(text);
        }
    }
    ordered servers = ordered::array();
    if (account->contains("servers") && (*account)["servers"].is_array()) servers = (*account)["servers"];
    else if (data.contains("servers") && data["servers"].is_array()) servers = data["servers"];
    ordered answer;
    answer["token"] = IssueSessionToken(ctx, userId);
    answer["userId"] = userId;
    answer["username"] = account->value("username", std::string());
    answer["webRootUrl"] = account->value("webRootUrl", std::string());
    answer["servers"] = servers;
    line["verdict"] = "ok";
    line["userId"] = userId;
    line["token"] = answer["token"];
    ctx.Record("google_session.jsonl", line);
    SendJson(res, 200, answer);
}

RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    server.Get("/o/oauth2/v2/auth", [&ctx](const httplib::Request& req, httplib::Response& res) {
        HandleAuthorize(ctx, req, res);
    });
    server.Post("/token", [&ctx](const httplib::Request& req, httplib::Response& res) { HandleToken(ctx, req, res); });
    server.Post("/api/auth/google", [&ctx](const httplib::Request& req, httplib::Response& res) {
        HandleSession(ctx, req, res);
    });
});

}  // namespace
