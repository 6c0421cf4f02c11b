// patchprobe.exe --dir GAME_DIR --url SERVER_URL --out REPORT_FILE
//                [--force] [--destroy-after N] [--quiet]
// Runs one patch run of a PatchManager on GAME_DIR and writes each state report
// to REPORT_FILE as a JSON line {"state","progress","speed","message"}. Ends
// when the run reports Completed or Error, then destroys the manager and writes
// {"event":"done"}. With --destroy-after N the manager is destroyed as soon as N
// download progress reports have arrived ({"event":"destroying"} before,
// {"event":"destroyed"} after; the log then gets "[patchprobe] destroyed"). --quiet leaves the per-chunk and per-file
// progress reports out and writes their count and highest progress at the end.
// Every report also goes through the window's own patch-state callback (a
// window object without a window), so a timed run pays what the launcher's
// receiver costs; in --quiet mode the probe itself takes no lock for a per-chunk
// report. The last line is {"event":"summary",...} with the milliseconds from the start
// of the run to its end. Exit code 0, or 3 when nothing ended within 10 minutes.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "app/Logger.h"
#include "patch/PatchManager.h"
#include "tests/tools/ToolSupport.h"
#include "ui/UIManager.h"

namespace {

struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    FILE* out = nullptr;
    bool quiet = false;
    long destroyAfter = -1;
    std::atomic<long> downloadReports{0};
    std::atomic<long> progressReports{0};
    std::atomic<float> maxProgress{0.0f};
    bool ended = false;
    bool destroyWanted = false;
    PatchStateCallback window;

    void Line(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fputc('\n', out);
        std::fflush(out);
    }

    void Report(LauncherState state, float progress, float speed, const std::string& message) {
        window(state, progress, speed, message);
        const bool perChunk = message == "Baixando arquivos...";
        const bool perStep = perChunk || message == "Verificando integridade...";
        if (perStep) ++progressReports;
        for (float seen = maxProgress; progress > seen && !maxProgress.compare_exchange_weak(seen, progress);) {
        }
        const bool destroyNow = perChunk && ++downloadReports == destroyAfter;
        if (quiet && perStep && !destroyNow) return;

        std::lock_guard<std::mutex> lock(mutex);
        const bool wasWaitedFor = ended || destroyWanted;
        if (destroyNow) destroyWanted = true;
        if (!(quiet && perStep)) {
            char nums[96];
            std::snprintf(nums, sizeof(nums), "\"state\":%d,\"progress\":%.9g,\"speed\":%.9g",
                          static_cast<int>(state), progress, speed);
            Line(std::string("{") + nums + ",\"message\":" + JsonQuote(message) + "}");
        }
        if (state == LauncherState::Completed || state == LauncherState::Error) ended = true;
        // Only what the main thread waits for wakes it: a wake per chunk would slow the run down.
        if (!wasWaitedFor && (ended || destroyWanted)) changed.notify_all();
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring dir, outPath;
    std::string url;
    bool force = false;
    Probe probe;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--dir" && i + 1 < argc) dir = argv[++i];
        else if (arg == L"--url" && i + 1 < argc) url = Utf8(argv[++i]);
        else if (arg == L"--out" && i + 1 < argc) outPath = argv[++i];
        else if (arg == L"--force") force = true;
        else if (arg == L"--quiet") probe.quiet = true;
        else if (arg == L"--destroy-after" && i + 1 < argc) probe.destroyAfter = std::stol(argv[++i]);
    }
    probe.out = _wfopen(outPath.c_str(), L"wb");
    if (!probe.out) return 2;
    // As start-up does once the server is known: error lines go to that server.
    Logger::Instance().SetApiEndpoint(url);

    // The window's own receiver; declared first, so it goes after the manager.
    UIManager windowObject(nullptr);
    probe.window = windowObject.MakePatchStateCallback();

    auto start = std::chrono::steady_clock::now();
    auto manager = std::make_unique<PatchManager>(dir, url);
    manager->Initialize();
    manager->StartPatchProcess(force, [&probe](LauncherState state, float progress, float speed,
                                               const std::string& message) {
        probe.Report(state, progress, speed, message);
    });

    bool destroyEarly = false;
    {
        std::unique_lock<std::mutex> lock(probe.mutex);
        if (!probe.changed.wait_for(lock, std::chrono::minutes(10),
                                    [&] { return probe.ended || probe.destroyWanted; }))
            return 3;
        destroyEarly = !probe.ended && probe.destroyWanted;
        if (destroyEarly) probe.Line("{\"event\":\"destroying\"}");
    }
    auto end = std::chrono::steady_clock::now();
    manager.reset();
    // Lands in the log after whatever the manager logged before its destructor returned.
    Logger::Instance().Info(destroyEarly ? "[patchprobe] destroyed" : "[patchprobe] done");

    std::lock_guard<std::mutex> lock(probe.mutex);
    probe.Line(destroyEarly ? "{\"event\":\"destroyed\"}" : "{\"event\":\"done\"}");
    char summary[160];
    std::snprintf(summary, sizeof(summary),
                  "{\"event\":\"summary\",\"ms\":%lld,\"progressReports\":%ld,\"maxProgress\":%.9g}",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count()),
                  probe.progressReports.load(), probe.maxProgress.load());
    probe.Line(summary);
    std::fclose(probe.out);
    return 0;
}
