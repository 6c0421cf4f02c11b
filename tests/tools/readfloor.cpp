// readfloor ROOT LIST THREADS
// Reads every file of a file list the way verification reads one (open, ask the
// open file for its metadata, read 65,536-byte chunks to the end, close) but
// hashes nothing, spread over THREADS threads. What this takes is the least a
// forced verification of those files can take in this process, whatever its
// hashing does. Prints one key=value line; the time is inside this process.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "patch/LocalFiles.h"

namespace {

namespace fs = std::filesystem;

int Run(const fs::path& root, const fs::path& listPath, unsigned threads) {
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "readfloor: cannot read the file list\n");
        return 2;
    }
    // The list's lines are "path,size,time,hash"; only the path matters here.
    std::vector<NativePath> paths;
    for (std::string line; std::getline(in, line);) {
        const std::string rel = line.substr(0, line.find(','));
        if (rel.empty()) continue;
        paths.push_back((root / fs::path(std::u8string(rel.begin(), rel.end()))).make_preferred().native());
    }

    std::atomic<size_t> next{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<size_t> failed{0};
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            std::vector<char> buffer(65536);
            uint64_t mine = 0;
            for (size_t i; (i = next++) < paths.size();) {
                LocalFileReader file(paths[i]);
                LocalFileInfo info;
                if (!file.Describe(info)) {
                    ++failed;
                    continue;
                }
                for (size_t got; (got = file.Read(buffer.data(), buffer.size())) > 0;) {
                    mine += got;
                    if (got < buffer.size()) break;
                }
            }
            bytes += mine;
        });
    }
    for (auto& w : workers) w.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("files=%zu failed=%zu bytes=%llu threads=%u read_s=%.6f\n", paths.size(), failed.load(),
                static_cast<unsigned long long>(bytes.load()), threads, seconds);
    return failed == 0 ? 0 : 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const unsigned threads = argc < 4 ? 0 : static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10));
    if (threads == 0) {
        std::fprintf(stderr, "usage: readfloor ROOT LIST THREADS (at least 1)\n");
        return 2;
    }
    return Run(argv[1], argv[2], threads);
}
