// The download engine on its own: runs that need no server, the checks that
// decide what is installed, cancellation, the swap into place, and
// destinations outside the folder the engine is confined to. A tiny loopback
// HTTP listener in this process plays the file server where one is needed.
#include "support/LoopbackListener.h"
// winsock2 before windows.h
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "app/CriticalWork.h"
#include "patch/DownloadEngine.h"
#include "patch/FileIntegritySystem.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kCancelled = "Operação cancelada pelo usuário.";
const std::string kCreateFailed = "Falha ao criar o arquivo local.";
const std::string kDownloadFailed = "Falha no download via WinHTTP.";

// Answers GET requests from a table of paths; "endless" paths send a body
// that never ends until the client goes away, "silent" ones no answer at all
// until the listener stops.
class LocalHttp {
public:
    LocalHttp() { acceptor = std::thread([this] { AcceptLoop(); }); }
    ~LocalHttp() {
        stop = true;
        acceptor.join();
        for (auto& t : connections) t.join();
    }
    void Serve(const std::string& path, const std::string& body, int status = 200) { routes[path] = {body, status}; }
    void ServeEndless(const std::string& path) { endless.push_back(path); }
    void ServeSilent(const std::string& path) { silent.push_back(path); }
    std::string Url(const std::string& path) const { return listener.Url(path); }
    int Requests() const { return requests.load(); }

private:
    struct Route {
        std::string body;
        int status;
    };

    void AcceptLoop() {
        while (!stop) {
            SOCKET s = listener.AcceptWithin(50000);
            if (s == INVALID_SOCKET) continue;
            connections.emplace_back([this, s] { Handle(s); });
        }
    }

    void Handle(SOCKET s) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            int n = recv(s, buf, sizeof(buf), 0);
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        ++requests;
        size_t start = request.find(' ') + 1;
        std::string path = request.substr(start, request.find(' ', start) - start);
        if (std::find(silent.begin(), silent.end(), path) != silent.end()) {
            while (!stop) Sleep(10);
        } else if (std::find(endless.begin(), endless.end(), path) != endless.end()) {
            std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\nConnection: close\r\n\r\n";
            send(s, head.data(), static_cast<int>(head.size()), 0);
            // A client that stops reading must not hold this thread for ever.
            DWORD timeoutMs = 2000;
            setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
            std::string chunk(16384, 'x');
            while (!stop && send(s, chunk.data(), static_cast<int>(chunk.size()), 0) > 0) Sleep(1);
        } else {
            auto it = routes.find(path);
            Route r = it == routes.end() ? Route{"not found", 404} : it->second;
            std::string answer = "HTTP/1.1 " + std::to_string(r.status) + " X\r\nContent-Length: " +
                                 std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" + r.body;
            send(s, answer.data(), static_cast<int>(answer.size()), 0);
        }
        shutdown(s, SD_SEND);
        while (recv(s, buf, sizeof(buf), 0) > 0) {
        }
        closesocket(s);
    }

    LoopbackListener listener;
    std::atomic<bool> stop{false};
    std::atomic<int> requests{0};
    std::map<std::string, Route> routes;
    std::vector<std::string> endless;
    std::vector<std::string> silent;
    std::thread acceptor;
    std::vector<std::thread> connections;
};

struct Outcome {
    bool ok = false;
    std::string message;
    std::vector<float> fractions;
};

// Collects what one run reports; the first progress report and the end can be awaited.
struct Watch {
    std::mutex mutex;
    std::vector<float> fractions;
    std::promise<void> firstProgress;
    bool sawProgress = false;
    std::promise<std::pair<bool, std::string>> end;
    std::atomic<int> completions{0};

    std::function<void(float, float)> Progress() {
        return [this](float fraction, float) {
            std::lock_guard<std::mutex> lock(mutex);
            fractions.push_back(fraction);
            if (!sawProgress) {
                sawProgress = true;
                firstProgress.set_value();
            }
        };
    }
    std::function<void(bool, const std::string)> Complete() {
        return [this](bool ok, const std::string message) {
            if (completions++ == 0) end.set_value({ok, message});
        };
    }
};

Outcome RunToEnd(DownloadEngine& engine) {
    Watch watch;
    auto ended = watch.end.get_future();
    engine.Start(watch.Progress(), watch.Complete());
    // A guard against a hang, not a time limit on the engine.
    if (ended.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "the run did not end";
        engine.Cancel();
        return {};
    }
    auto [ok, message] = ended.get();
    std::lock_guard<std::mutex> lock(watch.mutex);
    return {ok, message, watch.fractions};
}

class DownloadEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vrenn_dl_" + std::to_string(GetCurrentProcessId()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static void Write(const fs::path& p, const std::string& s) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << s;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static DownloadTask Task(const std::string& url, const fs::path& dest, uint64_t size = 0,
                             const std::string& hash = "") {
        DownloadTask t;
        t.url = url;
        t.destinationPath = dest.wstring();
        t.expectedSize = size;
        t.expectedHash = hash;
        return t;
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            std::wstring ext = e.path().extension().wstring();
            if (ext == L".part" || ext == L".bak") out.push_back(e.path().filename().string());
        }
        return out;
    }
    fs::path dir;
};

}  // namespace

TEST_F(DownloadEngineTest, RunsThatHaveNothingToDoSucceedAtOnce) {
    {
        DownloadEngine engine(4);  // empty queue
        Outcome o = RunToEnd(engine);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.message, "");
        EXPECT_TRUE(o.fractions.empty());
    }
    {
        LocalHttp http;
        http.Serve("/a", "abc");
        DownloadEngine engine(0);  // no workers: the task is never taken
        engine.Enqueue(Task(http.Url("/a"), dir / "a.bin", 3));
        Outcome o = RunToEnd(engine);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.message, "");
        EXPECT_FALSE(fs::exists(dir / "a.bin"));
        EXPECT_EQ(http.Requests(), 0);
    }
    {
        // Cancel before any Start leaves the engine startable.
        DownloadEngine engine(2);
        engine.Cancel();
        Outcome o = RunToEnd(engine);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.message, "");
    }
}

// Status, size and hash decide; a file that fails any never replaces the old one.
TEST_F(DownloadEngineTest, ChecksDecideWhatIsInstalled) {
    const std::string body = "hello world";
    Write(dir / "probe.txt", body);
    const std::string hash = FileIntegritySystem::ComputeFileHash((dir / "probe.txt").wstring());
    ASSERT_EQ(hash.size(), 16u);
    std::string upper = hash;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

    LocalHttp http;
    http.Serve("/f", body);
    http.Serve("/error", "<html><body>500</body></html>", 500);
    http.Serve("/f500", body, 500);
    struct Case {
        const char* name;
        const char* path;
        uint64_t size;
        std::string hash;
        bool installed;
    };
    const Case cases[] = {
        {"size and hash match", "/f", 11, hash, true},
        {"nothing checked", "/f", 0, "", true},
        {"body shorter than the list", "/f", 12, "", false},
        {"body longer than the list", "/f", 10, "", false},
        {"wrong hash", "/f", 0, "0000000000000000", false},
        {"hash compared case-sensitively", "/f", 11, upper, false},
        {"error page caught by the size", "/error", 11, "", false},
        {"error page refused when nothing is checked", "/error", 0, "", false},
        {"the right bytes under an error status", "/f500", 11, hash, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path dest = dir / "game" / "file.bin";
        Write(dest, "old content");
        DownloadEngine engine(1);
        engine.Enqueue(Task(http.Url(c.path), dest, c.size, c.hash));
        Outcome o = RunToEnd(engine);
        EXPECT_EQ(o.ok, c.installed);
        EXPECT_EQ(o.message, c.installed ? "" : kDownloadFailed);
        EXPECT_EQ(Read(dest), c.installed ? body : "old content");
        EXPECT_TRUE(Leftovers().empty()) << ::testing::PrintToString(Leftovers());
        // An error answer is not read at all.
        EXPECT_EQ(o.fractions.empty(), std::string(c.path) != "/f");
        for (float f : o.fractions) EXPECT_LE(f, 1.0f);
    }
}

// A second Start during a run changes nothing; Cancel stops the transfer,
// removes its part file and reports the cancellation once, to the first callbacks.
TEST_F(DownloadEngineTest, SecondStartIgnoredAndCancelStopsTheTransfer) {
    LocalHttp http;
    http.ServeEndless("/endless");
    fs::path dest = dir / "big.pak";
    Write(dest, "old");
    DownloadEngine engine(2);
    engine.Enqueue(Task(http.Url("/endless"), dest, 1073741824));

    Watch first, second;
    auto flowing = first.firstProgress.get_future();
    auto ended = first.end.get_future();
    engine.Start(first.Progress(), first.Complete());
    ASSERT_EQ(flowing.wait_for(60s), std::future_status::ready);
    engine.Start(second.Progress(), second.Complete());
    engine.Cancel();

    ASSERT_EQ(ended.wait_for(0s), std::future_status::ready) << "Cancel returned before the report";
    auto [ok, message] = ended.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, kCancelled);
    EXPECT_EQ(first.completions.load(), 1);
    EXPECT_EQ(second.completions.load(), 0);
    EXPECT_FALSE(second.sawProgress);
    EXPECT_EQ(Read(dest), "old");
    EXPECT_TRUE(Leftovers().empty()) << ::testing::PrintToString(Leftovers());

    engine.Cancel();  // a run that has reported is not reported again
    EXPECT_EQ(first.completions.load(), 1);
}

// A closing launcher cannot wait for a worker blocked on a server that never
// answers: the cancel is reported at once, and the part file goes with the
// worker's handle, however the handle is closed.
TEST_F(DownloadEngineTest, RequestCancelReportsAtOnceWhileAWorkerHangs) {
    fs::path dest = dir / "stuck.pak";
    Write(dest, "old");
    Watch watch;
    auto ended = watch.end.get_future();
    {
        DownloadEngine engine(1);  // goes after the server, which frees the worker as it stops
        LocalHttp http;
        http.ServeSilent("/silent");
        engine.Enqueue(Task(http.Url("/silent"), dest, 100));
        engine.Start(watch.Progress(), watch.Complete());
        ASSERT_TRUE([&] {
            for (int i = 0; i < 3000 && (http.Requests() == 0 || !fs::exists(dir / "stuck.pak.part")); ++i) Sleep(10);
            return http.Requests() == 1;
        }()) << "the request never reached the server";

        engine.RequestCancel();
        ASSERT_EQ(ended.wait_for(2s), std::future_status::ready) << "no report while the worker hangs";
        auto [ok, message] = ended.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(message, kCancelled);
        EXPECT_TRUE(engine.Running()) << "the worker is still waiting for its answer";
    }  // the server hangs up, the worker returns, the engine joins it
    EXPECT_EQ(watch.completions.load(), 1);
    EXPECT_EQ(Read(dest), "old");
    EXPECT_TRUE(Leftovers().empty()) << ::testing::PrintToString(Leftovers());
}

// Once the shutdown timer has closed the gate, a checked file is not swapped
// in any more: the run ends as cancelled and leaves the old file alone.
TEST_F(DownloadEngineTest, NoSwapStartsOnceTheProcessIsEnding) {
    struct Reopen {
        ~Reopen() { ReopenCriticalWorkForTesting(); }
    } reopen;
    LocalHttp http;
    http.Serve("/f", "new");
    fs::path dest = dir / "file.bin";
    Write(dest, "old");
    CloseCriticalWork(0ms);
    DownloadEngine engine(1);
    engine.Enqueue(Task(http.Url("/f"), dest, 3));
    Outcome o = RunToEnd(engine);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message, kCancelled);
    EXPECT_EQ(Read(dest), "old");
    EXPECT_TRUE(Leftovers().empty()) << ::testing::PrintToString(Leftovers());
}

TEST_F(DownloadEngineTest, CancellationWinsOverAnEarlierFailure) {
    LocalHttp http;
    http.ServeEndless("/endless");
    Write(dir / "blocker", "a file where a folder should be");
    DownloadEngine engine(2);
    // The endless task is taken first, so the failure cannot stop it being taken.
    engine.Enqueue(Task(http.Url("/endless"), dir / "big.pak"));
    engine.Enqueue(Task(http.Url("/nothing"), dir / "blocker" / "x.bin"));  // fails at once, no request
    Watch watch;
    auto flowing = watch.firstProgress.get_future();
    auto ended = watch.end.get_future();
    engine.Start(watch.Progress(), watch.Complete());
    ASSERT_EQ(flowing.wait_for(60s), std::future_status::ready);
    engine.Cancel();
    ASSERT_EQ(ended.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(ended.get().second, kCancelled);
    EXPECT_FALSE(fs::exists(dir / "big.pak"));
    EXPECT_TRUE(Leftovers().empty());
}

// A destination where no part file can be made fails the run before any request.
// Where the part file lands: folders that are missing are made, and a part file
// an earlier attempt left behind, longer than the new body, is started afresh
// before the checks read it back.
TEST_F(DownloadEngineTest, PartFileInMissingFoldersOrLeftBehind) {
    const std::string body = "fresh bytes";
    Write(dir / "probe.txt", body);
    const std::string hash = FileIntegritySystem::ComputeFileHash((dir / "probe.txt").wstring());
    LocalHttp http;
    http.Serve("/f", body);
    struct Case {
        const char* name;
        fs::path dest;
        std::string leftPart;  // content of a ".part" already there, if any
    } cases[] = {
        {"folders three levels deep, none there yet", dir / "game" / "a" / "b" / "c" / "f.bin", ""},
        {"folder already there", dir / "game" / "f.bin", ""},
        {"longer part file from an earlier attempt", dir / "game" / "g.bin", std::string(5000, 'z')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.leftPart.empty()) Write(c.dest.wstring() + L".part", c.leftPart);
        DownloadEngine engine(1);
        engine.Enqueue(Task(http.Url("/f"), c.dest, body.size(), hash));
        Outcome o = RunToEnd(engine);
        EXPECT_TRUE(o.ok) << o.message;
        EXPECT_EQ(Read(c.dest), body);
        EXPECT_TRUE(Leftovers().empty()) << ::testing::PrintToString(Leftovers());
    }
}

TEST_F(DownloadEngineTest, PartFileThatCannotBeCreated) {
    LocalHttp http;
    http.Serve("/a", "abc");
    Write(dir / "blocker", "a file where a folder should be");
    DownloadEngine engine(1);
    engine.Enqueue(Task(http.Url("/a"), dir / "blocker" / "sub" / "a.bin", 3));
    engine.Enqueue(Task(http.Url("/a"), dir / "b.bin", 3));
    Outcome o = RunToEnd(engine);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message, kCreateFailed);
    EXPECT_EQ(http.Requests(), 0);
    EXPECT_FALSE(fs::exists(dir / "b.bin"));  // the worker stopped at once
}

// Confined to a game folder, the engine refuses any destination that would
// leave it, before creating a folder or a part file there.
TEST_F(DownloadEngineTest, DestinationsOutsideTheConfinedFolderAreRefused) {
    LocalHttp http;
    http.Serve("/a", "abc");
    const fs::path game = dir / "game";
    fs::create_directories(game);
    const std::wstring base = game.wstring() + L"/";
    const std::vector<std::wstring> outside{
        base + L"../outside.bin", base + L"sub/../../outside.bin", base + L"sub\\..\\..\\outside.bin",
        (dir / "outside.bin").wstring(), base + L"file.bin:stream", base + L"nul.txt", base + L"deep/../x/"};
    for (const std::wstring& dest : outside) {
        SCOPED_TRACE(fs::path(dest).string());
        DownloadEngine engine(1);
        engine.ConfineTo(base);
        DownloadTask t = Task(http.Url("/a"), fs::path(), 3);
        t.destinationPath = dest;
        engine.Enqueue(t);
        Outcome o = RunToEnd(engine);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.message, kCreateFailed);
        EXPECT_FALSE(fs::exists(dir / "outside.bin"));
        EXPECT_FALSE(fs::exists(dir / "outside.bin.part"));
    }
    EXPECT_EQ(http.Requests(), 0);

    DownloadEngine engine(1);
    engine.ConfineTo(base);
    engine.Enqueue(Task(http.Url("/a"), base + L"sub/dir/inside.bin", 3));
    Outcome o = RunToEnd(engine);
    EXPECT_TRUE(o.ok) << o.message;
    EXPECT_EQ(Read(game / "sub" / "dir" / "inside.bin"), "abc");
}

TEST_F(DownloadEngineTest, InstallKeepsABackupOnlyUntilTheSwapSucceeds) {
    struct Case {
        const char* name;
        bool oldFile;
    };
    for (const Case c : {Case{"no earlier version", false}, Case{"earlier version replaced", true}}) {
        SCOPED_TRACE(c.name);
        fs::path finalPath = dir / "data.pak";
        fs::remove(finalPath);
        if (c.oldFile) Write(finalPath, "old");
        Write(dir / "data.pak.part", "new");
        std::string error;
        EXPECT_TRUE(InstallDownloadedFile((dir / "data.pak.part").wstring(), finalPath.wstring(), error));
        EXPECT_EQ(error, "");
        EXPECT_EQ(Read(finalPath), "new");
        EXPECT_FALSE(fs::exists(dir / "data.pak.part"));
        EXPECT_FALSE(fs::exists(dir / "data.pak.bak"));
    }

    // A folder in the file's place cannot be replaced: the part file stays for the next run to truncate.
    fs::create_directories(dir / "taken");
    Write(dir / "taken" / "inner.txt", "keep");
    Write(dir / "taken.part", "new");
    std::string error;
    EXPECT_FALSE(InstallDownloadedFile((dir / "taken.part").wstring(), (dir / "taken").wstring(), error));
    EXPECT_EQ(error, "Falha ao substituir o arquivo baixado.");
    EXPECT_EQ(Read(dir / "taken.part"), "new");
    EXPECT_EQ(Read(dir / "taken" / "inner.txt"), "keep");
}
