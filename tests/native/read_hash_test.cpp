// The file digest taken from a reader (the download checks read a part file
// back through the handle that wrote it) against the digest of the same bytes
// on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "patch/FileIntegritySystem.h"

namespace fs = std::filesystem;

namespace {

TEST(ReadHash, SameDigestAsTheFileOnDiskWhereverTheEndFalls) {
    const fs::path file = fs::temp_directory_path() / ("vrenn_read_hash_" + std::to_string(getpid()));
    const size_t sizes[] = {0, 1, 65535, 65536, 65537, 3 * 65536, (3u << 20) + 12345};
    for (size_t size : sizes) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919u) >> 3);
        std::ofstream(file, std::ios::binary) << bytes;
        size_t at = 0;
        const std::string fromReads = FileIntegritySystem::ComputeReadHash([&](char* buffer, size_t want) {
            const size_t n = std::min(want, bytes.size() - at);
            bytes.copy(buffer, n, at);
            at += n;
            return n;
        });
        EXPECT_EQ(fromReads, FileIntegritySystem::ComputeFileHash(file.wstring())) << size;
        EXPECT_EQ(at, size) << size;
        if (size == 0) {
            EXPECT_EQ(fromReads, "ef46db3751d8e999");
        }
    }
    fs::remove(file);
}

}  // namespace
