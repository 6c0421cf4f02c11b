// authprobe.exe: the account calls of PatchManager, one per run, answer as one JSON line.
//   authprobe login  URL HEXUSER HEXPASSWORD [keep]   Authenticate
//   authprobe reauth URL HEXUSERID HEXTOKEN [keep]    Reauth
//   authprobe news   URL                              FetchNews
//   authprobe pow    HEXSALT DIFFICULTY               SolvePoW, with its time in microseconds
// Texts are given as hex so any byte survives the command line. "keep" fills
// the out-parameters with marker values first, to show which ones a call writes.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "patch/AuthSecurity.h"
#include "patch/PatchManager.h"
#include "patch/TextHelpers.h"
#include "tests/tools/ToolSupport.h"

static std::string Q(const std::string& s) {
    std::string out(1, '"');
    return out.append(EscapeJsonString(s)).append(1, '"');
}

static std::string ServersJson(const std::vector<GameServer>& servers) {
    std::string out = "[";
    for (size_t i = 0; i < servers.size(); ++i) {
        const GameServer& g = servers[i];
        out += (i ? ",{" : "{") + std::string("\"id\":") + std::to_string(g.id) + ",\"name\":" + Q(g.name) +
               ",\"ip\":" + Q(g.ip) + ",\"port\":" + Q(g.port) + ",\"status\":" + Q(g.status) +
               ",\"isNew\":" + (g.isNew ? "true" : "false") + "}";
    }
    return out + "]";
}

static int Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring command = argv[1];
    bool keep = argc > 5 && std::wstring(argv[5]) == L"keep";
    if (command == L"pow" && argc >= 4) {
        std::string salt = FromHex(argv[2]);
        int difficulty = std::stoi(argv[3]);
        auto start = std::chrono::steady_clock::now();
        std::string nonce = AuthSecurity::SolvePoW(salt, difficulty);
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        return Print("{\"nonce\":" + Q(nonce) + ",\"us\":" + std::to_string(us.count()) + "}");
    }
    PatchManager manager(L"", Narrow(argv[2]));
    if (command == L"login" && argc >= 5) {
        std::string userId, token, webRoot, error;
        std::vector<GameServer> servers;
        if (keep) {
            userId = "keep-uid", token = "keep-token", webRoot = "keep-web", error = "keep-error";
            servers.push_back(GameServer{99, "kept", "", "1", "", false});
        }
        bool ok = manager.Authenticate(FromHex(argv[3]), FromHex(argv[4]), userId, token, webRoot, servers, error);
        return Print(std::string("{\"ok\":") + (ok ? "true" : "false") + ",\"userId\":" + Q(userId) +
                     ",\"token\":" + Q(token) + ",\"webRootUrl\":" + Q(webRoot) + ",\"error\":" + Q(error) +
                     ",\"servers\":" + ServersJson(servers) + "}");
    }
    if (command == L"reauth" && argc >= 5) {
        std::string signature, error;
        if (keep) signature = "keep-sig", error = "keep-error";
        bool ok = manager.Reauth(FromHex(argv[3]), FromHex(argv[4]), signature, error);
        return Print(std::string("{\"ok\":") + (ok ? "true" : "false") + ",\"signature\":" + Q(signature) +
                     ",\"error\":" + Q(error) + "}");
    }
    if (command == L"news") {
        std::string out = "{\"news\":[";
        std::vector<NewsItem> news = manager.FetchNews();
        for (size_t i = 0; i < news.size(); ++i)
            out += (i ? ",{" : "{") + std::string("\"title\":") + Q(news[i].title) + ",\"date\":" + Q(news[i].date) +
                   ",\"content\":" + Q(news[i].content) + "}";
        return Print(out + "]}");
    }
    return 2;
}
