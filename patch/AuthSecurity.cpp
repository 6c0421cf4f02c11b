#include "patch/AuthSecurity.h"

#include "BuildConfig.h"
#include "patch/CngHash.h"

namespace {

constexpr uint32_t kMaxNonce = 10000000;
// A SHA-256 hex text has 64 digits: a longer prefix can never match.
constexpr int32_t kMaxDifficulty = 64;

// Writes n in decimal at out (no sign, no leading zeros); returns its length.
size_t WriteDecimal(uint32_t n, char* out) {
    char digits[10];
    size_t len = 0;
    do {
        digits[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    for (size_t i = 0; i < len; ++i) out[i] = digits[len - 1 - i];
    return len;
}

// True when the hex form of the digest begins with `zeros` '0' digits.
bool LeadingZeroNibbles(const unsigned char* digest, int32_t zeros) {
    int32_t full = zeros / 2;
    for (int32_t i = 0; i < full; ++i)
        if (digest[i] != 0) return false;
    return zeros % 2 == 0 || (digest[full] >> 4) == 0;
}

// The plain search, one provider per hash: the fallback when a reusable hash object is not available.
std::string SolveOneByOne(const std::string& salt, int32_t difficulty, uint32_t from) {
    const std::string prefix(static_cast<size_t>(difficulty), '0');
    for (uint32_t nonce = from; nonce <= kMaxNonce; ++nonce) {
        std::string n = std::to_string(nonce);
        if (AuthSecurity::ComputeSHA256Hex(salt + n).compare(0, prefix.size(), prefix) == 0) return n;
    }
    return "";
}

}  // namespace

std::string AuthSecurity::ComputeSHA256Hex(const std::string& text) {
    return CngHashHex(BCRYPT_SHA256_ALGORITHM, text);
}

std::string AuthSecurity::ComputeHMAC_SHA256(const std::string& key, const std::string& data) {
    return CngHashHex(BCRYPT_SHA256_ALGORITHM, data, &key);
}

std::string AuthSecurity::DeriveDynamicKey(const std::string& salt) {
    std::string secret;
    secret.reserve(30);
    secret += VRENN_SECRET_PART1;
    secret += VRENN_SECRET_PART2;
    secret += VRENN_SECRET_PART3;
    std::string key = ComputeHMAC_SHA256(secret, salt);
    SecureZeroMemory(secret.data(), secret.size());
    return key;
}

std::string AuthSecurity::SolvePoW(const std::string& salt, int32_t difficulty) {
    if (difficulty < 0 || difficulty > kMaxDifficulty) return "";
    if (difficulty == 0) return "0";  // the empty prefix matches the first try

    // One reusable SHA-256 object for the whole search; the same digests as one provider per hash.
    CngHash sha(BCRYPT_SHA256_ALGORITHM, nullptr, true);
    if (!sha.Ok() || sha.DigestLength() != 32) return SolveOneByOne(salt, difficulty, 0);
    std::string input = salt;
    input.resize(salt.size() + 8);  // room for "10000000"
    char* tail = input.data() + salt.size();
    unsigned char digest[32];
    for (uint32_t nonce = 0; nonce <= kMaxNonce; ++nonce) {
        size_t len = WriteDecimal(nonce, tail);
        if (!sha.Digest(input.data(), salt.size() + len, digest)) return SolveOneByOne(salt, difficulty, nonce);
        if (LeadingZeroNibbles(digest, difficulty)) return std::string(tail, len);
    }
    return "";
}
