#pragma once
// The signed exchange with the launcher server as text: reading the challenge,
// the two bodies, the string to sign, the header block and the two answers.
// No Windows header; the hashing and the requests live in AuthSecurity and
// PatchManagerAuth.
#include <cstdint>
#include <string>
#include <vector>

#include "patch/PatchTypes.h"

struct AuthChallenge {
    std::string id;
    std::string salt;
    int32_t difficulty = 4;
};

// False when "challenge_id" or "salt" is empty, or when "difficulty" is present
// but is not a non-negative decimal number within 32 bits.
bool ReadAuthChallenge(const std::string& answer, AuthChallenge& out);

// Compact bodies, values escaped: {"Username":"..","Password":".."} and {"userid":"..","token":".."}.
std::string BuildLoginBody(const std::string& username, const std::string& password);
std::string BuildRefreshBody(const std::string& userId, const std::string& token);

// "POST\n/api/auth\n" + timestamp + "\n" + challenge id + "\n" + body hash, no final line feed.
std::string BuildStringToSign(const std::string& timestamp, const std::string& challengeId,
                              const std::string& bodyHash);
// The five header lines, each ended by "\r\n" (UTF-8; the caller widens it).
std::string BuildSignedHeaders(const std::string& challengeId, const std::string& nonce,
                               const std::string& timestamp, const std::string& signature);

// Each operation's texts for the five failures, in order.
struct AuthFailureTexts {
    const char* challengeFailed;
    const char* handshake;
    const char* proofOfWork;
    const char* postFailed;
    const char* refused;  // used when the answer carries no "error"
};
extern const AuthFailureTexts kLoginFailureTexts;
extern const AuthFailureTexts kRefreshFailureTexts;

// Reads a login answer into the out-parameters as the login contract says:
// token always, the rest only when the token is not empty; error only on failure.
bool ReadLoginAnswer(const std::string& answer, std::string& userId, std::string& token, std::string& webRootUrl,
                     std::vector<GameServer>& servers, std::string& error);
// "signature", else "token"; error only on failure.
bool ReadRefreshAnswer(const std::string& answer, std::string& signature, std::string& error);
// The server's answer to a Google sign-in: token from "signature", else "token"
// (written always); on failure error is the answer's "error", else "google_denied".
bool ReadGoogleSessionAnswer(const std::string& answer, std::string& userId, std::string& username,
                             std::string& token, std::string& webRootUrl, std::vector<GameServer>& servers,
                             std::string& error);
