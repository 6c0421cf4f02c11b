// The wait for the game: a running process is found by its executable file
// name in any letter case, and no longer once it has ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "ui/UIManager.h"

namespace fs = std::filesystem;

namespace {

// The stand-in game client copied under another name, kept alive until killed.
class StandInProcess {
public:
    explicit StandInProcess(const std::wstring& fileName) {
        dir = fs::temp_directory_path() / ("vrenn_watch_" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        exe = dir / fileName;
        fs::copy_file(fs::current_path() / "VrennClient.exe", exe, fs::copy_options::overwrite_existing);
        SetEnvironmentVariableW(L"VRENN_CLIENT_STAY_MS", L"600000");
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        std::wstring cmd = L"\"" + exe.wstring() + L"\"";
        started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi);
        SetEnvironmentVariableW(L"VRENN_CLIENT_STAY_MS", nullptr);
    }
    ~StandInProcess() {
        Stop();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Stop() {
        if (!started) return;
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        started = false;
    }
    bool started = false;

private:
    fs::path dir, exe;
    PROCESS_INFORMATION pi{};
};

TEST(ProcessWatch, FindsTheRunningExeInAnyLetterCaseUntilItEnds) {
    const std::wstring name = L"VRENNWATCH" + std::to_wstring(GetCurrentProcessId()) + L".EXE";
    StandInProcess client(name);
    ASSERT_TRUE(client.started);
    std::wstring lower = name;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    std::wstring mixed = lower;
    mixed[0] = L'V';
    for (const std::wstring& query : {name, lower, mixed}) EXPECT_TRUE(IsProcessRunning(query));
    EXPECT_FALSE(IsProcessRunning(name.substr(1)));  // a name is matched whole
    EXPECT_FALSE(IsProcessRunning(L""));

    client.Stop();
    EXPECT_FALSE(IsProcessRunning(name));
    EXPECT_FALSE(IsProcessRunning(lower));
}

// A process Wine is still starting can be listed with an empty file name; it
// must not pass for any program, least of all for an empty query.
TEST(ProcessWatch, AnEmptyNameOnEitherSideNeverMatches) {
    struct Case {
        const wchar_t* entry;
        std::wstring query;
        bool match;
    } cases[] = {
        {L"", L"", false},
        {L"", L"VrennClient.exe", false},
        {nullptr, L"VrennClient.exe", false},
        {L"VrennClient.exe", L"", false},
        {L"VRENNCLIENT.EXE", L"VrennClient.exe", true},
        {L"vrennclient.exe", L"VrennClient.exe", true},
        {L"VrennClient.exe ", L"VrennClient.exe", false},
        {L"VrennClient", L"VrennClient.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExeNameMatches(c.entry, c.query), c.match)
            << (c.entry ? std::string(c.entry, c.entry + wcslen(c.entry)) : "(null)") << " vs "
            << std::string(c.query.begin(), c.query.end());
}

TEST(ProcessWatch, TheGameIsVrennClientInCapitalsToo) {
    // Another test may run a client of its own; only the presence is asserted.
    StandInProcess client(L"VRENNCLIENT.EXE");
    ASSERT_TRUE(client.started);
    EXPECT_TRUE(IsGameRunning());
}

}  // namespace
