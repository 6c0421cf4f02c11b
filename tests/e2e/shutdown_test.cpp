// Closing the real launcher's window while its patch run is busy: the process
// ends within about a second whatever the run is doing, and a run stopped that
// way leaves nothing behind (no cache file written, no download started, no
// part file, no half backup). A swap in progress finishes first.
#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "patch/LocalFiles.h"
#include "support/LauncherWorld.h"

using namespace e2e;

namespace {

// Milliseconds of the day at which the first log line with this message was
// written, or -1.
long LoggedAt(const std::string& log, const std::string& message) {
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        int h = 0, m = 0, s = 0, ms = 0;
        if (line.find("] " + message) == std::string::npos) continue;
        if (std::sscanf(line.c_str(), "[%*d-%*d-%*d %d:%d:%d.%d]", &h, &m, &s, &ms) == 4)
            return ((h * 60L + m) * 60 + s) * 1000 + ms;
    }
    return -1;
}

size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// Closes the window (once it is there) and waits for the process to end;
// prints the times from the window's WM_CLOSE and from the end of its loop
// (the window destroyed) to the last log line.
std::optional<int> CloseAndTime(LauncherRun& run) {
    if (!WaitUntil([&] { return run.CloseWindow(); }, 30s, 200ms)) return std::nullopt;
    auto code = run.WaitExit(60s);
    const std::string log = run.Log();
    const long ended = LoggedAt(log, "Encerrando launcher (Exit 0).");
    for (const char* from : {"[WndProc] WM_CLOSE recebido.", "UIManager.Run finalizado normalmente."}) {
        const long at = LoggedAt(log, from);
        if (at >= 0 && ended >= 0) std::cout << "\"" << from << "\" to exit: " << ended - at << " ms\n";
    }
    return code;
}

std::string LastMessage(const LauncherRun& run) {
    const auto lines = run.LogMessages();
    return lines.empty() ? "" : lines.back();
}

const char kCancelledLine[] = "ERROR [PatchManager] Falha no download: Operação cancelada pelo usuário.";

}  // namespace

// "REPARAR JOGO" re-hashes every file; closing the window part-way must not
// let the run hash the rest of the folder, save the cache or start downloads.
TEST(Shutdown, ClosingDuringARepairStopsTheVerification) {
    LauncherWorld world("ShutdownDuringRepair");
    // 1 GiB files (sparse: no disk space) listed under a hash that the cache
    // file vouches for, so the first run finds them current unread. Hashing
    // them all takes several times longer than the close takes to arrive.
    constexpr int kFiles = 32;
    constexpr uint64_t kSize = uint64_t(1) << 30;
    const std::string listedHash = "0123456789abcdef";
    const int64_t written = 1700000000;  // 2023-11-14, whole seconds
    std::string list, cache;
    auto u32 = [&cache](uint32_t v) {
        for (int i = 0; i < 4; ++i) cache.push_back(static_cast<char>(v >> (8 * i)));
    };
    auto u64 = [&cache](uint64_t v) {
        for (int i = 0; i < 8; ++i) cache.push_back(static_cast<char>(v >> (8 * i)));
    };
    u32(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        const std::string rel = "pak/world" + std::to_string(i) + ".pak";
        const fs::path file = world.game / rel;
        WriteFile(file, "");
        fs::resize_file(file, kSize);
        const std::chrono::sys_seconds when{std::chrono::seconds{written}};
        fs::last_write_time(file, std::chrono::file_clock::from_sys(when));
        list += rel + "," + std::to_string(kSize) + ",0," + listedHash + "\n";
        u32(static_cast<uint32_t>(rel.size()));
        cache += rel;
        u64(kSize);
        u64(FileClockSeconds(written, 0));
        u32(static_cast<uint32_t>(listedHash.size()));
        cache += listedHash;
    }
    WriteFile(world.data / "manifest_extra.txt", list);
    const fs::path cacheFile = world.game / "launcher_cache.dat";
    WriteFile(cacheFile, cache);
    world.StartServer();
    ASSERT_TRUE(world.StartLauncher()) << world.Launcher().Log();
    LauncherRun& run = world.Launcher();
    ASSERT_TRUE(run.WaitForLog("[PatchManager] Verificação concluída. Arquivos a baixar: 0", 10s)) << run.Log();
    // Written again by the first run; a save from here on would bring it back.
    fs::remove(cacheFile);

    world.Click(860, 37);  // "REPARAR JOGO"
    ASSERT_TRUE(run.WaitForLog("(forceVerify=true)", 30s)) << run.Log();
    ASSERT_TRUE(WaitUntil([&] { return Count(run.Log(), "[PatchManager] Manifesto baixado com") == 2; }, 30s))
        << run.Log();
    auto code = CloseAndTime(run);
    ASSERT_TRUE(code.has_value()) << run.Log();
    EXPECT_EQ(*code, 0);

    const std::string log = run.Log();
    // The verification itself stopped (the shutdown timer, which would end a
    // verification that never stops, fails the run when it goes).
    EXPECT_EQ(Count(log, "] [INFO] [PatchManager] Processo de patch interrompido: o launcher está fechando."), 1u)
        << log;
    EXPECT_EQ(Count(log, "[PatchManager] Verificação concluída."), 1u) << log;
    EXPECT_FALSE(fs::exists(cacheFile));
    for (const auto& r : world.Server().Records("requests.jsonl"))
        EXPECT_NE(r.value("path", "").rfind("/files/", 0), 0u) << r.dump();
    EXPECT_EQ(LastMessage(run), "INFO Encerrando launcher (Exit 0).") << log;
}

// A server that takes a request and never answers holds that request for
// minutes (WinHTTP's wait for the response headers); the launcher must not.
// The timer ends the process, and an abandoned transfer still says it was
// cancelled and takes its part file with it; the old game file stays.
TEST(Shutdown, ClosingWhileARequestHangsEndsTheProcess) {
    struct Case {
        const char* name;
        nlohmann::json faults;
        const char* busy;     // the log line after which the request hangs
        uint64_t partBytes;   // and the part file's size once it does
        bool download;
    } cases[] = {
        {"file list never answers", {{"manifest", "hold"}}, "[PatchManager] Baixando manifesto de:", 0, false},
        {"game file never answers",
         {{"files", {{"stuck.pak", "hold"}}}},
         "[PatchManager] Verificação concluída. Arquivos a baixar: 1",
         0,
         true},
        {"game file stalls half-way",
         {{"files", {{"stuck.pak", "stall"}}}},
         "[PatchManager] Verificação concluída. Arquivos a baixar: 1",
         150000,
         true},
    };
    const std::string oldContent = "old stuck";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LauncherWorld world(std::string("ShutdownHang-") + c.name);
        WriteFile(world.root / "stuck.pak", std::string(300000, 's'));
        WriteFile(world.game / "stuck.pak", oldContent);
        WriteFile(world.data / "faults.json", c.faults.dump());
        world.StartServer();
        LauncherRun run(world.game);
        run.ExpectShutdownTimer();
        ASSERT_TRUE(run.WaitForLog("Loop de interface iniciado com sucesso.", 90s)) << run.Log();
        ASSERT_TRUE(run.WaitForLog(c.busy, 30s)) << run.Log();
        const fs::path part = world.game / "stuck.pak.part";
        if (c.download) {
            ASSERT_TRUE(WaitUntil([&] {
                std::error_code ec;
                return fs::file_size(part, ec) == c.partBytes && !ec;
            }, 30s)) << "the transfer never reached the hang";
        }

        auto code = CloseAndTime(run);
        ASSERT_TRUE(code.has_value()) << "still running after the close\n" << run.Log();
        EXPECT_EQ(*code, 0);
        EXPECT_EQ(LastMessage(run), "INFO Encerrando launcher (Exit 0).") << run.Log();
        EXPECT_EQ(ReadFile(world.game / "stuck.pak"), oldContent);
        EXPECT_TRUE(Leftovers(world.game).empty()) << ::testing::PrintToString(Leftovers(world.game));
        if (c.download) {
            const auto lines = run.LogMessages();
            EXPECT_TRUE(std::find(lines.begin(), lines.end(), kCancelledLine) != lines.end())
                << "no line says the download was cancelled\n" << run.Log();
        }
    }
}

// The window closes while the old version of a large game file is being
// copied to its backup: the swap finishes, within its own bound rather than
// the second a close may take, and the folder ends with the new file alone.
TEST(Shutdown, ClosingDuringTheBackupCopyFinishesTheSwap) {
    LauncherWorld world("ShutdownDuringBackup");
    // Sparse: no disk space for the old file itself, its copy takes it all.
    constexpr uint64_t kOldSize = uint64_t(3) << 30;
    struct statvfs disk{};
    ASSERT_EQ(statvfs(world.game.c_str(), &disk), 0);
    if (static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize < 2 * kOldSize)
        GTEST_SKIP() << "less than 6 GiB free: the backup copy of a 3 GiB file cannot be made here";
    struct RemoveBigFiles {
        fs::path game;
        ~RemoveBigFiles() {
            std::error_code ec;
            for (const char* name : {"big.pak", "big.pak.bak", "big.pak.part"}) fs::remove(game / name, ec);
        }
    } removeBigFiles{world.game};
    const fs::path big = world.game / "big.pak";
    WriteFile(big, "");
    fs::resize_file(big, kOldSize);
    const std::string newContent(100000, 'n');
    WriteFile(world.root / "big.pak", newContent);
    world.StartServer();
    // The close is posted the moment the backup appears, far sooner than a
    // copy of 3 GiB ends.
    const fs::path said = world.dir / "closer.out";
    Process closer = StartWindows(WinTool("wmclose"), {"Vrenn Ondrel - Launcher Oficial", "--when-exists",
                                                       WinPath(world.game / "big.pak.bak")}, {}, said);
    LauncherRun run(world.game);
    ASSERT_EQ(closer.Wait(180s), 0) << run.Log();
    const uint64_t copiedAtClose = std::stoull("0" + ReadFile(said));
    EXPECT_LT(copiedAtClose, kOldSize) << "the close came after the copy";

    auto code = run.WaitExit(120s);
    ASSERT_TRUE(code.has_value()) << "still running after the close\n" << run.Log();
    EXPECT_EQ(*code, 0);
    ASSERT_EQ(fs::file_size(big), newContent.size()) << "the new file was not swapped in\n" << run.Log();
    EXPECT_EQ(ReadFile(big), newContent);
    EXPECT_TRUE(Leftovers(world.game).empty()) << ::testing::PrintToString(Leftovers(world.game));
    EXPECT_EQ(LastMessage(run), "INFO Encerrando launcher (Exit 0).") << run.Log();
}
