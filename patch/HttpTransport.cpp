#include "patch/HttpTransport.h"

#include <vector>

std::wstring Utf8ToWString(const std::string& text) {
    if (text.empty()) return std::wstring();
    // Whole text including its terminator, which is dropped afterwards.
    int len = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()) + 1, nullptr, 0);
    if (len <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()) + 1, out.data(), len);
    out.resize(static_cast<size_t>(len) - 1);
    return out;
}

bool CrackUtf8Url(const std::string& url, CrackedUrl& out) {
    if (url.empty()) return false;
    std::wstring wide = Utf8ToWString(url);
    if (wide.empty()) return false;
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = out.host;
    parts.dwHostNameLength = kUrlHostRoom;
    parts.lpszUrlPath = out.path;
    parts.dwUrlPathLength = kUrlPathRoom;
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
    out.port = parts.nPort;
    out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

HINTERNET OpenHttpSession(const HttpTimeouts* timeouts) {
    HINTERNET session =
        WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session && timeouts) {
        WinHttpSetTimeouts(session, timeouts->resolve, timeouts->connect, timeouts->send, timeouts->receive);
        // The wait for the response headers has a limit of its own, which some
        // WinHTTP builds leave unbounded; the receive value bounds it as well.
        DWORD headersWait = static_cast<DWORD>(timeouts->receive);
        WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersWait, sizeof(headersWait));
    }
    return session;
}

bool PerformHttpExchange(HINTERNET session, const CrackedUrl& url, const HttpExchange& exchange) {
    if (!session) return false;
    HINTERNET connection = WinHttpConnect(session, url.host, url.port, 0);
    if (!connection) return false;
    HINTERNET request = WinHttpOpenRequest(connection, exchange.verb, url.path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, url.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) {
        WinHttpCloseHandle(connection);
        return false;
    }

    const wchar_t* headers = WINHTTP_NO_ADDITIONAL_HEADERS;
    DWORD headersLength = 0;
    if (exchange.headers && !exchange.headers->empty()) {
        headers = exchange.headers->c_str();
        headersLength = static_cast<DWORD>(-1);  // terminated text
    }
    void* data = WINHTTP_NO_REQUEST_DATA;
    DWORD dataLength = 0;
    if (exchange.body) {
        data = const_cast<char*>(exchange.body->data());
        dataLength = static_cast<DWORD>(exchange.body->size());
    }

    bool ok = WinHttpSendRequest(request, headers, headersLength, data, dataLength, dataLength, 0) &&
              WinHttpReceiveResponse(request, nullptr);

    HttpBodyCheck check;
    if (ok && exchange.wholeBody) {
        check = ReadBodyCheck(request);
        ok = check.StatusOk();
    }
    if (ok && exchange.sink) {
        bool broken = false;  // a failed query or read, or a sink that stopped
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request, &available)) {
                broken = true;
                break;
            }
            if (available == 0) break;
            std::vector<char> buffer(static_cast<size_t>(available) + 1, 0);
            DWORD read = 0;
            if (WinHttpReadData(request, buffer.data(), available, &read)) {
                check.received += read;
                if (read > 0 && !exchange.sink(buffer.data(), read)) {
                    broken = true;
                    break;
                }
            } else if (exchange.wholeBody) {
                broken = true;
                break;
            }
        }
        if (exchange.wholeBody) ok = !broken && check.Complete();
    }

    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    return ok;
}

bool OpenHttpGet(HINTERNET session, const CrackedUrl& url, HttpOpenGet& out) {
    if (!session) return false;
    out.connection = WinHttpConnect(session, url.host, url.port, 0);
    if (!out.connection) return false;
    out.request = WinHttpOpenRequest(out.connection, L"GET", url.path, nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, url.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!out.request) return false;
    return WinHttpSendRequest(out.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
           WinHttpReceiveResponse(out.request, nullptr);
}

HttpBodyCheck ReadBodyCheck(HINTERNET request) {
    HttpBodyCheck check;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                            &status, &size, WINHTTP_NO_HEADER_INDEX))
        check.status = status;
    // As text: the numeric form of the query stops at 32 bits.
    wchar_t text[64] = {};
    size = sizeof(text);
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                            WINHTTP_NO_HEADER_INDEX)) {
        check.lengthGiven = true;
        std::string narrow;
        for (const wchar_t* c = text; *c; ++c) narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
        check.lengthValid = ParseContentLength(narrow, check.length);
    } else if (GetLastError() != ERROR_WINHTTP_HEADER_NOT_FOUND) {
        // Present but longer than any number could be.
        check.lengthGiven = true;
    }
    return check;
}

void CloseHttpGet(HttpOpenGet& get) {
    if (get.request) WinHttpCloseHandle(get.request);
    if (get.connection) WinHttpCloseHandle(get.connection);
    get.request = nullptr;
    get.connection = nullptr;
}

bool PerformHttpRequest(const std::string& url, const HttpTimeouts* timeouts, const HttpExchange& exchange) {
    CrackedUrl cracked;
    if (!CrackUtf8Url(url, cracked)) return false;
    HINTERNET session = OpenHttpSession(timeouts);
    if (!session) return false;
    bool ok = PerformHttpExchange(session, cracked, exchange);
    WinHttpCloseHandle(session);
    return ok;
}

namespace {
HttpBodySink AppendTo(std::string& out) {
    return [&out](const char* data, size_t size) {
        out.append(data, size);
        return true;
    };
}
}  // namespace

bool DownloadStringWinHTTP(const std::string& url, std::string& out) {
    HttpExchange exchange;
    exchange.sink = AppendTo(out);
    return PerformHttpRequest(url, &HttpTimeoutTable::kApiRequest, exchange);
}

bool DownloadWholeStringWinHTTP(const std::string& url, std::string& out) {
    HttpExchange exchange;
    exchange.sink = AppendTo(out);
    exchange.wholeBody = true;
    return PerformHttpRequest(url, &HttpTimeoutTable::kApiRequest, exchange);
}

bool PostStringWinHTTP(const std::string& url, const std::string& body, std::string& out, const char* contentType) {
    std::wstring headers = Utf8ToWString(std::string("Content-Type: ") + contentType + "\r\n");
    HttpExchange exchange;
    exchange.verb = L"POST";
    exchange.headers = &headers;
    exchange.body = &body;
    exchange.sink = AppendTo(out);
    return PerformHttpRequest(url, &HttpTimeoutTable::kApiRequest, exchange);
}

bool PostStringWinHTTPWithCustomHeaders(const std::string& url, const std::string& body, const std::wstring& headers,
                                        std::string& out) {
    HttpExchange exchange;
    exchange.verb = L"POST";
    exchange.headers = &headers;
    exchange.body = &body;
    exchange.sink = AppendTo(out);
    return PerformHttpRequest(url, nullptr, exchange);
}
