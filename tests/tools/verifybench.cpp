// verifybench ROOT LIST CACHE [--force]
// One routine verification as the patch run does it: load the cache file, load
// the file list (a text file), VerifyFiles (with its look for leftovers of an
// ended run), save the cache. Prints one line of
// key=value figures; times are seconds of each step inside this process, so a
// benchmark can leave out the cost of starting the process.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "patch/FileIntegritySystem.h"

namespace {

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int Run(const std::wstring& root, const std::wstring& listPath, const std::wstring& cachePath, bool force) {
    auto t0 = std::chrono::steady_clock::now();
    std::ifstream in(std::filesystem::path(listPath), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "verifybench: cannot read the file list\n");
        return 2;
    }
    std::string list((std::istreambuf_iterator<char>(in)), {});
    double readList = Since(t0);

    FileIntegritySystem fis(root);
    t0 = std::chrono::steady_clock::now();
    bool hadCache = fis.LoadLocalCache(cachePath);
    double loadCache = Since(t0);
    t0 = std::chrono::steady_clock::now();
    fis.LoadManifest(list);
    double loadList = Since(t0);
    t0 = std::chrono::steady_clock::now();
    size_t fetch = fis.VerifyFiles(force, {}, nullptr, true).size();
    double verify = Since(t0);
    t0 = std::chrono::steady_clock::now();
    bool saved = fis.SaveLocalCache(cachePath);
    double save = Since(t0);

    std::printf("fetch=%zu hashed=%zu cache_loaded=%d saved=%d read_list_s=%.6f load_cache_s=%.6f "
                "load_list_s=%.6f verify_s=%.6f save_cache_s=%.6f\n",
                fetch, fis.LastHashedCount(), hadCache ? 1 : 0, saved ? 1 : 0, readList, loadCache, loadList,
                verify, save);
    return saved ? 0 : 3;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: verifybench ROOT LIST CACHE [--force]\n");
        return 2;
    }
    return Run(argv[1], argv[2], argv[3], argc > 4 && std::wstring(argv[4]) == L"--force");
}
#else
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: verifybench ROOT LIST CACHE [--force]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    return Run(fs::path(argv[1]).wstring(), fs::path(argv[2]).wstring(), fs::path(argv[3]).wstring(),
               argc > 4 && std::string(argv[4]) == "--force");
}
#endif
