// CNG hashing of the signed exchange: digests, the per-salt key, the proof of work.
#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "patch/AuthSecurity.h"

namespace {

// The plain search as the protocol defines it, to hold the fast one against.
std::string ReferencePoW(const std::string& salt, int difficulty) {
    const std::string prefix(static_cast<size_t>(difficulty), '0');
    for (int n = 0; n <= 10000000; ++n)
        if (AuthSecurity::ComputeSHA256Hex(salt + std::to_string(n)).compare(0, prefix.size(), prefix) == 0)
            return std::to_string(n);
    return "";
}

}  // namespace

TEST(AuthSecurity, Sha256KnownDigests) {
    struct Case {
        std::string text, hex;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(AuthSecurity::ComputeSHA256Hex(c.text), c.hex) << c.text.substr(0, 20);
}

TEST(AuthSecurity, HmacSha256Rfc4231Vectors) {
    struct Case {
        std::string key, data, hex;
    };
    const Case cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        // A key longer than the block is hashed first.
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
    };
    for (const auto& c : cases) EXPECT_EQ(AuthSecurity::ComputeHMAC_SHA256(c.key, c.data), c.hex) << c.data;
}

TEST(AuthSecurity, DerivedKeyIsHmacOfSaltUnderJoinedSecret) {
    const std::string secret = std::string(VRENN_SECRET_PART1) + VRENN_SECRET_PART2 + VRENN_SECRET_PART3;
    ASSERT_EQ(secret.size(), 30u);
    for (const std::string salt : {"", "a1b2c3d4e5f6", "sal com espaço \xC3\xA7"}) {
        std::string key = AuthSecurity::DeriveDynamicKey(salt);
        EXPECT_EQ(key.size(), 64u);
        EXPECT_EQ(key, AuthSecurity::ComputeHMAC_SHA256(secret, salt));
        EXPECT_EQ(key, AuthSecurity::DeriveDynamicKey(salt));  // same salt, same key
    }
    EXPECT_NE(AuthSecurity::DeriveDynamicKey("s1"), AuthSecurity::DeriveDynamicKey("s2"));
    // The key signs as its 64 hex characters, not as the 32 bytes they spell.
    std::string key = AuthSecurity::DeriveDynamicKey("s1");
    EXPECT_NE(AuthSecurity::ComputeHMAC_SHA256(key, "POST"), AuthSecurity::ComputeHMAC_SHA256(key.substr(0, 32), "POST"));
}

TEST(AuthSecurity, ProofOfWorkFindsTheSmallestQualifyingNonce) {
    const std::string longSalt(150, 'z');  // spans several hash blocks
    struct Case {
        std::string salt;
        int difficulty;
    };
    const Case cases[] = {
        {"0f1e2d3c4b5a69788796a5b4c3d2e1f0", 1}, {"0f1e2d3c4b5a69788796a5b4c3d2e1f0", 2},
        {"salt", 1}, {"salt", 3}, {"\xC3\xA7\xFF\x01 bytes as sent", 2}, {longSalt, 2}, {"", 2},
    };
    for (const auto& c : cases) {
        std::string nonce = AuthSecurity::SolvePoW(c.salt, c.difficulty);
        EXPECT_EQ(nonce, ReferencePoW(c.salt, c.difficulty)) << c.salt << " at " << c.difficulty;
        std::string hex = AuthSecurity::ComputeSHA256Hex(c.salt + nonce);
        EXPECT_EQ(hex.substr(0, c.difficulty), std::string(c.difficulty, '0'));
        EXPECT_TRUE(nonce == "0" || nonce[0] != '0') << nonce;
    }
}

TEST(AuthSecurity, ProofOfWorkEdges) {
    for (const std::string salt : {"", "x", "0f1e2d3c"}) EXPECT_EQ(AuthSecurity::SolvePoW(salt, 0), "0");
    // No 64-digit hex text has 65 leading zeros; a negative length has no prefix at all.
    EXPECT_EQ(AuthSecurity::SolvePoW("x", 65), "");
    EXPECT_EQ(AuthSecurity::SolvePoW("x", 1000), "");
    EXPECT_EQ(AuthSecurity::SolvePoW("x", -1), "");
    // Difficulty 1 asks for a zero hex digit, not a zero bit: the answer's first digit is '0'.
    std::string n = AuthSecurity::SolvePoW("bits", 1);
    EXPECT_EQ(AuthSecurity::ComputeSHA256Hex("bits" + n)[0], '0');
}
