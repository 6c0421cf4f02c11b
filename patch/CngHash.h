#pragma once
// CNG hashing (SHA-256, MD5, HMAC-SHA256) shared by request signing, the
// self-update check, PKCE and the game launch.
#include <windows.h>
#include <bcrypt.h>

#include <string>
#include <vector>

class CngHash {
public:
    // algorithm: BCRYPT_SHA256_ALGORITHM or BCRYPT_MD5_ALGORITHM; a key makes it an HMAC.
    // reusable: one object hashes many messages through Digest() (a search over many inputs).
    CngHash(const wchar_t* algorithm, const std::string* hmacKey = nullptr, bool reusable = false);
    ~CngHash();
    CngHash(const CngHash&) = delete;
    CngHash& operator=(const CngHash&) = delete;

    bool Ok() const { return ok; }
    bool Update(const void* data, size_t size);
    // The digest; empty when any step failed. The object is spent afterwards.
    std::vector<unsigned char> Finish();
    // Reusable objects only: the digest of one whole message into out (DigestLength() bytes);
    // the object is then ready for the next message.
    bool Digest(const void* data, size_t size, unsigned char* out);
    DWORD DigestLength() const { return digestLength; }

private:
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<unsigned char> object;
    DWORD digestLength = 0;
    bool reusable = false;
    bool ok = false;
};

std::string HexLower(const std::vector<unsigned char>& bytes);
// Digest of the bytes as lower-case hex; "" on failure.
std::string CngHashHex(const wchar_t* algorithm, const std::string& data, const std::string* hmacKey = nullptr);
// Digest of a file read in 64 KiB chunks as lower-case hex; "" on any failure.
std::string CngFileHashHex(const wchar_t* algorithm, const std::wstring& path);
