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
    // The request line only: "GET /callback?query HTTP/1.1". Headers, other
    // paths and other methods never carry the redirect.
    const std::string_view text(request);
    const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    if (line.substr(0, 4) != "GET ") return false;
    std::string_view target = line.substr(4);
    target = target.substr(0, target.find(' '));
    const size_t mark = target.find('?');
    if (target.substr(0, mark) != "/callback" || mark == std::string_view::npos) return false;

    std::string_view query = target.substr(mark + 1);
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view param = query.substr(0, amp);
        if (param.substr(0, 5) == "code=") {
            // The first code decides, even when it is empty.
            const std::string_view value = param.substr(5);
            if (value.empty()) return false;
            code = UrlDecodeQuery(std::string(value));
            return true;
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return false;
}
