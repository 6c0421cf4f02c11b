#pragma once
// The one WinHTTP request sequence every caller shares (open, connect, send,
// read to the end, close), with the per-caller time-outs kept in one table.
#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <string>

#include "patch/HttpBodyCheck.h"

// Name resolution / connect / send / receive, in milliseconds.
struct HttpTimeouts {
    int resolve;
    int connect;
    int send;
    int receive;
};

namespace HttpTimeoutTable {
inline constexpr HttpTimeouts kApiRequest{3000, 3000, 4000, 4000};     // DownloadStringWinHTTP, PostStringWinHTTP
inline constexpr HttpTimeouts kLauncherConfig{2000, 2000, 3000, 3000}; // DownloadString (configuration)
inline constexpr HttpTimeouts kLogPost{2000, 2000, 3000, 3000};        // Logger::SendToApiHttp
inline constexpr HttpTimeouts kGameFile{4000, 4000, 6000, 6000};       // download workers
}  // namespace HttpTimeoutTable

inline constexpr wchar_t kUserAgent[] = L"VrennOnlineLauncher/2.0";

// Host and path room when a URL is split; a URL whose parts do not fit cannot be requested.
inline constexpr DWORD kUrlHostRoom = 256;
inline constexpr DWORD kUrlPathRoom = 1024;

struct CrackedUrl {
    wchar_t host[kUrlHostRoom];
    wchar_t path[kUrlPathRoom];
    INTERNET_PORT port = 0;
    bool secure = false;
};

// Converts and splits a UTF-8 URL; false when it is empty, does not convert or does not fit.
bool CrackUtf8Url(const std::string& url, CrackedUrl& out);

// Opens a synchronous session with the shared user agent and default proxy;
// time-outs are set when given. Null on failure.
HINTERNET OpenHttpSession(const HttpTimeouts* timeouts);

// Called with each chunk of the body as it arrives; return false to stop reading.
using HttpBodySink = std::function<bool(const char* data, size_t size)>;

struct HttpExchange {
    const wchar_t* verb = L"GET";
    const std::wstring* headers = nullptr;  // sent unchanged, each line ended by "\r\n"
    const std::string* body = nullptr;      // POST data
    HttpBodySink sink;                      // null: the body is not read
    // Only a 200 answer read whole counts: any other status, a failed query or
    // read, or a body short of its Content-Length makes the exchange fail.
    bool wholeBody = false;
};

// One request on an open session: connect, open, send, wait for the headers,
// read the body into the sink. True when the request was sent and the response
// headers arrived; the status code is examined only for a wholeBody exchange.
bool PerformHttpExchange(HINTERNET session, const CrackedUrl& url, const HttpExchange& exchange);

// A GET whose response headers have arrived, for callers that read the body
// themselves (the download workers check for cancellation before each read).
struct HttpOpenGet {
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

// Connect, open and send a GET (no headers, no body), then wait for the headers.
// Whatever was opened is left in out for CloseHttpGet, also on failure.
bool OpenHttpGet(HINTERNET session, const CrackedUrl& url, HttpOpenGet& out);
// Closes the request, then the connection, as far as they were opened.
void CloseHttpGet(HttpOpenGet& get);

// Status and declared length of an answer whose headers have arrived; the
// reader counts received itself and asks Complete at the end of the body.
HttpBodyCheck ReadBodyCheck(HINTERNET request);

// The whole sequence: split, session (with time-outs when given), exchange, close.
bool PerformHttpRequest(const std::string& url, const HttpTimeouts* timeouts, const HttpExchange& exchange);

// UTF-8 to UTF-16 with the platform converter (ill-formed input becomes U+FFFD).
std::wstring Utf8ToWString(const std::string& text);

// The three request functions of the patch manager; the body is appended to out.
bool DownloadStringWinHTTP(const std::string& url, std::string& out);
// The same GET for the file list, which counts only as a 200 answer read whole.
bool DownloadWholeStringWinHTTP(const std::string& url, std::string& out);
bool PostStringWinHTTP(const std::string& url, const std::string& body, std::string& out, const char* contentType);
bool PostStringWinHTTPWithCustomHeaders(const std::string& url, const std::string& body, const std::wstring& headers,
                                        std::string& out);
