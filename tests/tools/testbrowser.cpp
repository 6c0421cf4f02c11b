// testbrowser.exe URL
// Plays the system browser for the Google sign-in tests. winebrowser starts it
// (HKCU\Software\Wine\WineBrowser "Browsers") with the URL as its last
// argument. It runs the steps of VRENN_TESTBROWSER_PLAN (comma-separated,
// default "auth,redirect,favicon") and writes one JSON line per step to the
// file named by VRENN_TESTBROWSER_LOG:
//   auth         GET the URL with WinHTTP, redirects not followed: status, Location
//   redirect     GET the Location of the last auth on a plain socket, as a browser would
//   favicon      GET /favicon.ico from the redirect_uri's host and port
//   empty        connect to the listener and close at once, sending nothing
//   junk         send bytes that are no HTTP request
//   big          send a request of 6000 bytes whose "code=" lies past its first 4095
//   idle         open a connection that sends nothing and stays open until the end
//   send:HEX     send the given bytes
//   mark         create the file named by VRENN_TESTBROWSER_MARK
//   await-closed connect until the listener refuses (at most 20 s)
//   await-go     wait until the file named by VRENN_TESTBROWSER_GO exists (at most 120 s)
//   wait:MS      sleep
// Responses are logged as hex, so the tests can compare them byte for byte.
// Every connection gives up after 20 s: connecting ("why":"timeout") and each
// receive ("timedOut":true); a refused one says "why":"refused".
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "patch/HttpTransport.h"
#include "patch/TextHelpers.h"
#include "tests/tools/ToolSupport.h"

namespace {

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out + "\"";
}

FILE* g_log = nullptr;

void Log(const std::string& json) {
    if (!g_log) return;
    std::fprintf(g_log, "%s\n", json.c_str());
    std::fflush(g_log);
}

struct HostPort {
    std::string host;
    int port = 0;
    std::string pathAndQuery;
};

// "http://HOST:PORT/path?query" (plain http only, as the loopback redirect is).
bool SplitHttpUrl(const std::string& url, HostPort& out) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    size_t slash = url.find('/', scheme.size());
    std::string authority =
        url.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    out.pathAndQuery = slash == std::string::npos ? "/" : url.substr(slash);
    size_t colon = authority.rfind(':');
    if (colon == std::string::npos) {
        out.host = authority;
        out.port = 80;
    } else {
        out.host = authority.substr(0, colon);
        out.port = std::atoi(authority.c_str() + colon + 1);
    }
    return !out.host.empty() && out.port > 0;
}

// The decoded value of one query parameter of a URL.
std::string QueryParam(const std::string& url, const std::string& name) {
    size_t q = url.find('?');
    if (q == std::string::npos) return "";
    std::string query = "&" + url.substr(q + 1);
    size_t at = query.find("&" + name + "=");
    if (at == std::string::npos) return "";
    size_t begin = at + name.size() + 2;
    size_t end = query.find('&', begin);
    return UrlDecodeQuery(query.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
}

// Connects within 20 s; why says "refused" or "timeout" when it does not. A
// browser step must never wait without end: a test waiting for it could not
// tell which step stalled.
SOCKET Connect(const HostPort& hp, std::string* why = nullptr) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(hp.port));
    inet_pton(AF_INET, hp.host == "localhost" ? "127.0.0.1" : hp.host.c_str(), &addr.sin_addr);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool connected = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    const char* failure = "refused";
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait{20, 0};
        int ready = select(0, nullptr, &writable, &failed, &wait);
        int error = 0;
        int len = sizeof(error);
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
        connected = ready > 0 && FD_ISSET(s, &writable) && error == 0;
        if (ready == 0) failure = "timeout";
    }
    if (!connected) {
        if (why) *why = failure;
        closesocket(s);
        return INVALID_SOCKET;
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    DWORD timeout = 20000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    return s;
}

// Sends the bytes (when any), reads until the peer closes; logs what came back.
void Exchange(const std::string& step, const HostPort& hp, const std::string& bytes) {
    std::string why;
    SOCKET s = Connect(hp, &why);
    if (s == INVALID_SOCKET) {
        Log("{\"step\":" + Quote(step) + ",\"connected\":false,\"why\":" + Quote(why) + "}");
        return;
    }
    int sent = bytes.empty() ? 0 : send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
    std::string response;
    bool reset = false, timedOut = false;
    char buf[4096];
    for (;;) {
        int n = recv(s, buf, sizeof(buf), 0);
        if (n > 0) {
            response.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0) {
            reset = true;
            timedOut = WSAGetLastError() == WSAETIMEDOUT;
        }
        break;
    }
    closesocket(s);
    Log("{\"step\":" + Quote(step) + ",\"connected\":true,\"sent\":" + std::to_string(sent) +
        ",\"reset\":" + (reset ? "true" : "false") + ",\"timedOut\":" + (timedOut ? "true" : "false") +
        ",\"response\":\"" + Hex(response) + "\"}");
}

std::string BrowserRequest(const HostPort& hp, const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: " + hp.host + ":" + std::to_string(hp.port) +
           "\r\nUser-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) VrennTestBrowser/1.0"
           "\r\nAccept: text/html,application/xhtml+xml,*/*;q=0.8\r\nAccept-Language: pt-BR,pt;q=0.9"
           "\r\nConnection: keep-alive\r\n\r\n";
}

// GET with WinHTTP, redirects left to the caller: (status, Location).
bool WinHttpGetNoRedirect(const std::string& url, DWORD& status, std::string& location) {
    CrackedUrl cracked;
    if (!CrackUtf8Url(url, cracked)) return false;
    std::wstring wide = Utf8ToWString(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) return false;
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    HINTERNET session = WinHttpOpen(L"Mozilla/5.0 VrennTestBrowser/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return false;
    bool ok = false;
    HINTERNET connection = WinHttpConnect(session, cracked.host, cracked.port, 0);
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", object.c_str(), nullptr,
                                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                        cracked.secure ? WINHTTP_FLAG_SECURE : 0)
                                   : nullptr;
    if (request) {
        DWORD disable = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable));
        if (WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
            WinHttpReceiveResponse(request, nullptr)) {
            DWORD size = sizeof(status);
            WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
            wchar_t buf[8192];
            DWORD bytes = sizeof(buf);
            if (WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buf, &bytes,
                                    WINHTTP_NO_HEADER_INDEX))
                location = Utf8(std::wstring(buf, bytes / sizeof(wchar_t)));
            ok = true;
        }
        WinHttpCloseHandle(request);
    }
    if (connection) WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return ok;
}

std::vector<std::string> SplitPlan(const std::string& plan) {
    std::vector<std::string> steps;
    size_t pos = 0;
    while (pos <= plan.size()) {
        size_t comma = plan.find(',', pos);
        if (comma == std::string::npos) comma = plan.size();
        if (comma > pos) steps.push_back(plan.substr(pos, comma - pos));
        pos = comma + 1;
    }
    return steps;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string logPath = Env(L"VRENN_TESTBROWSER_LOG");
    if (!logPath.empty()) g_log = _wfopen(Utf8ToWString(logPath).c_str(), L"ab");
    std::string url = argc > 1 ? Utf8(argv[argc - 1]) : "";
    std::string args;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) args += ',';
        args += Quote(Utf8(argv[i]));
    }
    Log("{\"step\":\"start\",\"args\":[" + args + "]}");

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    std::string plan = Env(L"VRENN_TESTBROWSER_PLAN");
    if (plan.empty()) plan = "auth,redirect,favicon";

    HostPort listener;
    bool haveListener = SplitHttpUrl(QueryParam(url, "redirect_uri"), listener);
    std::string location;
    std::vector<SOCKET> idle;

    for (const std::string& step : SplitPlan(plan)) {
        if (step == "auth") {
            DWORD status = 0;
            location.clear();
            bool ok = WinHttpGetNoRedirect(url, status, location);
            Log("{\"step\":\"auth\",\"ok\":" + std::string(ok ? "true" : "false") + ",\"status\":" +
                std::to_string(status) + ",\"location\":" + Quote(location) + "}");
        } else if (step == "redirect") {
            HostPort target;
            if (!SplitHttpUrl(location, target)) {
                Log("{\"step\":\"redirect\",\"connected\":false,\"why\":\"no location\"}");
                continue;
            }
            Exchange(step, target, BrowserRequest(target, target.pathAndQuery));
        } else if (!haveListener) {
            Log("{\"step\":" + Quote(step) + ",\"connected\":false,\"why\":\"no redirect_uri\"}");
        } else if (step == "favicon") {
            Exchange(step, listener, BrowserRequest(listener, "/favicon.ico"));
        } else if (step == "empty") {
            Exchange(step, listener, "");
        } else if (step == "junk") {
            std::string junk;
            for (int i = 0; i < 512; ++i) junk += static_cast<char>((i * 37 + 11) & 0xFF);
            Exchange(step, listener, junk);
        } else if (step == "big") {
            std::string path = "/callback?pad=" + std::string(6000, 'x') + "&code=late";
            Exchange(step, listener, BrowserRequest(listener, path));
        } else if (step.compare(0, 5, "send:") == 0) {
            Exchange(step, listener, FromHex(step.substr(5)));
        } else if (step == "idle") {
            SOCKET s = Connect(listener);
            Log("{\"step\":\"idle\",\"connected\":" + std::string(s != INVALID_SOCKET ? "true" : "false") + "}");
            if (s != INVALID_SOCKET) idle.push_back(s);
        } else if (step == "mark") {
            std::string mark = Env(L"VRENN_TESTBROWSER_MARK");
            FILE* f = mark.empty() ? nullptr : _wfopen(Utf8ToWString(mark).c_str(), L"wb");
            if (f) std::fclose(f);
            Log("{\"step\":\"mark\",\"ok\":" + std::string(f ? "true" : "false") + "}");
        } else if (step == "await-closed") {
            bool closed = false;
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < end) {
                SOCKET s = Connect(listener);
                if (s == INVALID_SOCKET) {
                    closed = true;
                    break;
                }
                closesocket(s);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            Log("{\"step\":\"await-closed\",\"closed\":" + std::string(closed ? "true" : "false") + "}");
        } else if (step == "await-go") {
            const std::wstring go = Utf8ToWString(Env(L"VRENN_TESTBROWSER_GO"));
            bool seen = false;
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (!go.empty() && std::chrono::steady_clock::now() < end) {
                if (GetFileAttributesW(go.c_str()) != INVALID_FILE_ATTRIBUTES) {
                    seen = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            Log("{\"step\":\"await-go\",\"go\":" + std::string(seen ? "true" : "false") + "}");
        } else if (step.compare(0, 5, "wait:") == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(step.c_str() + 5)));
            Log("{\"step\":" + Quote(step) + "}");
        } else {
            Log("{\"step\":" + Quote(step) + ",\"unknown\":true}");
        }
    }
    for (SOCKET s : idle) closesocket(s);
    Log("{\"step\":\"end\"}");
    if (g_log) std::fclose(g_log);
    WSACleanup();
    return 0;
}
