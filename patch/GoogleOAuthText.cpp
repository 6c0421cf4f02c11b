#include "patch/GoogleOAuthText.h"

#include "patch/TextHelpers.h"

std::string BuildGoogleRedirectUri(uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/callback";
}

std::string BuildGoogleAuthUrl(const std::string& authEndpoint, const std::string& clientId,
                               const std::string& redirectUri, const std::string& challenge) {
    std::string url = authEndpoint;
    url += "?client_id=" + UrlEncodeQuery(clientId);
    url += "&redirect_uri=" + UrlEncodeQuery(redirectUri);
    url += "&response_type=code&scope=" + UrlEncodeQuery("openid email");
    url += "&code_challenge=" + UrlEncodeQuery(challenge);
    url += "&code_challenge_method=S256";
    return url;
}

std::string BuildGoogleTokenBody(const std::string& code, const std::string& clientId,
                                 const std::string& redirectUri, const std::string& verifier) {
    std::string body = "code=" + UrlEncodeQuery(code);
    body += "&client_id=" + UrlEncodeQuery(clientId);
    body += "&redirect_uri=" + UrlEncodeQuery(redirectUri);
    body += "&grant_type=authorization_code";
    body += "&code_verifier=" + UrlEncodeQuery(verifier);
    return body;
}

std::string BuildGoogleSessionBody(const std::string& idToken) {
    return "{\"idToken\":\"" + EscapeJsonString(idToken) + "\"}";
}

bool ExtractRedirectCode(const std::string& request, std::string& code) {
    static constexpr std::string_view kKey = "code=";
    size_t at = request.find(kKey);
    if (at == std::string::npos) return false;
    size_t begin = at + kKey.size();
    size_t end = request.find_first_of(" &", begin);
    if (end == std::string::npos) end = request.size();
    code = UrlDecodeQuery(request.substr(begin, end - begin));
    return true;
}
