// The logger's remote sink, seen from the stand-in server: which lines are
// posted, their exact bytes, the endpoint forms, and that posting never holds
// up the caller.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/Harness.h"

using namespace e2e;

namespace {

std::string Hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

struct ProbeResult {
    std::optional<int> exit;
    std::vector<long long> micros;
};

// Runs the probe; it stays alive (its posts still running) until seen() holds,
// then for its --wait-ms grace, so a late or extra post still shows.
ProbeResult RunProbe(const fs::path& dir, std::vector<std::string> args, const std::function<bool()>& seen) {
    fs::path out = dir / "probe.out", release = dir / "probe.release";
    fs::remove(out);
    fs::remove(release);
    args.insert(args.begin(), {"--until-file", WinPath(release)});
    Process p = StartWindows(WinTool("logprobe"), args, {}, out);
    WaitUntil([&] { return seen() || !p.Running(); }, 60s);
    WriteFile(release, "");
    ProbeResult r;
    r.exit = p.Wait(60s);
    std::istringstream in(ReadFile(out));
    long long v;
    while (in >> v) r.micros.push_back(v);
    return r;
}

class LoggerSink : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        port = FreePort();
        server = std::make_unique<StandInServer>(port, dir / "game", dir / "data");
    }
    std::vector<nlohmann::json> Posts() { return server->Records("log_posts.jsonl"); }
    fs::path dir;
    int port = 0;
    std::unique_ptr<StandInServer> server;
};

}  // namespace

TEST_F(LoggerSink, OnlyErrorAndFatalArePostedOnceEach) {
    auto r = RunProbe(dir,
                      {"--endpoint", server->Url(), "--wait-ms", "1500", "INFO", Hex("i"), "WARN", Hex("w"), "ERROR",
                       Hex("e"), "FATAL", Hex("f"), "error", Hex("lower"), "fatal", Hex("lower2")},
                      [&] { return Posts().size() >= 2; });
    ASSERT_EQ(r.exit, 0);
    auto posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    std::set<std::string> levels;
    for (auto& p : posts) {
        auto body = nlohmann::json::parse(p["body"].get<std::string>());
        levels.insert(body["level"].get<std::string>());
        EXPECT_EQ(p["path"], "/api/launcher/log");
        EXPECT_EQ(p["content_type"], "application/json");
        EXPECT_EQ(p["user_agent"], "VrennOnlineLauncher/2.0");
    }
    EXPECT_EQ(levels, (std::set<std::string>{"ERROR", "FATAL"}));
}

TEST_F(LoggerSink, RecordBytesAreEscapedExactly) {
    std::string message = std::string("q\"b\\t\tn\nc\x01 Exceção");
    auto r = RunProbe(dir, {"--endpoint", server->Url(), "--wait-ms", "1500", "ERROR", Hex(message)},
                      [&] { return !Posts().empty(); });
    ASSERT_EQ(r.exit, 0);
    auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    std::string body = posts[0]["body"];
    std::regex shape(R"re(^\{"level":"ERROR","message":"(.*)","timestamp":"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}"\}$)re");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(body, m, shape)) << body;
    EXPECT_EQ(m[1].str(), "q\\\"b\\\\t\\tn\\nc\\u0001 Exceção");
}

TEST_F(LoggerSink, EndpointFormsAndEmptyEndpoint) {
    auto r = RunProbe(dir, {"--endpoint", server->Url() + "/", "--wait-ms", "1500", "ERROR", Hex("slash")},
                      [&] { return !Posts().empty(); });
    ASSERT_EQ(r.exit, 0);
    auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0]["path"], "//api/launcher/log");

    // Nothing to wait for: an empty endpoint posts nowhere.
    r = RunProbe(dir, {"--endpoint", "", "--wait-ms", "1000", "ERROR", Hex("none"), "FATAL", Hex("none")},
                 [] { return true; });
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(LoggerSink, SyncSendPostsAnyLevelBeforeReturning) {
    // No grace and released at once: the post must be done when the call returns.
    auto r = RunProbe(dir, {"--endpoint", server->Url(), "--wait-ms", "0", "--sync", "INFO", Hex("sync info")},
                      [] { return true; });
    ASSERT_EQ(r.exit, 0);
    auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_NE(posts[0]["body"].get<std::string>().find("\"level\":\"INFO\",\"message\":\"sync info\""),
              std::string::npos);
}

// A server that accepts and never answers: the caller of Error is not held up,
// and the posts in flight stay bounded however many lines are written.
TEST(LoggerStall, UnansweredPostsNeitherBlockNorPileUp) {
    fs::path dir = MakeTempDir("LoggerStall");
    int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    socklen_t len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    listen(s, 64);
    std::atomic<int> accepted{0};
    std::atomic<bool> stop{false};
    std::vector<int> held;
    std::thread acceptor([&] {
        while (!stop) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(s, &fds);
            timeval tv{0, 50000};
            if (select(s + 1, &fds, nullptr, nullptr, &tv) > 0) {
                int c = accept(s, nullptr, nullptr);
                if (c >= 0) {
                    held.push_back(c);
                    ++accepted;
                }
            }
        }
    });
    std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    std::vector<std::string> args{"--endpoint", url, "--wait-ms", "1500"};
    for (int i = 0; i < 40; ++i) {
        args.push_back("ERROR");
        args.push_back(Hex("stall " + std::to_string(i)));
    }
    auto r = RunProbe(dir, args, [&] { return accepted.load() >= 1; });
    stop = true;
    acceptor.join();
    for (int c : held) close(c);
    close(s);
    ASSERT_EQ(r.exit, 0);
    ASSERT_EQ(r.micros.size(), 40u);
    for (long long us : r.micros) EXPECT_LT(us, 500000) << "an Error call waited for the network";
    EXPECT_GE(accepted.load(), 1);
    EXPECT_LE(accepted.load(), 8);
}

TEST(CrashFilter, AccessViolationPostsOneFatalLineBeforeDying) {
    fs::path dir = MakeTempDir("CrashFilter");
    StandInServer server(FreePort(), dir / "game", dir / "data");
    Process p = StartWindows(WinTool("crashprobe"), {server.Url()});
    auto code = p.Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 3) << "the fault did not happen";
    auto posts = server.Records("log_posts.jsonl");
    ASSERT_EQ(posts.size(), 1u);
    auto body = nlohmann::json::parse(posts[0]["body"].get<std::string>());
    EXPECT_EQ(body["level"], "FATAL");
    EXPECT_TRUE(std::regex_match(body["message"].get<std::string>(),
                                 std::regex("CRASH DETECTADO! Código de Exceção: 0xc0000005 no endereço: 0x[0-9a-f]+")))
        << body["message"];
}
