// The shared WinHTTP request sequence against a raw loopback listener in this
// process: what goes on the wire, what comes back into out, where a URL is
// refused before any connection, and how long a silent server can hold a call.
#include "support/LoopbackServer.h"
// winsock2 before windows.h
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "patch/HttpTransport.h"
#include "patch/TextHelpers.h"

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

std::string Answer(const std::string& statusLine, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TEST(HttpTransport, AnyStatusDeliversItsBodyUnchangedBehindWhatOutHeld) {
    std::string big;
    for (int i = 0; i < 300000; ++i) big += static_cast<char>(i * 7 + i / 256);
    const struct {
        const char* name;
        std::string answer;
        std::string prior;
        std::string body;
    } cases[] = {
        {"404 with an HTML page", Answer("404 Not Found", "Content-Type: text/html\r\n", "<html><h1>404</h1></html>"),
         "", "<html><h1>404</h1></html>"},
        {"500 behind existing text", Answer("500 Internal Server Error", "", "{\"error\":\"boom\"}"), "kept|",
         "{\"error\":\"boom\"}"},
        {"binary body read in several chunks", Answer("200 OK", "", big), "", big},
        {"NUL and high bytes, no character conversion", Answer("200 OK", "Content-Type: text/plain; charset=latin1\r\n",
                                                              "a\0\xE7\xFF\xC3\xA7"s),
         "x", "a\0\xE7\xFF\xC3\xA7"s},
        {"a declared content encoding is not undone",
         Answer("200 OK", "Content-Encoding: gzip\r\n", "not really gzip"), "", "not really gzip"},
        {"chunked transfer framing is removed",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n",
         "", "hello world"},
        {"an empty body", Answer("204 No Content", "", ""), "same", ""},
    };
    for (const auto& c : cases) {
        Loopback server(Loopback::Mode::Answer, c.answer);
        std::string out = c.prior;
        EXPECT_TRUE(DownloadStringWinHTTP(server.Url("/news"), out)) << c.name;
        EXPECT_EQ(out, c.prior + c.body) << c.name;
    }
}

TEST(HttpTransport, EachFunctionSendsItsVerbHeadersAndBody) {
    const std::string body = "grant_type=authorization_code&code=4%2F0A\0\xFF"s;
    const struct {
        const char* name;
        std::function<bool(const std::string& url, std::string& out)> call;
        std::string requestLine;
        std::vector<std::string> headers;  // compared in lower case
        std::string sentBody;
    } cases[] = {
        {"GET without headers or body",
         [](const std::string& url, std::string& out) { return DownloadStringWinHTTP(url, out); },
         "GET /api/news HTTP/1.1", {}, ""},
        {"POST with its content type",
         [&](const std::string& url, std::string& out) {
             return PostStringWinHTTP(url, body, out, "application/x-www-form-urlencoded");
         },
         "POST /api/news HTTP/1.1",
         {"content-type: application/x-www-form-urlencoded", "content-length: " + std::to_string(body.size())}, body},
        {"POST with the caller's header block",
         [&](const std::string& url, std::string& out) {
             return PostStringWinHTTPWithCustomHeaders(url, body, L"X-Signature: abc\r\nContent-Type: application/json\r\n",
                                                       out);
         },
         "POST /api/news HTTP/1.1",
         {"x-signature: abc", "content-type: application/json", "content-length: " + std::to_string(body.size())},
         body},
    };
    for (const auto& c : cases) {
        Loopback server(Loopback::Mode::Answer, Answer("200 OK", "", "ok"));
        std::string out;
        EXPECT_TRUE(c.call(server.Url("/api/news"), out)) << c.name;
        EXPECT_EQ(out, "ok") << c.name;
        server.Stop();
        ASSERT_EQ(server.Received().size(), 1u) << c.name;
        const std::string request = server.Received()[0];
        size_t headEnd = request.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos) << c.name;
        const std::string head = request.substr(0, headEnd + 2);
        EXPECT_EQ(head.substr(0, head.find("\r\n")), c.requestLine) << c.name;
        EXPECT_NE(head.find("\r\nUser-Agent: VrennOnlineLauncher/2.0\r\n"), std::string::npos) << c.name;
        for (const auto& h : c.headers) {
            EXPECT_NE(Lower(head).find("\r\n" + h + "\r\n"), std::string::npos) << c.name << ": " << h;
        }
        EXPECT_EQ(request.substr(headEnd + 4), c.sentBody) << c.name;
    }
}

TEST(HttpTransport, PathRoomIsCountedInUtf16Units) {
    const std::string e = "\xC3\xA9";             // one UTF-16 unit, two bytes
    const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units, four bytes
    auto repeat = [](std::string prefix, const std::string& s, int n) {
        for (int i = 0; i < n; ++i) prefix += s;
        return prefix;
    };
    const struct {
        const char* name;
        std::string path;  // including its leading '/'
        bool fits;
    } cases[] = {
        {"1023 ASCII units", repeat("/", "a", 1022), true},
        {"1024 ASCII units", repeat("/", "a", 1023), false},
        {"1023 units in 2045 bytes", repeat("/", e, 1022), true},
        {"1024 units from surrogate pairs", repeat("//", smile, 511), false},
        {"far too long", repeat("/", "a", 5000), false},
    };
    for (const auto& c : cases) {
        Loopback server(Loopback::Mode::Answer, Answer("200 OK", "", "ok"));
        std::string out = "before";
        EXPECT_EQ(DownloadStringWinHTTP(server.Url(c.path), out), c.fits) << c.name;
        EXPECT_EQ(out, c.fits ? "beforeok" : "before") << c.name;
        server.Stop();
        EXPECT_EQ(server.Accepted(), c.fits ? 1 : 0) << c.name;
    }
}

TEST(HttpTransport, HttpsOpensWithATlsHelloAndHttpWithPlainText) {
    const struct {
        const char* scheme;
        std::function<bool(const std::string& url, std::string& out)> call;
    } cases[] = {
        {"https", [](const std::string& url, std::string& out) { return DownloadStringWinHTTP(url, out); }},
        {"https", [](const std::string& url, std::string& out) { return PostStringWinHTTP(url, "{}", out, "application/json"); }},
        {"https",
         [](const std::string& url, std::string& out) {
             return PostStringWinHTTPWithCustomHeaders(url, "{}", L"X-A: 1\r\n", out);
         }},
        {"http", [](const std::string& url, std::string& out) { return DownloadStringWinHTTP(url, out); }},
        {"http", [](const std::string& url, std::string& out) { return PostStringWinHTTP(url, "{}", out, "application/json"); }},
    };
    for (const auto& c : cases) {
        Loopback server(Loopback::Mode::FirstBytes);
        std::string out;
        // The listener hangs up, so neither exchange completes.
        EXPECT_FALSE(c.call(server.Url("/api/auth", c.scheme), out)) << c.scheme;
        EXPECT_EQ(out, "") << c.scheme;
        server.Stop();
        ASSERT_GE(server.Received().size(), 1u) << c.scheme;
        const std::string first = server.Received()[0];
        ASSERT_GE(first.size(), 3u) << c.scheme;
        if (std::string(c.scheme) == "https") {
            EXPECT_EQ(first.substr(0, 2), "\x16\x03") << "a TLS handshake record";
        } else {
            EXPECT_TRUE(first.rfind("GET ", 0) == 0 || first.rfind("POS", 0) == 0) << first.substr(0, 16);
        }
    }
}

TEST(HttpTransport, ASilentServerReleasesTheCallWithinItsTimeouts) {
    Loopback server(Loopback::Mode::Silent);
    // Both rows set 3000/3000/4000/4000; the platform's own receive limit is 30 s,
    // so a bound well under that shows the row was applied without timing the code.
    const auto bound = 25s;
    auto run = [&](bool post) {
        std::string out = "prior";
        auto start = std::chrono::steady_clock::now();
        bool ok = post ? PostStringWinHTTP(server.Url("/api/auth"), "{}", out, "application/json")
                       : DownloadStringWinHTTP(server.Url("/manifest.json"), out);
        auto elapsed = std::chrono::steady_clock::now() - start;
        return std::make_tuple(ok, out, elapsed);
    };
    auto get = std::async(std::launch::async, run, false);
    auto post = std::async(std::launch::async, run, true);
    for (auto* f : {&get, &post}) {
        auto [ok, out, elapsed] = f->get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(out, "prior");
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(),
                  std::chrono::duration_cast<std::chrono::milliseconds>(bound).count());
    }
    server.Stop();
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(HttpTransport, EmptyOrUnsplittableUrlsFailWithOutUntouched) {
    const std::string urls[] = {"", "not a url", "ftp://127.0.0.1/x", "http://" + std::string(256, 'h') + "/x"};
    for (const auto& url : urls) {
        std::string a = "a", b = "b", c = "c";
        EXPECT_FALSE(DownloadStringWinHTTP(url, a)) << url.substr(0, 30);
        EXPECT_FALSE(PostStringWinHTTP(url, "{}", b, "application/json")) << url.substr(0, 30);
        EXPECT_FALSE(PostStringWinHTTPWithCustomHeaders(url, "{}", L"X-A: 1\r\n", c)) << url.substr(0, 30);
        EXPECT_EQ(a + b + c, "abc");
    }
}

TEST(CrackUtf8Url, SplitsSchemeHostPortAndPath) {
    const struct {
        std::string url;
        bool ok;
        std::wstring host;
        INTERNET_PORT port;
        bool secure;
        std::wstring path;
    } cases[] = {
        {"https://accounts.example.com/o/oauth2/token", true, L"accounts.example.com", 443, true, L"/o/oauth2/token"},
        {"http://127.0.0.1:5001/manifest.json", true, L"127.0.0.1", 5001, false, L"/manifest.json"},
        {"http://patch.example.com/files/a%20b.pak", true, L"patch.example.com", 80, false, L"/files/a%20b.pak"},
        {"https://127.0.0.1:8443/api", true, L"127.0.0.1", 8443, true, L"/api"},
        {"http://" + std::string(255, 'h') + "/x", true, std::wstring(255, L'h'), 80, false, L"/x"},
        {"http://" + std::string(256, 'h') + "/x", false, L"", 0, false, L""},
        {"", false, L"", 0, false, L""},
    };
    for (const auto& c : cases) {
        CrackedUrl cracked;
        ASSERT_EQ(CrackUtf8Url(c.url, cracked), c.ok) << c.url.substr(0, 40);
        if (!c.ok) continue;
        EXPECT_EQ(std::wstring(cracked.host), c.host);
        EXPECT_EQ(cracked.port, c.port) << c.url;
        EXPECT_EQ(cracked.secure, c.secure) << c.url;
        EXPECT_EQ(std::wstring(cracked.path), c.path) << c.url;
    }
}

TEST(Utf8ToWString, ConvertsWithReplacementForIllFormedBytes) {
    const struct {
        const char* name;
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"empty", "", L""},
        {"ASCII", "C:\\Games\\Vrenn", L"C:\\Games\\Vrenn"},
        {"two and three bytes", "\xC3\xA7\xE2\x82\xAC", L"\u00E7\u20AC"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
        {"an embedded NUL is kept", "a\0b"s, L"a\0b"s},
        {"a stray byte", "a\xFF" "b", L"a\xFFFD" L"b"},
        {"a cut sequence at the end", "a\xC3", L"a\xFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToWString(c.utf8), c.wide) << c.name;
    }
}

TEST(Sha256Base64Url, KnownDigests) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk", "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"},
        {"", "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU"},
        {"abc", "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sha256Base64Url(c.text), c.expected) << c.text;
    }
}
