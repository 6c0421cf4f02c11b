#include "patch/CngHash.h"
#include "patch/TextHelpers.h"

std::string Sha256Base64Url(const std::string& text) {
    CngHash hash(BCRYPT_SHA256_ALGORITHM);
    if (!hash.Update(text.data(), text.size())) return "";
    std::vector<unsigned char> digest = hash.Finish();
    if (digest.empty()) return "";
    return Base64UrlEncode(digest.data(), digest.size());
}
