#include "patch/AuthWire.h"

#include <string_view>

#include "patch/PatchManager.h"
#include "patch/ServerList.h"
#include "patch/TextHelpers.h"

const AuthFailureTexts kLoginFailureTexts{
    "Não foi possível conectar ao serviço de segurança.",
    "Falha ao negociar handshake de segurança.",
    "Falha na resolução do desafio de segurança.",
    "Não foi possível conectar ao servidor de autenticação.",
    "Usuário ou senha incorretos.",
};

const AuthFailureTexts kRefreshFailureTexts{
    "Não foi possível contatar o servidor de segurança.",
    "Falha ao negociar handshake de segurança.",
    "Falha na resolução do desafio.",
    "Não foi possível contatar o servidor de autenticação.",
    "Sessão expirada. Faça login novamente.",
};

bool ReadAuthChallenge(const std::string& answer, AuthChallenge& out) {
    out.id = ExtractJsonValue(answer, "challenge_id", true);
    out.salt = ExtractJsonValue(answer, "salt", true);
    std::string raw = ExtractJsonValue(answer, "difficulty", false);
    out.difficulty = 4;
    if (!raw.empty()) {
        // "true", a quoted non-number, a negative or an oversized value: a broken challenge.
        int32_t value = 0;
        if (!ParseLeadingInt32(raw, value) || value < 0) return false;
        out.difficulty = value;
    }
    return !out.id.empty() && !out.salt.empty();
}

// Built in one buffer of its final size, escaping in place: the values (a
// password, a session token) leave no partial copy in a freed buffer.
static std::string TwoMemberBody(std::string_view key1, const std::string& value1, std::string_view key2,
                                 const std::string& value2) {
    std::string body;
    body.reserve(2 + key1.size() + 3 + EscapedJsonLength(value1) + 3 + key2.size() + 3 + EscapedJsonLength(value2) +
                 2);
    body.append("{\"").append(key1).append("\":\"");
    AppendEscapedJson(body, value1);
    body.append("\",\"").append(key2).append("\":\"");
    AppendEscapedJson(body, value2);
    body.append("\"}");
    return body;
}

std::string BuildLoginBody(const std::string& username, const std::string& password) {
    return TwoMemberBody("Username", username, "Password", password);
}

std::string BuildRefreshBody(const std::string& userId, const std::string& token) {
    return TwoMemberBody("userid", userId, "token", token);
}

std::string BuildStringToSign(const std::string& timestamp, const std::string& challengeId,
                              const std::string& bodyHash) {
    return "POST\n/api/auth\n" + timestamp + "\n" + challengeId + "\n" + bodyHash;
}

std::string BuildSignedHeaders(const std::string& challengeId, const std::string& nonce,
                               const std::string& timestamp, const std::string& signature) {
    return "Content-Type: application/json\r\n"
           "X-Challenge-Id: " + challengeId + "\r\n"
           "X-PoW-Nonce: " + nonce + "\r\n"
           "X-Timestamp: " + timestamp + "\r\n"
           "X-Signature: " + signature + "\r\n";
}

bool ReadLoginAnswer(const std::string& answer, std::string& userId, std::string& token, std::string& webRootUrl,
                     std::vector<GameServer>& servers, std::string& error) {
    token = ExtractJsonValue(answer, "token", true);
    if (token.empty()) {
        error = ExtractJsonValue(answer, "error", true);
        if (error.empty()) error = kLoginFailureTexts.refused;
        return false;
    }
    userId = ExtractJsonValue(answer, "userId", false);
    if (userId.empty()) userId.assign(1, '0');  // GCC 12 warns falsely (-Wrestrict) on = "0"
    webRootUrl = ExtractJsonValue(answer, "webRootUrl", true);
    PatchManager::ParseServersJson(answer, servers);
    return true;
}

bool ReadRefreshAnswer(const std::string& answer, std::string& signature, std::string& error) {
    signature = ExtractJsonValue(answer, "signature", true);
    if (signature.empty()) signature = ExtractJsonValue(answer, "token", true);
    if (signature.empty()) {
        error = ExtractJsonValue(answer, "error", true);
        if (error.empty()) error = kRefreshFailureTexts.refused;
        return false;
    }
    return true;
}

bool ReadGoogleSessionAnswer(const std::string& answer, std::string& userId, std::string& username,
                             std::string& token, std::string& webRootUrl, std::vector<GameServer>& servers,
                             std::string& error) {
    token = ExtractJsonValue(answer, "signature", true);
    if (token.empty()) token = ExtractJsonValue(answer, "token", true);
    if (token.empty()) {
        error = ExtractJsonValue(answer, "error", true);
        if (error.empty()) error = "google_denied";
        return false;
    }
    userId = ExtractJsonValue(answer, "userId", false);
    if (userId.empty()) userId.assign(1, '0');
    username = ExtractJsonValue(answer, "username", true);
    webRootUrl = ExtractJsonValue(answer, "webRootUrl", true);
    PatchManager::ParseServersJson(answer, servers);
    return true;
}
