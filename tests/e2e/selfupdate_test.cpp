// The launcher replacing itself: the build the configuration names is
// downloaded beside it, checked, the swap script written and PowerShell (a
// stand-in that records its command line) started, and the launcher exits
// before anything else is built. Rejected downloads (not a program, a wrong
// hash, an error status, a body cut short) are deleted and start-up goes on
// with the running build.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "app/UpdateScript.h"
#include "support/Harness.h"

using namespace e2e;

namespace {

std::string Sha256Hex(const std::string& bytes, bool upper) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += digits[digest[i] >> 4];
        out += digits[digest[i] & 15];
    }
    return out;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// A launcher that went on past the update either ends by itself (no window)
// or keeps its window open until it is closed.
std::optional<int> CloseAndWait(LauncherRun& run) {
    for (int i = 0; i < 60; ++i) {
        if (auto code = run.WaitExit(1s)) return code;
        run.CloseWindow();
    }
    return run.WaitExit(5s);
}

class SelfUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        game = dir / "game";
        data = dir / "data";
        fs::create_directories(dir / "psbin");
        fs::copy_file(WinTool("powershell"), dir / "psbin" / "powershell.exe");
        record = dir / "powershell.record";
        // A small real Windows program plays the new build, so it starts with "MZ"
        // and is larger than one 64 KiB hashing chunk.
        build = ReadFile(WinTool("wmclose"));
        ASSERT_GT(build.size(), 65536u);
        WriteFile(data / "builds" / "next.exe", build);
        WriteFile(data / "builds" / "page.html", "<html><body>Nada aqui</body></html>");
        WriteFile(data / "builds" / "empty.exe", "");
        // The same build behind each fault switch of the server.
        nlohmann::json faults;
        for (const char* fault : {"status500", "status404", "cut", "stall", "chunkcut"}) {
            WriteFile(data / "builds" / (std::string(fault) + ".exe"), build);
            faults[std::string(fault) + ".exe"] = fault;
        }
        WriteFile(data / "faults.json", nlohmann::json{{"builds", faults}}.dump());
        server = std::make_unique<StandInServer>(BuiltinPort(), dir / "served", data);
    }

    void Configure(const std::string& version, const std::string& buildName, const std::string* sha) {
        nlohmann::json config{{"launcherVersion", version},
                              {"launcherDownloadUrl", server->Url() + "/builds/" + buildName}};
        if (sha) config["launcherSha256"] = *sha;
        WriteFile(data / "config.json", config.dump());
    }

    std::map<std::string, std::string> Env() const {
        return {{"WINEPATH", WinPath(dir / "psbin")}, {"VRENN_FAKE_PS_RECORD", WinPath(record)}};
    }

    // The download is refused: nothing of it stays, no script runs, the running build goes on.
    void ExpectRejected(const std::string& buildName, const std::string* sha) {
        fs::remove_all(game);
        fs::remove(record);
        Configure("2.1", buildName, sha);

        LauncherRun run(game, Env());
        // A launcher that took the download ends inside the update: no need to wait the whole guard then.
        const std::string goesOn = "Inicializando PatchManager...";
        WaitUntil([&] { return run.Log().find(goesOn) != std::string::npos || run.WaitExit(0ms); }, 90s);
        ASSERT_NE(run.Log().find(goesOn), std::string::npos) << run.Log();
        EXPECT_NE(run.Log().find("] [INFO] Atualização disponível: 2.1\n"), std::string::npos);
        EXPECT_TRUE(BuildRequested(buildName));
        ExpectNothingLeftAndStartUpGoesOn(run);
    }

    void ExpectNothingLeftAndStartUpGoesOn(LauncherRun& run) {
        EXPECT_FALSE(fs::exists(game / "VrennOnlineLauncher_new.exe"));
        EXPECT_FALSE(fs::exists(game / "VrennOnlineLauncher_new.exe.part"));
        EXPECT_FALSE(fs::exists(game / "update.ps1"));
        auto code = CloseAndWait(run);
        ASSERT_TRUE(code.has_value()) << run.Log();
        EXPECT_EQ(*code, 0) << run.Log();
        EXPECT_FALSE(fs::exists(record)) << ReadFile(record);
    }

    bool BuildRequested(const std::string& buildName) const {
        for (const auto& r : server->Records("requests.jsonl")) {
            if (r["path"] == "/builds/" + buildName && r["method"] == "GET" &&
                r["headers"].value("User-Agent", "") == "VrennOnlineLauncher/2.0")
                return true;
        }
        return false;
    }

    fs::path dir, game, data, record;
    std::string build;
    std::unique_ptr<StandInServer> server;
};

}  // namespace

TEST_F(SelfUpdate, NewBuildIsInstalledThroughTheScriptAndTheLauncherExits) {
    const std::string upper = Sha256Hex(build, true);
    struct Case {
        const char* why;
        const std::string* sha;
    } cases[] = {
        {"hash given in upper case", &upper},
        {"no hash given: only the MZ check", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove_all(game);
        fs::remove(record);
        // An earlier, longer script must be replaced, not overwritten in part.
        WriteFile(game / "update.ps1", std::string(2000, '#'));
        Configure("2.1", "next.exe", c.sha);

        LauncherRun run(game, Env());
        auto code = run.WaitExit(90s);
        ASSERT_TRUE(code.has_value()) << run.Log();
        EXPECT_EQ(*code, 0) << run.Log();

        // Nothing past the configuration: the process ended inside the update.
        const std::vector<std::string> expected{
            "INFO Iniciando WinMain...",
            "INFO SetProcessDPIAware concluído.",
            "INFO Buscando launcher config em: " + server->Url() + "/api/launcher/config",
            "INFO Config obtida do servidor.",
            "INFO Atualização disponível: 2.1",
        };
        EXPECT_EQ(run.LogMessages(), expected) << run.Log();

        EXPECT_TRUE(BuildRequested("next.exe"));
        EXPECT_EQ(ReadFile(game / "VrennOnlineLauncher_new.exe"), build);
        EXPECT_FALSE(fs::exists(game / "VrennOnlineLauncher_new.exe.part"));
        const std::string script = ReadFile(game / "update.ps1");
        EXPECT_EQ(script, WithCrLf(kUpdateScriptText));
        EXPECT_EQ(script.size(), 994u + 25u);

        // The stand-in may still be writing after the launcher has gone.
        ASSERT_TRUE(WaitUntil([&] { return !ReadFile(record).empty(); }, 30s)) << "powershell.exe was not started";
        EXPECT_EQ(ReadFile(record), "powershell.exe -NoProfile -ExecutionPolicy Bypass -File \"" + WinPath(game) +
                                        "/update.ps1\"\n");
    }
}

TEST_F(SelfUpdate, RejectedDownloadIsDeletedAndStartUpGoesOn) {
    const std::string upper = Sha256Hex(build, true);
    std::string wrong = Sha256Hex(build, false);
    wrong[10] = wrong[10] == '0' ? '1' : '0';
    const std::string spaced = " " + upper + " ";
    const std::string pageHash = Sha256Hex(ReadFile(data / "builds" / "page.html"), false);
    struct Case {
        const char* why;
        std::string buildName;
        const std::string* sha;
    } cases[] = {
        {"body is not a Windows program (no hash given)", "page.html", nullptr},
        {"body is not a Windows program, even with its own hash", "page.html", &pageHash},
        {"zero-byte body", "empty.exe", nullptr},
        {"hash mismatch", "next.exe", &wrong},
        {"hash with surrounding spaces", "next.exe", &spaced},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ExpectRejected(c.buildName, c.sha);
    }
}

// Only a 200 answer read whole is a build, hash or no hash: the bodies below
// all start with "MZ", and those under an error status are the build itself.
TEST_F(SelfUpdate, ErrorStatusOrCutBodyIsRefusedWithOrWithoutAHash) {
    const std::string sha = Sha256Hex(build, false);
    struct Case {
        const char* why;
        const char* buildName;
        const std::string* sha;
    } cases[] = {
        {"status 500, hash given and matching", "status500.exe", &sha},
        {"status 404, no hash", "status404.exe", nullptr},
        {"connection closed after a third of the declared length, no hash", "cut.exe", nullptr},
        {"stalled after a third past the receive time-out, no hash", "stall.exe", nullptr},
        {"chunked, reset inside the one chunk, no hash", "chunkcut.exe", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ExpectRejected(c.buildName, c.sha);
    }
}

TEST_F(SelfUpdate, UnreachableDownloadLeavesNothingBehind) {
    WriteFile(data / "config.json",
              nlohmann::json{{"launcherVersion", "2.1"},
                             {"launcherDownloadUrl", "http://127.0.0.1:" + std::to_string(FreePort()) + "/b.exe"}}
                  .dump());
    LauncherRun run(game, Env());
    ASSERT_TRUE(run.WaitForLog("Inicializando PatchManager...", 90s)) << run.Log();
    ExpectNothingLeftAndStartUpGoesOn(run);
}
