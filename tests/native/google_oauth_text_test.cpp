// The texts of the Google sign-in: the code taken from the browser's
// redirect, the authorization URL, the two bodies and the answer page.
#include <gtest/gtest.h>

#include "patch/GoogleOAuthText.h"

namespace {

using namespace std::string_literals;

struct CodeCase {
    const char* name;
    std::string request;
    bool found;
    std::string code;
};

}  // namespace

TEST(ExtractRedirectCode, TakesTheFirstCodeUpToSpaceAmpersandOrEnd) {
    const CodeCase cases[] = {
        {"ended by '&' before more parameters",
         "GET /callback?code=4%2F0AbC-d_e&scope=email%20openid&authuser=0 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true,
         "4/0AbC-d_e"},
        {"ended by the space before the protocol version", "GET /callback?code=abc123 HTTP/1.1\r\nHost: x\r\n\r\n",
         true, "abc123"},
        {"running to the end of the received text", "GET /callback?code=tail%21", true, "tail!"},
        {"escapes in either case and '+' decoded", "GET /callback?code=a%2fb%2Fc+d%20e HTTP/1.1", true, "a/b/c d e"},
        {"only the first code counts", "GET /callback?code=first&code=second HTTP/1.1", true, "first"},
        {"after other parameters", "GET /callback?state=1&xcode=no&code=yes HTTP/1.1", true, "yes"},
        {"malformed escapes are copied as they stand", "GET /callback?code=%zz%4 HTTP/1.1", true, "%zz%4"},
        {"a '%' among the last two bytes is copied", "GET /callback?code=ab%4", true, "ab%4"},
        {"the page icon has no code", "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1:5000\r\n\r\n", false, ""},
        {"a refused consent has no code", "GET /callback?error=access_denied HTTP/1.1\r\n\r\n", false, ""},
        {"nothing received", "", false, ""},
    };
    for (const auto& c : cases) {
        std::string code = "untouched";
        EXPECT_EQ(ExtractRedirectCode(c.request, code), c.found) << c.name;
        EXPECT_EQ(code, c.found ? c.code : "untouched") << c.name;
    }
}

// Any local program can connect to the listener: only the browser's redirect,
// a GET of the redirect path, may end the wait. Each of these leaves it open.
TEST(ExtractRedirectCode, OnlyAGetOfTheRedirectPathCarriesACode) {
    const CodeCase cases[] = {
        {"another method", "POST /callback?code=x HTTP/1.1\r\n\r\n", false, ""},
        {"a method in lower case", "get /callback?code=x HTTP/1.1", false, ""},
        {"the site root", "GET /?code=x HTTP/1.1", false, ""},
        {"another path", "GET /favicon.ico?code=x HTTP/1.1", false, ""},
        {"a longer path", "GET /callbacks?code=x HTTP/1.1", false, ""},
        {"a path below it", "GET /callback/x?code=y HTTP/1.1", false, ""},
        {"the absolute form", "GET http://127.0.0.1:5/callback?code=x HTTP/1.1", false, ""},
        {"code= only in a header", "GET /callback HTTP/1.1\r\nReferer: http://h/?code=x\r\n\r\n", false, ""},
        {"code= only in the body", "GET / HTTP/1.1\r\n\r\ncode=x", false, ""},
        {"a parameter that only ends in code", "GET /callback?xcode=x HTTP/1.1", false, ""},
        {"code= past the protocol version", "GET /callback HTTP/1.1?code=x", false, ""},
        {"bytes before the request line", "\x01\x00junk GET /callback?code=z9 HTTP/1.1"s, false, ""},
        {"a leading blank", " GET /callback?code=z9 HTTP/1.1", false, ""},
        {"an empty first code", "GET /callback?code=&code=x HTTP/1.1", false, ""},
    };
    for (const auto& c : cases) {
        std::string code = "untouched";
        EXPECT_EQ(ExtractRedirectCode(c.request, code), c.found) << c.name;
        EXPECT_EQ(code, "untouched") << c.name;
    }
}

TEST(GoogleAuthUrl, KeepsTheOrderAndEncodesEveryValue) {
    EXPECT_EQ(BuildGoogleRedirectUri(5), "http://127.0.0.1:5/callback");
    EXPECT_EQ(BuildGoogleRedirectUri(65535), "http://127.0.0.1:65535/callback");

    const std::string challenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
    EXPECT_EQ(BuildGoogleAuthUrl("https://accounts.google.com/o/oauth2/v2/auth", "12-ab.apps.googleusercontent.com",
                                 BuildGoogleRedirectUri(50123), challenge),
              "https://accounts.google.com/o/oauth2/v2/auth?client_id=12-ab.apps.googleusercontent.com"
              "&redirect_uri=http%3A%2F%2F127.0.0.1%3A50123%2Fcallback&response_type=code&scope=openid%20email"
              "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&code_challenge_method=S256");
    // A client id with reserved bytes cannot break out of its parameter.
    EXPECT_EQ(BuildGoogleAuthUrl("http://h/a", "x y&z=1/\xC3\xA7", "r", "c"),
              "http://h/a?client_id=x%20y%26z%3D1%2F%C3%A7&redirect_uri=r&response_type=code&scope=openid%20email"
              "&code_challenge=c&code_challenge_method=S256");
}

TEST(GoogleBodies, TokenFormAndSessionJson) {
    EXPECT_EQ(BuildGoogleTokenBody("4/0Ab+c", "id 1", "http://127.0.0.1:7/callback", "v-._~"),
              "code=4%2F0Ab%2Bc&client_id=id%201&redirect_uri=http%3A%2F%2F127.0.0.1%3A7%2Fcallback"
              "&grant_type=authorization_code&code_verifier=v-._~");
    EXPECT_EQ(BuildGoogleSessionBody("eyJ.a\"b\\c\n"), "{\"idToken\":\"eyJ.a\\\"b\\\\c\\n\"}");
    EXPECT_EQ(BuildGoogleSessionBody(""), "{\"idToken\":\"\"}");
}

TEST(GoogleAnswerPage, IsTheFixedBlockOfBytes) {
    const std::string expected =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
        "<html><body style='background:#1a0b2e;color:#fff;font-family:sans-serif'><h2>Pode fechar esta janela e "
        "voltar ao launcher.</h2></body></html>";
    EXPECT_EQ(std::string(kGoogleAnswerPage), expected);
}
