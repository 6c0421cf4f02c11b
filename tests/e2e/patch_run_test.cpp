// Patch runs of the real PatchManager (patchprobe under Wine, its log lines
// captured by logcap) against the stand-in server: installs from an empty
// folder, the cache fast path and forced verification, damaged downloads, a
// server that dies, error answers and cut bodies of game files and of the file
// list, a disk too full for the backup copy, destruction mid-download, many
// small files and file-list paths that point outside the game folder.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "support/Harness.h"

using namespace e2e;

namespace {

enum State { kChecking = 1, kVerifying = 2, kDownloading = 3, kCompleted = 5, kError = 6 };

struct Report {
    int state = 0;
    double progress = 0;
    double speed = 0;
    std::string message;
};

struct ProbeRun {
    std::optional<int> exit;
    std::vector<Report> reports;
    std::vector<std::string> events;  // "done", "destroying", "destroyed"
    std::vector<std::string> log;     // "LEVEL message"
    std::string raw;                  // the report file as written
    bool AllLinesParsed = true;

    bool Logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::string Describe() const { return raw + "\n--- log ---\n" + Join(log); }
    static std::string Join(const std::vector<std::string>& lines) {
        std::string s;
        for (const auto& l : lines) s += l + "\n";
        return s;
    }
};

std::string Content(size_t size, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        uint64_t v = rng();
        for (size_t k = 0; k < 8 && i + k < size; ++k) s[i + k] = static_cast<char>(v >> (8 * k));
    }
    return s;
}

// Relative path -> content of every file under dir, the cache file left out.
std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::string rel = e.path().lexically_relative(dir).generic_string();
        if (rel == "launcher_cache.dat") continue;
        out[rel] = ReadFile(e.path());
    }
    return out;
}

class PatchRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(std::string("PatchRun-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        root = dir / "root";
        data = dir / "data";
        game = dir / "game";
        fs::create_directories(root);
        fs::create_directories(data);
        fs::create_directories(game);
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(BuiltinPort()); }

    void StartServer() { server = std::make_unique<StandInServer>(BuiltinPort(), root, data, dir / "out"); }

    // The server as a plain child process, so a test can kill it outright.
    Process StartKillableServer() {
        fs::create_directories(dir / "out");
        Process p({ServerExe().string(), "--port", std::to_string(BuiltinPort()), "--root", root.string(), "--data",
                   data.string(), "--out", (dir / "out").string()},
                  {}, dir / "out" / "server.stdout");
        WaitUntil([&] { return ReadFile(dir / "out" / "server.stdout").find("listening") != std::string::npos; }, 10s);
        return p;
    }

    std::vector<std::string> RequestedFiles() const {
        std::vector<std::string> out;
        for (const auto& r : ReadJsonLines(dir / "out" / "requests.jsonl")) {
            std::string path = r["path"];
            if (path.rfind("/files/", 0) == 0) out.push_back(path.substr(7));
        }
        return out;
    }
    void ForgetRequests() { fs::remove(dir / "out" / "requests.jsonl"); }

    ProbeRun Run(std::vector<std::string> extra = {}, const std::string& url = "") {
        const int n = ++runs;
        fs::path reportFile = dir / ("report" + std::to_string(n) + ".jsonl");
        fs::path logFile = dir / ("probe" + std::to_string(n) + ".log");
        std::vector<std::string> args{WinPath(logFile),  WinPath(WinTool("patchprobe")),
                                      "--dir",           WinPath(game),
                                      "--url",           url.empty() ? Url() : url,
                                      "--out",           WinPath(reportFile)};
        args.insert(args.end(), extra.begin(), extra.end());
        Process p = StartWindows(WinTool("logcap"), args, {}, dir / ("probe" + std::to_string(n) + ".out"));
        ProbeRun run;
        run.exit = p.Wait(180s);
        run.raw = ReadFile(reportFile);
        std::istringstream in(run.raw);
        std::string line;
        while (std::getline(in, line)) {
            auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_discarded() || !j.is_object()) {
                run.AllLinesParsed = false;
                continue;
            }
            if (j.contains("event")) {
                run.events.push_back(j["event"]);
                continue;
            }
            run.reports.push_back({j["state"].get<int>(), j["progress"].get<double>(), j["speed"].get<double>(),
                                   j["message"].get<std::string>()});
        }
        run.log = SplitLogLines(ReadFile(logFile));
        return run;
    }

    fs::path dir, root, data, game;
    std::unique_ptr<StandInServer> server;
    int runs = 0;  // report and log files are numbered by run
};

void ExpectLastReport(const ProbeRun& run, int state, const std::string& message) {
    ASSERT_EQ(run.exit, 0) << run.Describe();
    ASSERT_FALSE(run.reports.empty()) << run.Describe();
    EXPECT_EQ(run.reports.back().state, state) << run.Describe();
    EXPECT_EQ(run.reports.back().message, message) << run.Describe();
}

// A run whose download failed: its last report, and the error line.
void ExpectTransferFailed(const ProbeRun& run) {
    ExpectLastReport(run, kError, "Erro durante a atualização: Falha no download via WinHTTP.");
    EXPECT_TRUE(run.Logged("ERROR [PatchManager] Falha no download: Falha no download via WinHTTP."))
        << run.Describe();
}

// The texts and values each state may carry, and that states only move forward.
void ExpectWellFormedSequence(const ProbeRun& run) {
    EXPECT_TRUE(run.AllLinesParsed) << run.raw;
    int last = 0;
    for (const Report& r : run.reports) {
        EXPECT_GE(r.state, last) << "state went back: " << run.raw;
        last = r.state;
        EXPECT_GE(r.progress, 0.0);
        EXPECT_LE(r.progress, 1.0);
        if (r.state != kDownloading) {
            EXPECT_EQ(r.speed, 0.0);
        }
        switch (r.state) {
            case kChecking:
                EXPECT_EQ(r.message, "Verificando se há atualizações...");
                EXPECT_EQ(r.progress, 0.0);
                break;
            case kVerifying:
                EXPECT_TRUE(r.message == "Verificando integridade dos arquivos locais..." ||
                            r.message == "Verificando integridade...")
                    << r.message;
                break;
            case kDownloading:
                EXPECT_TRUE(r.message == "Baixando atualizações..." || r.message == "Baixando arquivos...") << r.message;
                EXPECT_GE(r.speed, 0.0);
                break;
            case kCompleted:
                EXPECT_EQ(r.progress, 1.0);
                break;
            case kError:
                EXPECT_EQ(r.progress, 0.0);
                break;
            default:
                ADD_FAILURE() << "unexpected state " << r.state;
        }
    }
}

}  // namespace

TEST_F(PatchRun, EmptyFolderGetsEveryFileThroughTheStatesInOrder) {
    const std::map<std::string, std::string> files{
        {"readme.txt", "Bem-vindo a Vrenn\n"},
        {"data/levels/one/map.dat", Content(70000, 1)},
        {"vídeos/introdução.bik", Content(5000, 2)},
        {"日本語/テスト ファイル.txt", Content(300, 3)},
        {"with space/a+b&c=d%.txt", Content(1000, 4)},
        {"empty.bin", ""},
        {"big/archive.pak", Content(64u << 20, 5)},
    };
    for (const auto& [rel, content] : files) WriteFile(root / rel, content);
    StartServer();

    ProbeRun run = Run();
    ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
    ExpectWellFormedSequence(run);

    // Checking, verification start, downloads start, then chunks and the end.
    ASSERT_GE(run.reports.size(), 5u) << run.raw;
    EXPECT_EQ(run.reports[0].state, kChecking);
    EXPECT_EQ(run.reports[1].state, kVerifying);
    EXPECT_EQ(run.reports[1].message, "Verificando integridade dos arquivos locais...");
    EXPECT_EQ(run.reports[1].progress, 0.0);
    auto firstDownload = std::find_if(run.reports.begin(), run.reports.end(),
                                      [](const Report& r) { return r.state == kDownloading; });
    ASSERT_NE(firstDownload, run.reports.end());
    EXPECT_EQ(firstDownload->message, "Baixando atualizações...");
    EXPECT_EQ(firstDownload->progress, 0.0);
    // Every file was missing, so verification reports each entry: k/7.
    std::vector<double> verifySteps;
    for (const Report& r : run.reports)
        if (r.message == "Verificando integridade...") verifySteps.push_back(r.progress);
    ASSERT_EQ(verifySteps.size(), files.size());
    EXPECT_DOUBLE_EQ(verifySteps.back(), 1.0);
    double maxDownload = 0;
    for (const Report& r : run.reports)
        if (r.message == "Baixando arquivos...") maxDownload = std::max(maxDownload, r.progress);
    EXPECT_EQ(maxDownload, 1.0);

    EXPECT_EQ(Tree(game), files);
    EXPECT_TRUE(Leftovers(game).empty());
    std::multiset<std::string> requested;
    for (const auto& p : RequestedFiles()) requested.insert(p);
    std::multiset<std::string> listed;
    for (const auto& [rel, content] : files) listed.insert(rel);
    EXPECT_EQ(requested, listed);

    httplib::Client client("127.0.0.1", BuiltinPort());
    auto manifest = client.Get("/manifest.json");
    ASSERT_TRUE(manifest);
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Manifesto baixado com " + std::to_string(manifest->body.size()) +
                           " bytes. Analisando integridade..."));
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Iniciando verificação de patch (forceVerify=false)...")) << run.Describe();
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Baixando manifesto de: " + Url() + "/manifest.json"));
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Verificação concluída. Arquivos a baixar: 7"));
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Download concluído com sucesso."));

    // The next run finds everything in place (hashing it once, the cache was empty).
    ForgetRequests();
    ProbeRun again = Run();
    ExpectLastReport(again, kCompleted, "Todos os arquivos estão atualizados!");
    ExpectWellFormedSequence(again);
    EXPECT_TRUE(again.Logged("INFO [PatchManager] Todos os arquivos já estão atualizados.")) << again.Describe();
    EXPECT_TRUE(RequestedFiles().empty());
}

// A folder already in place: the first run hashes it into the cache; with
// the cache intact a run reads no file at all, which shows here as changed
// contents (same size, same time) going unnoticed; a forced run hashes every
// file and fetches the changed ones again.
TEST_F(PatchRun, IntactCacheHashesNothingAndForcedRunHashesEverything) {
    std::map<std::string, std::string> files{
        {"a.txt", "alpha"}, {"sub/b.bin", Content(200000, 7)}, {"sub/deeper/ç.dat", Content(4096, 8)}, {"zero", ""}};
    for (const auto& [rel, content] : files) {
        WriteFile(root / rel, content);
        WriteFile(game / rel, content);
    }
    StartServer();

    ProbeRun first = Run();
    ExpectLastReport(first, kCompleted, "Todos os arquivos estão atualizados!");
    ExpectWellFormedSequence(first);
    ASSERT_EQ(first.reports.size(), 2 + files.size() + 1) << first.raw;  // checking, verify start, per entry, done

    std::set<std::string> changed;
    for (const auto& [rel, content] : files) {
        if (content.empty()) continue;
        fs::path p = game / rel;
        auto time = fs::last_write_time(p);
        std::string altered = content;
        altered[0] = static_cast<char>(altered[0] ^ 0x20);
        WriteFile(p, altered);
        fs::last_write_time(p, time);
        changed.insert(rel);
    }

    ProbeRun cached = Run();
    ExpectLastReport(cached, kCompleted, "Todos os arquivos estão atualizados!");
    EXPECT_TRUE(cached.Logged("INFO [PatchManager] Verificação concluída. Arquivos a baixar: 0")) << cached.Describe();
    EXPECT_TRUE(RequestedFiles().empty());

    ProbeRun forced = Run({"--force"});
    ExpectLastReport(forced, kCompleted, "Atualização concluída com sucesso!");
    EXPECT_TRUE(forced.Logged("INFO [PatchManager] Iniciando verificação de patch (forceVerify=true)..."))
        << forced.Describe();
    EXPECT_TRUE(forced.Logged("INFO [PatchManager] Verificação concluída. Arquivos a baixar: " +
                              std::to_string(changed.size())));
    auto requested = RequestedFiles();
    EXPECT_EQ(std::set<std::string>(requested.begin(), requested.end()), changed);
    EXPECT_EQ(Tree(game), files);
    EXPECT_TRUE(Leftovers(game).empty());
}

// A damaged answer never replaces the file it was meant for.
TEST_F(PatchRun, DamagedDownloadLeavesOldFileAndNoPartFile) {
    for (const std::string fault : {"flip", "truncate", "drop", "html"}) {
        SCOPED_TRACE(fault);
        fs::remove_all(game);
        fs::remove_all(dir / "out");
        WriteFile(root / "pak/target.bin", Content(300000, 11));
        WriteFile(root / "other.txt", "new other");
        WriteFile(game / "pak/target.bin", "old target");
        WriteFile(game / "other.txt", "old other");
        WriteFile(data / "faults.json", nlohmann::json{{"files", {{"pak/target.bin", fault}}}}.dump());
        StartServer();

        ProbeRun run = Run();
        ExpectTransferFailed(run);
        ExpectWellFormedSequence(run);
        EXPECT_EQ(ReadFile(game / "pak/target.bin"), "old target");
        std::string other = ReadFile(game / "other.txt");
        EXPECT_TRUE(other == "old other" || other == "new other") << other;
        EXPECT_TRUE(Leftovers(game).empty()) << ::testing::PrintToString(Leftovers(game));
        server.reset();
    }
}

// An answer that is not the whole file fails its transfer whether or not the
// file list gives a size and hash to check it by: the old files stay.
TEST_F(PatchRun, ErrorAnswersAndCutBodiesNeverReplaceAFileCheckedOrNot) {
    const char* faults[] = {
        "html",       // status 500 with an HTML page
        "404",        // status 404 with a JSON error
        "status500",  // status 500 with the file's own bytes
        "drop",       // half the declared length, then the connection closes
        "stall",      // half, then nothing past the receive time-out
        "chunkcut",   // chunked, reset inside the one chunk
    };
    const std::map<std::string, std::string> oldFiles{{"checked.bin", "old checked"},
                                                      {"unchecked.bin", "old unchecked"}};
    WriteFile(root / "checked.bin", Content(200000, 12));
    WriteFile(root / "unchecked.bin", Content(200000, 13));
    // Size 0 and an empty hash: nothing to check the download by.
    WriteFile(data / "manifest_extra.txt", "unchecked.bin,0,0,,\n");
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        fs::remove_all(game);
        for (const auto& [rel, content] : oldFiles) WriteFile(game / rel, content);
        WriteFile(data / "faults.json",
                  nlohmann::json{{"files", {{"checked.bin", fault}, {"unchecked.bin", fault}}}}.dump());
        StartServer();

        ProbeRun run = Run();
        ExpectTransferFailed(run);
        ExpectWellFormedSequence(run);
        EXPECT_FALSE(run.Logged("INFO [PatchManager] Download concluído com sucesso.")) << run.Describe();
        EXPECT_EQ(Tree(game), oldFiles);
        server.reset();
    }
}

// An empty game file sent chunked has a body of its last chunk alone, and
// Wine's first availability query on it fails before any byte arrives: for an
// entry the list gives as empty, with the digest of zero bytes, that answer is
// the file. A server that stalls installs nothing, and neither does an entry
// with nothing to check it by.
TEST_F(PatchRun, EmptyFileSentChunked) {
    struct Case {
        const char* name;
        const char* fault;
        const char* listLine;  // replaces the served folder's line for empty.bin
        bool installed;
    } cases[] = {
        {"listed with size and digest", "chunked", nullptr, true},
        {"stalls after its headers", "stall", nullptr, false},
        {"listed with nothing to check it by", "chunked", "empty.bin,0,0,,\n", false},
    };
    const std::string other = Content(70000, 14);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(game);
        WriteFile(game / "empty.bin", "old");
        WriteFile(root / "empty.bin", "");
        WriteFile(root / "other.bin", other);
        WriteFile(data / "manifest_extra.txt", c.listLine ? c.listLine : "");
        WriteFile(data / "faults.json",
                  nlohmann::json{{"files", {{"empty.bin", c.fault}, {"other.bin", "chunked"}}}}.dump());
        StartServer();

        ProbeRun run = Run();
        ExpectWellFormedSequence(run);
        if (c.installed) {
            ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
            EXPECT_EQ(Tree(game), (std::map<std::string, std::string>{{"empty.bin", ""}, {"other.bin", other}}));
        } else {
            ExpectTransferFailed(run);
            EXPECT_EQ(ReadFile(game / "empty.bin"), "old");
            EXPECT_TRUE(Leftovers(game).empty()) << ::testing::PrintToString(Leftovers(game));
        }
        server.reset();
    }
}

// The disk has room for the new file but not for the backup copy of the old
// one: the copy's remains go, and the swap goes on without a backup.
TEST_F(PatchRun, DiskTooFullForTheBackupLeavesNoBackupBehind) {
    if (mount("tmpfs", game.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno)
                     << "), so a full disk cannot be made";
    struct Unmount {
        fs::path at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{game};

    const std::string oldContent = Content(1536 * 1024, 50), newContent = Content(2048 * 1024, 51);
    WriteFile(root / "big.pak", newContent);
    WriteFile(game / "big.pak", oldContent);
    // Room for the part file and a little more, far less than the copy needs.
    struct statvfs disk{};
    ASSERT_EQ(statvfs(game.c_str(), &disk), 0);
    const uint64_t room = static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
    const uint64_t keep = newContent.size() + 256 * 1024;
    ASSERT_GT(room, keep);
    const std::string filler(room - keep, 'f');
    WriteFile(game / "filler", filler);
    StartServer();

    ProbeRun run = Run();
    ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Download concluído com sucesso.")) << run.Describe();
    EXPECT_TRUE(Leftovers(game).empty()) << ::testing::PrintToString(Leftovers(game));
    EXPECT_EQ(ReadFile(game / "big.pak"), newContent);
    EXPECT_EQ(ReadFile(game / "filler"), filler);
}

TEST_F(PatchRun, ServerKilledMidDownloadKeepsEveryOldFile) {
    std::map<std::string, std::string> oldFiles, newFiles;
    for (int i = 0; i < 6; ++i) {
        std::string rel = "f" + std::to_string(i) + ".bin";
        oldFiles[rel] = "old " + rel;
        newFiles[rel] = Content(100000 + i, 20 + i);
    }
    newFiles["stalled.bin"] = Content(1 << 20, 30);
    oldFiles["stalled.bin"] = "old stalled";
    for (const auto& [rel, content] : newFiles) WriteFile(root / rel, content);
    for (const auto& [rel, content] : oldFiles) WriteFile(game / rel, content);
    WriteFile(data / "faults.json", R"({"files":{"stalled.bin":"stall"}})");
    Process srv = StartKillableServer();

    // The other files make up less than 0.4 of the bytes, so beyond that the
    // stalled file is part-way through, and it cannot finish: kill then.
    fs::path report = dir / "report1.jsonl";  // the first run of this test
    std::thread killer([&] {
        WaitUntil(
            [&] {
                std::istringstream in(ReadFile(report));
                std::string line;
                while (std::getline(in, line)) {
                    auto j = nlohmann::json::parse(line, nullptr, false);
                    if (j.is_object() && j.value("message", "") == "Baixando arquivos..." &&
                        j.value("progress", 0.0) > 0.4)
                        return true;
                }
                return false;
            },
            60s, 20ms);
        srv.Kill();
    });
    ProbeRun run = Run();
    killer.join();

    ExpectLastReport(run, kError, "Erro durante a atualização: Falha no download via WinHTTP.");
    ExpectWellFormedSequence(run);
    EXPECT_EQ(ReadFile(game / "stalled.bin"), "old stalled");
    for (const auto& [rel, content] : Tree(game)) {
        ASSERT_TRUE(oldFiles.count(rel)) << "unexpected file " << rel;
        EXPECT_TRUE(content == oldFiles[rel] || content == newFiles[rel]) << rel << " is neither old nor new";
    }
    EXPECT_EQ(Tree(game).size(), oldFiles.size());
}

// The window is gone before the PatchManager: its destructor stops the
// reports, cancels the engine and joins it; the cancellation only reaches the
// log, before the destructor returns. The stalled file cannot finish on its own.
TEST_F(PatchRun, DestroyingTheManagerMidDownloadCancelsAndJoins) {
    WriteFile(root / "stalled.pak", Content(2 << 20, 40));
    WriteFile(data / "faults.json", R"({"files":{"stalled.pak":"stall"}})");
    StartServer();

    ProbeRun run = Run({"--destroy-after", "1"});
    ASSERT_EQ(run.exit, 0) << run.Describe();
    EXPECT_EQ(run.events, (std::vector<std::string>{"destroying", "destroyed", "summary"})) << run.raw;
    for (const Report& r : run.reports) EXPECT_NE(r.state, kError) << "a report reached the gone window";
    auto cancelled = std::find(run.log.begin(), run.log.end(),
                               "ERROR [PatchManager] Falha no download: Operação cancelada pelo usuário.");
    auto returned = std::find(run.log.begin(), run.log.end(), "INFO [patchprobe] destroyed");
    ASSERT_NE(cancelled, run.log.end()) << run.Describe();
    EXPECT_LT(cancelled, returned) << run.Describe();
    // The server records a request once its connection has ended, which may be a moment after the probe.
    WaitUntil([&] { return !RequestedFiles().empty(); }, 10s);
    EXPECT_EQ(RequestedFiles(), std::vector<std::string>{"stalled.pak"});
    EXPECT_TRUE(Tree(game).empty()) << ::testing::PrintToString(Leftovers(game));
}

// A launcher ended mid-download or mid-swap (a crash, a power cut) leaves part
// files and backups beside game files; the next run removes them, says so,
// and installs what is stale as usual.
TEST_F(PatchRun, LeftoversOfAnEndedLauncherGoOnTheNextRun) {
    const std::string stale = Content(50000, 41);
    WriteFile(root / "current.pak", "current");
    WriteFile(root / "sub/stale.pak", stale);
    WriteFile(game / "current.pak", "current");
    WriteFile(game / "sub/stale.pak", "old stale");
    for (const char* rel : {"current.pak.part", "current.pak.bak", "sub/stale.pak.part", "sub/stale.pak.bak"})
        WriteFile(game / rel, std::string("left by ") + rel);
    StartServer();

    ProbeRun run = Run();
    ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
    // The backup beside the stale file is its swap's to replace and remove.
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Arquivos temporários de uma execução interrompida removidos: 3"))
        << run.Describe();
    EXPECT_EQ(Tree(game), (std::map<std::string, std::string>{{"current.pak", "current"}, {"sub/stale.pak", stale}}));
}

// Four workers report at once: every report arrives whole and in range.
TEST_F(PatchRun, ManySmallFilesWithFourWorkers) {
    std::map<std::string, std::string> files;
    for (int i = 0; i < 400; ++i)
        files["set" + std::to_string(i % 16) + "/file" + std::to_string(i) + ".txt"] = Content(500 + 37 * i, 100 + i);
    for (const auto& [rel, content] : files) WriteFile(root / rel, content);
    StartServer();

    ProbeRun run = Run();
    ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
    ExpectWellFormedSequence(run);
    size_t chunks = 0;
    double maxProgress = 0;
    for (const Report& r : run.reports) {
        if (r.message != "Baixando arquivos...") continue;
        ++chunks;
        maxProgress = std::max(maxProgress, r.progress);
    }
    EXPECT_GE(chunks, files.size());
    EXPECT_EQ(maxProgress, 1.0);
    EXPECT_EQ(Tree(game), files);
}

// File-list entries that point outside the game folder are skipped with a
// warning: never hashed, fetched or written.
TEST_F(PatchRun, PathsOutsideTheGameFolderAreRefused) {
    WriteFile(root / "good.txt", "good");
    const std::string hash = "0123456789abcdef";
    const std::vector<std::string> bad{"../evil.txt",        "C:/evil_c.txt", "a/../../evil2.txt", "/rooted.txt",
                                       "sub\\..\\..\\evil3.txt", "aux.txt",       "file.txt:stream",   "dir//x.txt"};
    std::string extra;
    for (const auto& p : bad) extra += p + ",4,0," + hash + "\n";
    WriteFile(data / "manifest_extra.txt", extra);
    StartServer();

    const char* prefix = std::getenv("WINEPREFIX");
    ProbeRun run = Run();
    ExpectLastReport(run, kCompleted, "Atualização concluída com sucesso!");
    for (const auto& p : bad)
        EXPECT_TRUE(run.Logged("WARN [FileIntegritySystem] Caminho inválido ignorado na lista de arquivos: " + p))
            << p << "\n" << run.Describe();
    EXPECT_TRUE(run.Logged("INFO [PatchManager] Verificação concluída. Arquivos a baixar: 1"));
    EXPECT_EQ(RequestedFiles(), std::vector<std::string>{"good.txt"});
    EXPECT_EQ(Tree(game), (std::map<std::string, std::string>{{"good.txt", "good"}}));
    for (const char* name : {"evil.txt", "evil2.txt", "evil3.txt"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
    if (prefix) {
        EXPECT_FALSE(fs::exists(fs::path(prefix) / "drive_c" / "evil_c.txt"));
    }
    EXPECT_FALSE(fs::exists("/rooted.txt"));
}

// Without the whole file list nothing is verified, nothing is fetched and the
// cache file stays as it was: an error answer or a list cut short would
// otherwise pass for a shorter, complete one, and an answer with no usable
// line (a sign-in portal's page, a body nobody can read) for a folder that is
// up to date.
TEST_F(PatchRun, FileListFailures) {
    struct Case {
        const char* name;
        const char* manifestFault;  // null: no server at all
        std::optional<std::string> body;  // the whole answer, under status 200, in place of the list
    };
    const std::string gzipList(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\xd4\x2b\xa9\x28\xd1\x31\xd4\x31\xd0\x49\x31\x32\x49\x4d"
        "\x36\x49\x33\x4c\xb4\xb4\x48\x36\x4b\x35\x4d\xe2\x4a\x82\x4b\x99\x5b\x98\x98\x1a\x25\x26\x1a\x1a\x26"
        "\xa6\x19\x5b\xa6\x59\x26\x71\x01\x00\x9f\x7f\x4f\xdc\x36\x00\x00\x00",
        67);  // the list of a.txt and b.txt, gzip-compressed
    const Case cases[] = {
        {"unreachable", nullptr, std::nullopt},
        {"connection dropped before an answer", "drop", std::nullopt},
        {"error page", "html", std::nullopt},
        {"not found", "404", std::nullopt},
        {"cut after the first of two lines", "cut", std::nullopt},
        {"stalled after the first line past the receive time-out", "stall", std::nullopt},
        {"chunked, reset inside the one chunk", "chunkcut", std::nullopt},
        {"a sign-in portal's page under status 200", "",
         "<!DOCTYPE html>\n<html><head><title>Wi-Fi do hotel</title></head>\n"
         "<body><form action=\"/login\"><input name=\"quarto\"></form></body></html>\n"},
        {"a gzip body nobody asked for", "", gzipList},
        {"an empty body", "", ""},
        {"lines with commas but no numbers", "", "Vrenn, o jogo, chega em, breve\nvolte,logo,mais,tarde\n"},
    };
    const std::string cacheBytes("\x01\x00\x00\x00\x05\x00\x00\x00" "a.txt" "\x01\x00\x00\x00\x00\x00\x00\x00"
                                 "\x02\x00\x00\x00\x00\x00\x00\x00" "\x01\x00\x00\x00" "h",
                                 8 + 5 + 16 + 4 + 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The served folder makes the list; a case with a body of its own serves nothing else.
        fs::remove_all(root);
        fs::create_directories(root);
        if (!c.body) {
            WriteFile(root / "a.txt", "a");
            WriteFile(root / "b.txt", "b");
        }
        WriteFile(data / "manifest_extra.txt", c.body.value_or(""));
        WriteFile(game / "launcher_cache.dat", cacheBytes);
        if (c.manifestFault) {
            WriteFile(data / "faults.json", nlohmann::json{{"manifest", c.manifestFault}}.dump());
            StartServer();
        }
        ProbeRun run = Run({}, c.manifestFault ? Url() : "http://127.0.0.1:" + std::to_string(FreePort()));
        ExpectLastReport(run, kError, "Não foi possível obter o manifesto de patch do servidor.");
        ExpectWellFormedSequence(run);
        EXPECT_EQ(run.reports.size(), 2u) << run.raw;
        if (!run.reports.empty()) {
            EXPECT_EQ(run.reports.front().state, kChecking);
        }
        EXPECT_TRUE(run.Logged("ERROR [PatchManager] Falha ao baixar manifesto de patch!")) << run.Describe();
        EXPECT_EQ(ReadFile(game / "launcher_cache.dat"), cacheBytes);
        EXPECT_TRUE(Tree(game).empty()) << ::testing::PrintToString(Tree(game));
        server.reset();
    }
}
