// Password login and session refresh: one challenge, one proof of work and one
// signed post per call, each operation with its own body, texts and answer.
#include <ctime>
#include <functional>

#include "patch/AuthSecurity.h"
#include "patch/AuthWire.h"
#include "patch/HttpTransport.h"
#include "patch/PatchManager.h"
#include "patch/SecureWipe.h"

namespace {

// Runs the signed exchange up to the answer; false with error set on failures 1 to 4.
bool SignedExchange(const std::string& baseUrl, const std::function<std::string()>& buildBody,
                    const AuthFailureTexts& texts, std::string& answer, std::string& error) {
    std::string challengeText;
    if (!DownloadStringWinHTTP(baseUrl + "/api/auth/challenge", challengeText)) {
        error = texts.challengeFailed;
        return false;
    }
    AuthChallenge challenge;
    if (!ReadAuthChallenge(challengeText, challenge)) {
        error = texts.handshake;
        return false;
    }
    std::string nonce = AuthSecurity::SolvePoW(challenge.salt, challenge.difficulty);
    if (nonce.empty()) {
        error = texts.proofOfWork;
        return false;
    }
    // The body carries the password or the session token: wiped once sent.
    const SecretText body(buildBody());
    std::string timestamp = std::to_string(static_cast<long long>(std::time(nullptr)));
    std::string stringToSign =
        BuildStringToSign(timestamp, challenge.id, AuthSecurity::ComputeSHA256Hex(body.str()));
    std::string key = AuthSecurity::DeriveDynamicKey(challenge.salt);
    std::string signature = AuthSecurity::ComputeHMAC_SHA256(key, stringToSign);
    std::wstring headers = Utf8ToWString(BuildSignedHeaders(challenge.id, nonce, timestamp, signature));
    if (!PostStringWinHTTPWithCustomHeaders(baseUrl + "/api/auth", body.str(), headers, answer)) {
        error = texts.postFailed;
        return false;
    }
    return true;
}

}  // namespace

bool PatchManager::Authenticate(const std::string& username, const std::string& password, std::string& userId,
                                std::string& token, std::string& webRootUrl, std::vector<GameServer>& servers,
                                std::string& error) {
    std::string answer;
    if (!SignedExchange(patchServerUrl, [&] { return BuildLoginBody(username, password); }, kLoginFailureTexts,
                        answer, error))
        return false;
    return ReadLoginAnswer(answer, userId, token, webRootUrl, servers, error);
}

bool PatchManager::Reauth(const std::string& userId, const std::string& token, std::string& signature,
                          std::string& error) {
    std::string answer;
    if (!SignedExchange(patchServerUrl, [&] { return BuildRefreshBody(userId, token); }, kRefreshFailureTexts,
                        answer, error))
        return false;
    return ReadRefreshAnswer(answer, signature, error);
}
