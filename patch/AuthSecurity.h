#pragma once
// Hashing for the signed exchange with the launcher server: SHA-256 and
// HMAC-SHA256 as lower-case hex, the per-salt signing key and the proof of work.
#include <cstdint>
#include <string>

class AuthSecurity {
public:
    AuthSecurity() = delete;

    // 64 lower-case hex characters; "" on failure.
    static std::string ComputeSHA256Hex(const std::string& text);
    // HMAC-SHA256 of data under key (keys of any length); "" on failure.
    static std::string ComputeHMAC_SHA256(const std::string& key, const std::string& data);
    // HMAC-SHA256 of the salt under the shared secret, joined from its three parts for this call only.
    static std::string DeriveDynamicKey(const std::string& salt);
    // Smallest nonce 0..10,000,000 whose SHA-256(salt + nonce) hex starts with difficulty '0's; "" if none.
    static std::string SolvePoW(const std::string& salt, int32_t difficulty);
};
