#include "patch/CngHash.h"

CngHash::CngHash(const wchar_t* algorithm, const std::string* hmacKey, bool reusable) : reusable(reusable) {
    ULONG flags = hmacKey ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0;
    if (BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, flags) < 0) {
        provider = nullptr;
        return;
    }
    DWORD objectLength = 0, got = 0;
    if (BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                          sizeof(objectLength), &got, 0) < 0 ||
        BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&digestLength),
                          sizeof(digestLength), &got, 0) < 0) {
        return;
    }
    object.resize(objectLength);
    PUCHAR secret = hmacKey ? reinterpret_cast<PUCHAR>(const_cast<char*>(hmacKey->data())) : nullptr;
    ULONG secretLength = hmacKey ? static_cast<ULONG>(hmacKey->size()) : 0;
    ULONG hashFlags = reusable ? BCRYPT_HASH_REUSABLE_FLAG : 0;
    if (BCryptCreateHash(provider, &hash, object.data(), objectLength, secret, secretLength, hashFlags) < 0) {
        hash = nullptr;
        return;
    }
    ok = true;
}

CngHash::~CngHash() {
    if (hash) BCryptDestroyHash(hash);
    if (provider) BCryptCloseAlgorithmProvider(provider, 0);
    // The hash object holds the last partial block of what was hashed (a
    // body with the password, an HMAC key): wiped before it is freed.
    SecureZeroMemory(object.data(), object.size());
}

bool CngHash::Update(const void* data, size_t size) {
    if (!ok) return false;
    if (size == 0) return true;
    if (BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0) < 0) {
        ok = false;
    }
    return ok;
}

std::vector<unsigned char> CngHash::Finish() {
    if (!ok) return {};
    std::vector<unsigned char> digest(digestLength);
    ok = false;
    if (BCryptFinishHash(hash, digest.data(), digestLength, 0) < 0) return {};
    return digest;
}

bool CngHash::Digest(const void* data, size_t size, unsigned char* out) {
    if (!ok || !reusable) return false;
    return BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0) >= 0 &&
           BCryptFinishHash(hash, out, digestLength, 0) >= 0;
}

std::string HexLower(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string CngHashHex(const wchar_t* algorithm, const std::string& data, const std::string* hmacKey) {
    CngHash h(algorithm, hmacKey);
    if (!h.Update(data.data(), data.size())) return "";
    return HexLower(h.Finish());
}

std::string CngFileHashHex(const wchar_t* algorithm, const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string result;
    {
        CngHash h(algorithm);
        if (h.Ok()) {
            std::vector<char> buffer(65536);
            bool failed = false;
            for (;;) {
                DWORD read = 0;
                if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
                    DWORD err = GetLastError();
                    if (err != 0 && err != ERROR_HANDLE_EOF) failed = true;
                    break;
                }
                if (read == 0) break;
                if (!h.Update(buffer.data(), read)) {
                    failed = true;
                    break;
                }
            }
            if (!failed) result = HexLower(h.Finish());
        }
    }
    CloseHandle(file);
    return result;
}
