// Starting the stand-in game client from a temporary game folder: what the
// child receives, and what the launcher's own environment keeps afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "patch/LaunchParams.h"
#include "patch/PatchManager.h"
#include "patch/TextHelpers.h"

namespace fs = std::filesystem;

namespace {

const wchar_t* const kVariables[] = {L"VRENN_USERID", L"VRENN_USERNAME", L"VRENN_TOKEN", L"VRENN_WEBROOT"};

fs::path OwnFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

bool VariableAbsent(const wchar_t* name) {
    wchar_t buf[8];
    SetLastError(0);
    return GetEnvironmentVariableW(name, buf, 8) == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string Narrow(const std::wstring& w) {
    int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), len, nullptr, nullptr);
    return out;
}

// The running client started from this exe path, or null; the caller closes it.
HANDLE FindClient(const std::wstring& exePath) {
    HANDLE found = nullptr;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snap, &entry); more && !found; more = Process32NextW(snap, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"VrennClient.exe") != 0) continue;
        HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                               entry.th32ProcessID);
        if (!p) continue;
        wchar_t image[MAX_PATH * 2];
        DWORD len = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(p, 0, image, &len) &&
            fs::equivalent(fs::path(std::wstring(image, len)), fs::path(exePath)))
            found = p;
        else
            CloseHandle(p);
    }
    CloseHandle(snap);
    return found;
}

class GameLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vrenn_launch_" + std::to_string(GetCurrentProcessId()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        manager = std::make_unique<PatchManager>(dir.wstring() + L"\\", "http://127.0.0.1:1");
    }
    void TearDown() override {
        manager.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void InstallClient() {
        fs::copy_file(OwnFolder() / "VrennClient.exe", dir / "VrennClient.exe", fs::copy_options::overwrite_existing);
    }
    // The client writes its report as it starts; a fresh one for every launch.
    std::string Launch(const std::string& username, const std::string& serverName, int32_t serverId,
                       const std::string& webRoot, bool* ok = nullptr) {
        fs::path report = dir / "client_report.json";
        fs::remove(report);
        error = "untouched";
        bool started = manager->LaunchGame("10.1.2.3", "7000", "42", username, "sig.abc", serverName, serverId, webRoot,
                                           error);
        if (ok) *ok = started;
        if (!started) return "";
        // A guard against a client that never reports, not a limit on its start:
        // a loaded machine can take many seconds to start a process under Wine.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!fs::exists(report) && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!fs::exists(report)) ADD_FAILURE() << "the client started but wrote no report";
        return ReadAll(report);
    }
    std::string FileMappingEntry() {
        bool started = false;
        const std::string report = Launch("a", "b", 1, "w", &started);
        EXPECT_TRUE(started) << error;
        std::string line = ExtractJsonValue(report, "commandLine", true);
        std::smatch m;
        std::regex_search(line, m, std::regex("&;(filemapping_md5=[^&]*&;)"));
        return m[1].str();
    }
    fs::path dir;
    std::unique_ptr<PatchManager> manager;
    std::string error;  // the last launch's failure text
};

}  // namespace

TEST_F(GameLaunch, ChildGetsExactCommandLineAndVariablesLauncherKeepsNone) {
    InstallClient();
    const std::string username = "Ana Maria Silva";
    const std::string serverName = "Vrenn Sul & Norte; [BR]";
    int64_t before = std::time(nullptr);
    std::string report = Launch(username, serverName, -1, "");
    int64_t after = std::time(nullptr);
    ASSERT_FALSE(report.empty());

    for (const wchar_t* name : kVariables) EXPECT_TRUE(VariableAbsent(name)) << Narrow(name);

    EXPECT_EQ(ExtractJsonValue(report, "VRENN_USERID", true), "42");
    EXPECT_EQ(ExtractJsonValue(report, "VRENN_USERNAME", true), username);  // spaces stay here
    EXPECT_EQ(ExtractJsonValue(report, "VRENN_TOKEN", true), "sig.abc");
    EXPECT_NE(report.find("\"VRENN_WEBROOT\":\"\""), std::string::npos) << report;  // set, and empty

    std::string line = ExtractJsonValue(report, "commandLine", true);
    std::smatch t;
    ASSERT_TRUE(std::regex_search(line, t, std::regex("&;t=([0-9]+)&;")));
    int64_t stamp = std::stoll(t[1].str());
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    LaunchParamsInput in;
    in.ip = "10.1.2.3";
    in.port = "7000";
    in.userId = "42";
    in.username = username;
    in.signature = "sig.abc";
    in.serverName = serverName;
    in.serverId = -1;
    in.now = stamp;
    std::string exe = Narrow(dir.wstring() + L"\\VrennClient.exe");
    EXPECT_EQ(line, "\"" + exe + "\" \"" + BuildLaunchParams(in) + "\" \"\"");
    EXPECT_NE(line.find("&;username=Ana+Maria+Silva&;"), std::string::npos);
    EXPECT_NE(line.find("&;servername=Vrenn+Sul+&+Norte;+[BR]&;"), std::string::npos);
    EXPECT_NE(line.find("&;serverid=-1&;"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 3), " \"\"");
    EXPECT_EQ(manager->GetStatusMessage(), "");
    EXPECT_EQ(error, "untouched");
}

TEST_F(GameLaunch, WebRootAndUtf8ValuesReachTheChild) {
    InstallClient();
    std::string report = Launch("Jo\xC3\xA3o", "S\xC3\xA3o Paulo", 12, "https://web.vrenn.dev/\xC3\xA7");
    std::string line = ExtractJsonValue(report, "commandLine", true);
    EXPECT_EQ(ExtractJsonValue(report, "VRENN_WEBROOT", true), "https://web.vrenn.dev/\xC3\xA7");
    EXPECT_EQ(ExtractJsonValue(report, "VRENN_USERNAME", true), "Jo\xC3\xA3o");
    EXPECT_NE(line.find("&;servername=S\xC3\xA3o+Paulo&;"), std::string::npos) << line;
    const std::string tail = "&;\" \"https://web.vrenn.dev/\xC3\xA7\"";
    ASSERT_GT(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

TEST_F(GameLaunch, FileMappingEntryNeedsTheCompanionNamedAfterTheMd5) {
    InstallClient();
    const fs::path folder = dir / "VrennServer" / "www" / "zurezezera" / "zadedoro";
    struct Case {
        const char* name;
        std::string content;       // of filemapping.xml.gz; null-free
        bool archive;
        std::string companionMd5;  // name of the companion, "" for none
        std::string expected;
    };
    const std::string emptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";
    const std::string millionMd5 = "7707d6ae4e027c70eea2a935c2296f21";
    const Case cases[] = {
        {"no archive", "", false, "", ""},
        {"empty archive with companion", "", true, emptyMd5, emptyMd5},
        {"archive without companion", "abc", true, "", ""},
        {"companion of another file", "abc", true, emptyMd5, ""},
        {"several chunks", std::string(1000000, 'a'), true, millionMd5, millionMd5},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir / "VrennServer");
        if (c.archive) WriteAll(folder / "filemapping.xml.gz", c.content);
        if (!c.companionMd5.empty()) WriteAll(folder / (c.companionMd5 + ".xml.gz"), "x");
        EXPECT_EQ(FileMappingEntry(), "filemapping_md5=" + c.expected + "&;") << c.name;
    }
}

TEST_F(GameLaunch, FailuresSetTheirTextAndLeaveNoVariable) {
    bool ok = true;
    Launch("u", "s", 1, "w", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(manager->GetStatusMessage(), "VrennClient.exe não encontrado no diretório do launcher.");
    EXPECT_EQ(error, "VrennClient.exe não encontrado no diretório do launcher.");
    for (const wchar_t* name : kVariables) EXPECT_TRUE(VariableAbsent(name)) << Narrow(name);

    // Something is there, but it cannot be started.
    fs::create_directories(dir / "VrennClient.exe");
    Launch("u", "s", 1, "w", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(manager->GetStatusMessage(), "FALHA AO INICIAR O PROCESSO DO JOGO.");
    EXPECT_EQ(error, "FALHA AO INICIAR O PROCESSO DO JOGO.");
    for (const wchar_t* name : kVariables) EXPECT_TRUE(VariableAbsent(name)) << Narrow(name);

    // A later successful start leaves the last failure text alone.
    fs::remove(dir / "VrennClient.exe");
    InstallClient();
    EXPECT_FALSE(Launch("u", "s", 1, "w", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(manager->GetStatusMessage(), "FALHA AO INICIAR O PROCESSO DO JOGO.");
}

// Values the client would read differently (its command line re-split by a
// quote or an entry separator, its last quote escaped) start no client: the
// launcher keeps no variable, and says why in its reason and its log.
TEST_F(GameLaunch, ValuesThatWouldReSplitTheCommandLineStartNoClient) {
    InstallClient();
    struct Case {
        const char* name;
        std::string username, serverName, webRoot;
    } cases[] = {
        {"quote in the username", "ana\" \"x", "s", "w"},
        {"quote in the server name", "u", "Vrenn \"BR\"", "w"},
        {"entry separator in the username", "ana&;ip=6.6.6.6", "s", "w"},
        {"web-root URL ending in a backslash", "u", "s", "http://web.vrenn.dev\\"},
    };
    // A client that started would stay, so the process list shows it at once.
    WriteAll(dir / "client_stay_ms.txt", "600000");
    const std::wstring exe = dir.wstring() + L"\\VrennClient.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = true;
        EXPECT_EQ(Launch(c.username, c.serverName, 1, c.webRoot, &ok), "");
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, kUnsafeLaunchValueText);
        EXPECT_EQ(manager->GetStatusMessage(), kUnsafeLaunchValueText);
        for (const wchar_t* name : kVariables) EXPECT_TRUE(VariableAbsent(name)) << Narrow(name);
        HANDLE client = FindClient(exe);
        EXPECT_EQ(client, nullptr) << "a client was started";
        if (client) {
            TerminateProcess(client, 0);
            WaitForSingleObject(client, 10000);
            CloseHandle(client);
        }
    }
    EXPECT_FALSE(fs::exists(dir / "client_report.json"));
}

TEST_F(GameLaunch, ClientStaysAliveForTheTimeItIsGiven) {
    InstallClient();
    const std::wstring exe = dir.wstring() + L"\\VrennClient.exe";
    struct Case {
        const char* name;
        bool viaFile;
    };
    for (const Case c : {Case{"file beside the client", true}, Case{"variable", false}}) {
        fs::remove(dir / "client_stay_ms.txt");
        if (c.viaFile) WriteAll(dir / "client_stay_ms.txt", "600000");
        else SetEnvironmentVariableW(L"VRENN_CLIENT_STAY_MS", L"600000");
        ASSERT_FALSE(Launch("u", "s", 1, "w").empty()) << c.name;
        SetEnvironmentVariableW(L"VRENN_CLIENT_STAY_MS", nullptr);
        // The report is written first; the client is still there after it.
        HANDLE client = FindClient(exe);
        ASSERT_NE(client, nullptr) << c.name;
        EXPECT_EQ(WaitForSingleObject(client, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << c.name;
        TerminateProcess(client, 0);
        WaitForSingleObject(client, 10000);
        CloseHandle(client);
    }
}
