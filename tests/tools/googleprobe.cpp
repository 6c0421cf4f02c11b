// googleprobe.exe --server URL [--google BASE] [--token BASE] [--turn-ms N] [--turns N]
//                 [--browser CMDLINE] [--cancel-on-file PATH] [--cancel-after-ms N] [--existing N] [--prefill]
// Runs PatchManager::GoogleOAuth against a stand-in launcher server and prints
// its outputs as one JSON line. --google points both Google endpoints at the
// stand-in provider, --token then moves the token endpoint alone; --browser
// sets HKCU\Software\Wine\WineBrowser "Browsers" (what winebrowser starts for
// ShellExecuteW "open" on a URL); the cancel flag is set when the file
// appears or after the time; --existing puts N servers in the list first;
// --prefill puts sentinel texts in the outputs so the test can see which
// ones were written.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "patch/HttpTransport.h"
#include "patch/PatchManager.h"
#include "tests/tools/ToolSupport.h"

namespace {

bool SetBrowser(const std::wstring& commandLine) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExW(key, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(commandLine.c_str()),
                            static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string server, google, tokenBase;
    std::wstring browser, cancelFile;
    int turnMs = 5000, turns = 30, cancelAfterMs = -1, existing = 0;
    bool prefill = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool more = i + 1 < argc;
        if (arg == L"--server" && more) server = Utf8(argv[++i]);
        else if (arg == L"--google" && more) google = Utf8(argv[++i]);
        else if (arg == L"--token" && more) tokenBase = Utf8(argv[++i]);
        else if (arg == L"--turn-ms" && more) turnMs = _wtoi(argv[++i]);
        else if (arg == L"--turns" && more) turns = _wtoi(argv[++i]);
        else if (arg == L"--browser" && more) browser = argv[++i];
        else if (arg == L"--cancel-on-file" && more) cancelFile = argv[++i];
        else if (arg == L"--cancel-after-ms" && more) cancelAfterMs = _wtoi(argv[++i]);
        else if (arg == L"--existing" && more) existing = _wtoi(argv[++i]);
        else if (arg == L"--prefill") prefill = true;
        else {
            std::fprintf(stderr, "googleprobe: unknown argument\n");
            return 2;
        }
    }
    if (!browser.empty() && !SetBrowser(browser)) {
        std::fprintf(stderr, "googleprobe: cannot set the browser\n");
        return 3;
    }

    wchar_t dir[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, dir);
    PatchManager manager(dir, server);
    if (!google.empty())
        manager.SetGoogleEndpointsForTesting(google, tokenBase.empty() ? google : tokenBase, turnMs, turns);

    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::thread canceller;
    if (!cancelFile.empty() || cancelAfterMs >= 0) {
        canceller = std::thread([&] {
            auto start = std::chrono::steady_clock::now();
            while (!done) {
                bool byTime = cancelAfterMs >= 0 &&
                              std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(cancelAfterMs);
                bool byFile = !cancelFile.empty() && GetFileAttributesW(cancelFile.c_str()) != INVALID_FILE_ATTRIBUTES;
                if (byTime || byFile) {
                    cancel = true;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }

    std::string userId, username, token, webRootUrl, error;
    if (prefill) {
        userId = "keep-user";
        username = "keep-name";
        token = "keep-token";
        webRootUrl = "keep-root";
        error = "keep-error";
    }
    std::vector<GameServer> servers;
    for (int i = 0; i < existing; ++i)
        servers.push_back(GameServer{900 + i, "existing-" + std::to_string(i), "10.0.0.1", "1", "Online", false});

    auto start = std::chrono::steady_clock::now();
    bool ok = manager.GoogleOAuth(userId, username, token, webRootUrl, servers, error,
                                  cancelFile.empty() && cancelAfterMs < 0 ? nullptr : &cancel);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    done = true;
    if (canceller.joinable()) canceller.join();

    std::string out = "{\"ok\":" + std::string(ok ? "true" : "false") + ",\"userId\":" + JsonQuote(userId) +
                      ",\"username\":" + JsonQuote(username) + ",\"token\":" + JsonQuote(token) +
                      ",\"webRootUrl\":" + JsonQuote(webRootUrl) + ",\"error\":" + JsonQuote(error) +
                      ",\"cancelSet\":" + (cancel ? "true" : "false") + ",\"ms\":" + std::to_string(ms) +
                      ",\"servers\":[";
    for (size_t i = 0; i < servers.size(); ++i) {
        const GameServer& s = servers[i];
        out += (i ? "," : "") + std::string("{\"id\":") + std::to_string(s.id) + ",\"name\":" + JsonQuote(s.name) +
               ",\"ip\":" + JsonQuote(s.ip) + ",\"port\":" + JsonQuote(s.port) + ",\"status\":" + JsonQuote(s.status) +
               ",\"isNew\":" + (s.isNew ? "true" : "false") + "}";
    }
    out += "]}";
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
    return 0;
}
