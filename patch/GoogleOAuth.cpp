// Google sign-in: authorization code with PKCE (S256) for an installed
// application. The system browser shows Google's page, its redirect comes
// back to a one-shot listener on the IPv4 loopback address, the code buys an
// ID token at Google's token endpoint, and the launcher server turns that
// into a session. There is no client secret; the verifier alone binds the
// code to this call.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "patch/AuthWire.h"
#include "patch/GoogleOAuthText.h"
#include "patch/HttpTransport.h"
#include "patch/PatchManager.h"
#include "patch/TextHelpers.h"

namespace {

constexpr char kAuthPath[] = "/o/oauth2/v2/auth";
constexpr char kTokenPath[] = "/token";
constexpr int kRandomBytes = 32;
constexpr int kReceiveRoom = 4095;
constexpr ULONGLONG kCancelPollMs = 250;

// 32 bytes from the verify-only context of the full RSA provider.
bool DrawRandomBytes(unsigned char* out, DWORD count) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    BOOL drawn = CryptGenRandom(provider, count, out);
    CryptReleaseContext(provider, 0);
    return drawn != FALSE;
}

class WinsockScope {
public:
    WinsockScope() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockScope() {
        if (started) WSACleanup();
    }
    WinsockScope(const WinsockScope&) = delete;
    WinsockScope& operator=(const WinsockScope&) = delete;
    bool started = false;
};

// Listener on 127.0.0.1, port chosen by the system, backlog 1; INVALID_SOCKET on any failure.
SOCKET OpenLoopbackListener(uint16_t& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return INVALID_SOCKET;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int len = sizeof(addr);
    // Non-blocking, so an accept after a connection that vanished since the
    // select cannot stall the turn.
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 1) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(addr.sin_port);
    return s;
}

// One accepted connection: receive once, take the code when there is one,
// answer the page and close. A peer that connects and sends nothing costs
// at most one turn length, not the whole sign-in.
void ServeConnection(SOCKET client, int turnMs, std::string& code) {
    u_long blocking = 0;
    ioctlsocket(client, FIONBIO, &blocking);
    DWORD timeout = static_cast<DWORD>(turnMs > 0 ? turnMs : 1);
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));

    char buffer[kReceiveRoom + 1] = {};
    int received = recv(client, buffer, kReceiveRoom, 0);
    if (received < 0) received = 0;
    ExtractRedirectCode(std::string(buffer, static_cast<size_t>(received)), code);

    send(client, kGoogleAnswerPage.data(), static_cast<int>(kGoogleAnswerPage.size()), 0);
    closesocket(client);
}

bool Cancelled(std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// Waits for the browser's redirect until the deadline (turns x turn length
// from now), whatever else connects meanwhile. Empty when the deadline passed,
// the wait failed, or the cancel flag was seen set (cancelled); the flag is
// looked at every kCancelPollMs, so a cancelled sign-in lets go of its port
// at once and a closing window need not wait a whole turn.
std::string WaitForCode(SOCKET listener, int turnMs, int turns, std::atomic<bool>* cancel, bool& cancelled) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(turnMs) * static_cast<ULONGLONG>(turns);
    for (;;) {
        if (Cancelled(cancel)) {
            cancelled = true;
            return "";
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return "";
        const ULONGLONG waitMs = std::min<ULONGLONG>(deadline - now, kCancelPollMs);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>((waitMs % 1000) * 1000)};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) return "";
        if (ready == 0) continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        std::string code;
        ServeConnection(client, turnMs, code);
        if (!code.empty()) return code;
    }
}

}  // namespace

void PatchManager::SetGoogleEndpointsForTesting(const std::string& authBase, const std::string& tokenBase,
                                                int turnMilliseconds, int turns) {
    googleAuthBase = authBase;
    googleTokenBase = tokenBase;
    googleTurnMs = turnMilliseconds > 0 ? turnMilliseconds : 1;
    googleTurns = turns > 0 ? turns : 0;
}

bool PatchManager::GoogleOAuth(std::string& userId, std::string& username, std::string& token,
                               std::string& webRootUrl, std::vector<GameServer>& servers, std::string& error,
                               std::atomic<bool>* cancel) {
    std::string config;
    if (!DownloadStringWinHTTP(patchServerUrl + "/api/launcher/config", config)) {
        error = "auth_unreachable";
        return false;
    }
    const std::string clientId = ExtractJsonValue(config, "googleClientId", true);
    if (clientId.empty()) {
        error = "google_unavailable";
        return false;
    }

    unsigned char random[kRandomBytes];
    if (!DrawRandomBytes(random, sizeof(random))) {
        RtlSecureZeroMemory(random, sizeof(random));
        error = "google_internal";
        return false;
    }
    const std::string verifier = Base64UrlEncode(random, sizeof(random));
    const std::string challenge = verifier.empty() ? std::string() : Sha256Base64Url(verifier);
    RtlSecureZeroMemory(random, sizeof(random));
    if (verifier.empty() || challenge.empty()) {
        error = "google_internal";
        return false;
    }

    WinsockScope winsock;
    if (!winsock.started) {
        error = "google_internal";
        return false;
    }
    uint16_t port = 0;
    SOCKET listener = OpenLoopbackListener(port);
    if (listener == INVALID_SOCKET) {
        error = "google_internal";
        return false;
    }

    // Cancelled while the configuration was read: no browser for a sign-in nobody waits for.
    if (Cancelled(cancel)) {
        closesocket(listener);
        error = "google_cancelled";
        return false;
    }
    const std::string redirectUri = BuildGoogleRedirectUri(port);
    const std::string authUrl = BuildGoogleAuthUrl(googleAuthBase + kAuthPath, clientId, redirectUri, challenge);
    // When no browser opens, the wait below simply runs out.
    ShellExecuteW(nullptr, L"open", Utf8ToWString(authUrl).c_str(), nullptr, nullptr, SW_SHOWNORMAL);

    bool cancelled = false;
    const std::string code = WaitForCode(listener, googleTurnMs, googleTurns, cancel, cancelled);
    closesocket(listener);
    // A code that came with the cancel is not exchanged.
    if (cancelled || code.empty() || Cancelled(cancel)) {
        error = "google_cancelled";
        return false;
    }

    std::string tokenAnswer;
    if (!PostStringWinHTTP(googleTokenBase + kTokenPath, BuildGoogleTokenBody(code, clientId, redirectUri, verifier),
                           tokenAnswer, "application/x-www-form-urlencoded")) {
        error = "auth_unreachable";
        return false;
    }
    const std::string idToken = ExtractJsonValue(tokenAnswer, "id_token", true);
    if (idToken.empty()) {
        error = "google_denied";
        return false;
    }

    std::string answer;
    if (!PostStringWinHTTP(patchServerUrl + "/api/auth/google", BuildGoogleSessionBody(idToken), answer,
                           "application/json")) {
        error = "auth_unreachable";
        return false;
    }
    return ReadGoogleSessionAnswer(answer, userId, username, token, webRootUrl, servers, error);
}
