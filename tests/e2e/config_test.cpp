// The launcher configuration as the launcher applies it at start: a moved
// server URL takes the logger's error posts with it, an answer that is not a
// configuration still counts as one, and the update is announced only when
// the configuration orders it.
#include <gtest/gtest.h>

#include "support/Harness.h"

using namespace e2e;

namespace {

// A launcher that went on past the configuration either ends by itself (no
// window) or keeps its window open until it is closed.
std::optional<int> CloseAndWait(LauncherRun& run) {
    for (int i = 0; i < 60; ++i) {
        if (auto code = run.WaitExit(1s)) return code;
        run.CloseWindow();
    }
    return run.WaitExit(5s);
}

bool HasErrorPost(const StandInServer& server) {
    for (const auto& post : server.Records("log_posts.jsonl")) {
        auto body = nlohmann::json::parse(post.value("body", ""), nullptr, false);
        if (body.is_object() && (body.value("level", "") == "ERROR" || body.value("level", "") == "FATAL")) return true;
    }
    return false;
}

// True when an error post reached the server; false when the launcher ended
// first. Without a window the process ends right after its FATAL line, and a
// post still on its way is abandoned with it; with the window the launcher
// stays open and the patch run's error has all the time it needs.
bool ErrorPostOrExit(LauncherRun& run, const StandInServer& server) {
    WaitUntil([&] { return HasErrorPost(server) || run.WaitExit(0ms).has_value(); }, 90s);
    return HasErrorPost(server);
}

class Config : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    fs::path dir;
};

}  // namespace

TEST_F(Config, MovedServerUrlTakesTheErrorPostsWithIt) {
    const int otherPort = FreePort();
    // The moved-to server drops the file-list connection, so the patch run fails and logs an error.
    WriteFile(dir / "other" / "faults.json", R"({"manifest":"drop"})");
    StandInServer other(otherPort, dir / "served", dir / "other");
    WriteFile(dir / "builtin" / "config.json",
              R"({"patchServerUrl":")" + other.Url() + R"(","launcherVersion":"2.0"})");
    StandInServer builtin(BuiltinPort(), dir / "served", dir / "builtin");

    LauncherRun run(dir / "game");
    const bool posted = ErrorPostOrExit(run, other);
    auto code = CloseAndWait(run);
    ASSERT_TRUE(code.has_value()) << run.Log();
    EXPECT_EQ(*code, 0) << run.Log();

    const std::string log = run.Log();
    EXPECT_NE(log.find("] [INFO] Config obtida do servidor.\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Atualização disponível"), std::string::npos) << log;
    EXPECT_TRUE(builtin.Records("log_posts.jsonl").empty());
    for (const auto& post : other.Records("log_posts.jsonl")) {
        EXPECT_EQ(post["path"], "/api/launcher/log");
        EXPECT_EQ(post["user_agent"], "VrennOnlineLauncher/2.0");
    }
    if (!posted) GTEST_SKIP() << "the launcher ended before its error post left; nothing reached either server";
}

TEST_F(Config, AnyNonEmptyAnswerCountsAsAConfigurationAndKeepsTheBuiltInServer) {
    WriteFile(dir / "builtin" / "config.json", "<html><body><h1>500 Erro interno</h1></body></html>");
    WriteFile(dir / "builtin" / "faults.json", R"({"manifest":"drop"})");
    StandInServer builtin(BuiltinPort(), dir / "served", dir / "builtin");

    LauncherRun run(dir / "game");
    ASSERT_TRUE(run.WaitForLog("Inicializando PatchManager...", 90s)) << run.Log();
    // Whatever error start-up logs next (window or patch run) is posted to the built-in server.
    const bool posted = ErrorPostOrExit(run, builtin);
    auto code = CloseAndWait(run);
    ASSERT_TRUE(code.has_value()) << run.Log();
    EXPECT_EQ(*code, 0) << run.Log();

    auto lines = run.LogMessages();
    ASSERT_GE(lines.size(), 5u) << run.Log();
    EXPECT_EQ(lines[3], "INFO Config obtida do servidor.");
    EXPECT_EQ(lines[4], "INFO Inicializando PatchManager...");
    if (!posted) GTEST_SKIP() << "the launcher ended before its error post left";
}

TEST_F(Config, UpdateIsAnnouncedOnlyWhenAnotherVersionAndADownloadUrlAreGiven) {
    StandInServer builtin(BuiltinPort(), dir / "served", dir / "builtin");
    struct Case {
        const char* why;
        nlohmann::json config;
    } cases[] = {
        {"the built-in version", {{"launcherVersion", "2.0"}, {"launcherDownloadUrl", builtin.Url() + "/builds/x.exe"}}},
        {"another version without a download URL", {{"launcherVersion", "2.1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        WriteFile(dir / "builtin" / "config.json", c.config.dump());
        fs::remove_all(dir / "game");
        LauncherRun run(dir / "game");
        ASSERT_TRUE(run.WaitForLog("Inicializando PatchManager...", 90s)) << run.Log();
        auto code = CloseAndWait(run);
        ASSERT_TRUE(code.has_value()) << run.Log();
        EXPECT_EQ(*code, 0) << run.Log();

        const std::string log = run.Log();
        EXPECT_NE(log.find("] [INFO] Config obtida do servidor.\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("Atualização disponível"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(dir / "game" / "VrennOnlineLauncher_new.exe"));
    }
    for (const auto& r : builtin.Records("requests.jsonl"))
        EXPECT_EQ(r.value("path", "").rfind("/builds/", 0), std::string::npos) << r.dump();
}
