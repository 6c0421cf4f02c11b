// Native reference for bench/pow.sh: the same proof-of-work search with OpenSSL.
//   pow_native HEXSALT DIFFICULTY  ->  "nonce=N plain_us=T tight_us=T"
// plain: one SHA256() call per nonce, the digest written as hex, the prefix compared;
// tight: one reused EVP context, the leading digits tested on the digest bytes.
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

static std::string FromHex(const char* hex) {
    std::string out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) out += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return out;
}

static long long Micros(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - a).count();
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string salt = FromHex(argv[1]);
    const int difficulty = std::atoi(argv[2]);
    const std::string prefix(static_cast<size_t>(difficulty), '0');
    static const char digits[] = "0123456789abcdef";

    auto t0 = std::chrono::steady_clock::now();
    std::string plain;
    for (int n = 0; n <= 10000000 && plain.empty(); ++n) {
        std::string input = salt + std::to_string(n);
        unsigned char md[32];
        SHA256(reinterpret_cast<const unsigned char*>(input.data()), input.size(), md);
        std::string hex;
        for (unsigned char b : md) hex += {digits[b >> 4], digits[b & 15]};
        if (hex.compare(0, prefix.size(), prefix) == 0) plain = std::to_string(n);
    }
    long long plainUs = Micros(t0);

    t0 = std::chrono::steady_clock::now();
    EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::string tight;
    char buf[4096];
    std::memcpy(buf, salt.data(), salt.size());
    for (int n = 0; n <= 10000000 && tight.empty(); ++n) {
        int len = std::snprintf(buf + salt.size(), 16, "%d", n);
        unsigned char d[32];
        unsigned int dl = 0;
        EVP_DigestInit_ex2(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, buf, salt.size() + static_cast<size_t>(len));
        EVP_DigestFinal_ex(ctx, d, &dl);
        bool ok = true;
        for (int i = 0; i < difficulty / 2 && ok; ++i) ok = d[i] == 0;
        if (ok && difficulty % 2) ok = (d[difficulty / 2] >> 4) == 0;
        if (ok) tight = std::to_string(n);
    }
    long long tightUs = Micros(t0);
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(md);
    if (plain != tight) return 1;
    std::printf("nonce=%s plain_us=%lld tight_us=%lld\n", plain.c_str(), plainUs, tightUs);
    return 0;
}
