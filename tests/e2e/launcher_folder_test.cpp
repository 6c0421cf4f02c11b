// The real launcher started from folders whose names trip up naive code:
// brackets (wildcards to PowerShell), spaces and accented letters, and a path
// of more than 260 UTF-16 units. Wine cannot start a program that deep through
// CreateProcess, so these runs start it straight from the Linux side, without
// the log capture: where its files land shows where it thinks it lives. Wine
// itself prints the launcher's debugger output for them instead.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/UpdateScript.h"
#include "support/Harness.h"

using namespace e2e;

namespace {

const std::string kTitle = "Vrenn Ondrel - Launcher Oficial";

// dir + folders of 60 letters until the launcher's own path, in the form the
// launcher reads it, is well past 260 UTF-16 units.
fs::path LongFolder(const fs::path& dir) {
    fs::path folder = dir;
    for (int i = 0; WinPath(folder / "VrennOnlineLauncher.exe").size() < 320; ++i)
        folder /= "pasta-" + std::to_string(i) + "-" + std::string(52, 'a' + static_cast<char>(i % 26));
    return folder;
}

// The folder with brackets, a space and letters outside ASCII (UTF-8 here).
fs::path OddFolder(const fs::path& dir) { return dir / "Jogos" / "[BR] Vrenn Ondr\xC3\xA9l \xC3\x87\xC3\xA3o"; }

// Every file of that name anywhere under dir.
std::vector<fs::path> Found(const fs::path& dir, const std::string& name) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename() == name) out.push_back(e.path());
    return out;
}

// Wine's own trace of the debugger output lands in `trace`.
Process StartLauncherIn(const fs::path& folder, const fs::path& trace, std::map<std::string, std::string> env = {}) {
    fs::create_directories(folder);
    fs::copy_file(LauncherExe(), folder / "VrennOnlineLauncher.exe", fs::copy_options::overwrite_existing);
    env["WINEDEBUG"] = "-all,warn+debugstr";
    return StartWindows(folder / "VrennOnlineLauncher.exe", {}, env, trace);
}

// The run's lines reached the trace, and none of them is the shutdown timer's.
void ExpectNoShutdownTimer(const fs::path& trace) {
    const std::string text = ReadFile(trace);
    EXPECT_NE(text.find("Iniciando WinMain..."), std::string::npos) << "no debugger output traced";
    EXPECT_EQ(text.find(kShutdownTimerLine), std::string::npos) << "the shutdown timer ended the launcher\n" << text;
}

struct FolderCase {
    const char* name;
    fs::path (*make)(const fs::path&);
};
const FolderCase kFolders[] = {{"brackets, spaces and accents", OddFolder}, {"more than 260 units", LongFolder}};

}  // namespace

// The new build, the script and the command line that runs it all name the
// launcher's own folder, spelled exactly as it is.
TEST(LauncherFolder, SelfUpdateFilesLandBesideTheLauncher) {
    for (const FolderCase& c : kFolders) {
        SCOPED_TRACE(c.name);
        const fs::path dir = MakeTempDir(std::string("LauncherFolder-update-") + c.name);
        const fs::path data = dir / "data", record = dir / "powershell.record";
        fs::create_directories(dir / "psbin");
        fs::copy_file(WinTool("powershell"), dir / "psbin" / "powershell.exe");
        const std::string build = ReadFile(WinTool("wmclose"));
        WriteFile(data / "builds" / "next.exe", build);
        StandInServer server(BuiltinPort(), dir / "served", data);
        WriteFile(data / "config.json",
                  nlohmann::json{{"launcherVersion", "2.1"}, {"launcherDownloadUrl", server.Url() + "/builds/next.exe"}}
                      .dump());

        const fs::path folder = c.make(dir);
        Process launcher = StartLauncherIn(folder, dir / "launcher.trace",
                                           {{"WINEPATH", WinPath(dir / "psbin")},
                                            {"VRENN_FAKE_PS_RECORD", WinPath(record)}});
        ASSERT_EQ(launcher.Wait(90s), 0);
        ExpectNoShutdownTimer(dir / "launcher.trace");
        EXPECT_TRUE(ReadFile(folder / "VrennOnlineLauncher_new.exe") == build) << "the new build is not beside it";
        // The line ends are the self-update tests' concern; here, that it is this script, there.
        std::string script = ReadFile(folder / "update.ps1");
        script.erase(std::remove(script.begin(), script.end(), '\r'), script.end());
        EXPECT_EQ(script, kUpdateScriptText);
        EXPECT_EQ(Found(dir, "update.ps1"), std::vector<fs::path>{folder / "update.ps1"});
        // The stand-in may still be writing after the launcher has gone.
        ASSERT_TRUE(WaitUntil([&] { return !ReadFile(record).empty(); }, 30s)) << "powershell.exe was not started";
        EXPECT_EQ(ReadFile(record), "powershell.exe -NoProfile -ExecutionPolicy Bypass -File \"" + WinPath(folder) +
                                        "/update.ps1\"\n");
    }
}

// A patch run from a folder of more than 260 units puts the game files and
// the cache file in that folder, not in one above it.
TEST(LauncherFolder, GameFilesAndTheCacheLandInALongFolder) {
    const fs::path dir = MakeTempDir("LauncherFolder-patch");
    const std::string content(70000, 'g');
    WriteFile(dir / "root" / "data" / "world.pak", content);
    WriteFile(dir / "data" / "config.json", R"({"googleOAuthEnabled":false})");
    StandInServer server(BuiltinPort(), dir / "root", dir / "data");

    const fs::path folder = LongFolder(dir / "game");
    Process launcher = StartLauncherIn(folder, dir / "launcher.trace");
    // The cache file is written after verification, the game file once its download is swapped in.
    ASSERT_TRUE(WaitUntil([&] { return Found(dir / "game", "launcher_cache.dat").size() == 1 &&
                                       !Found(dir / "game", "world.pak").empty(); },
                          90s, 200ms));
    EXPECT_EQ(Found(dir / "game", "world.pak"), std::vector<fs::path>{folder / "data" / "world.pak"});
    EXPECT_EQ(ReadFile(folder / "data" / "world.pak"), content);
    EXPECT_EQ(Found(dir / "game", "launcher_cache.dat"), std::vector<fs::path>{folder / "launcher_cache.dat"});

    ASSERT_TRUE(WaitUntil([&] { return StartWindows(WinTool("wmclose"), {kTitle}).Wait(30s) == 0; }, 60s, 200ms));
    EXPECT_EQ(launcher.Wait(60s), 0);
    ExpectNoShutdownTimer(dir / "launcher.trace");
}
