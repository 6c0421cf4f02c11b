#pragma once
// The texts of the Google sign-in exchange: the loopback redirect URI, the
// authorization URL, the two request bodies, the answer page, and the code
// taken from the browser's redirect. No Windows header.
#include <cstdint>
#include <string>
#include <string_view>

// Sent, byte for byte, on every connection the loopback listener accepts.
inline constexpr std::string_view kGoogleAnswerPage =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "Connection: close\r\n"
    "\r\n"
    "<html><body style='background:#1a0b2e;color:#fff;font-family:sans-serif'>"
    "<h2>Pode fechar esta janela e voltar ao launcher.</h2></body></html>";

// "http://127.0.0.1:PORT/callback".
std::string BuildGoogleRedirectUri(uint16_t port);

// The endpoint followed by the query: client_id, redirect_uri, response_type,
// scope "openid email", code_challenge, code_challenge_method=S256.
std::string BuildGoogleAuthUrl(const std::string& authEndpoint, const std::string& clientId,
                               const std::string& redirectUri, const std::string& challenge);

// Form body of the token exchange.
std::string BuildGoogleTokenBody(const std::string& code, const std::string& clientId,
                                 const std::string& redirectUri, const std::string& verifier);

// {"idToken":"..."} for the launcher server.
std::string BuildGoogleSessionBody(const std::string& idToken);

// The code of the browser's redirect: true only when the request line is a
// GET of "/callback" whose query has a non-empty "code" parameter (the first
// one counts); code is then its value, up to the next '&', the space before
// the protocol version or the end of the text, percent-decoded. Anything else
// (another method or path, a code elsewhere in the request) leaves code alone.
bool ExtractRedirectCode(const std::string& request, std::string& code);
