// The cache file "launcher_cache.dat" as read back from the disk.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "patch/FileIntegritySystem.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

FileMetadataMap Read(const std::string& bytes) {
    std::istringstream in(bytes);
    FileMetadataMap cache;
    ReadCacheEntries(in, cache);
    return cache;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const FileMetadataMap cache = Read(bytes);

    // After the count, every entry costs at least its 24 bytes of lengths and numbers.
    FUZZ_CHECK(cache.empty() || 4 + cache.size() * 24 <= bytes.size());
    for (const auto& [key, entry] : cache) {
        FUZZ_CHECK(key == entry.path);
        FUZZ_CHECK(key.size() <= 4096 && entry.hash.size() <= 256);
    }

    // What is saved reads back as it was, and saves to the same bytes.
    const std::string saved = CacheFileBytes(cache);
    const FileMetadataMap again = Read(saved);
    FUZZ_CHECK(again.size() == cache.size());
    for (const auto& [key, entry] : cache) {
        auto it = again.find(key);
        FUZZ_CHECK(it != again.end());
        FUZZ_CHECK(it->second.path == entry.path && it->second.size == entry.size &&
                   it->second.modifiedTime == entry.modifiedTime && it->second.hash == entry.hash);
    }
    FUZZ_CHECK(CacheFileBytes(again).size() == saved.size());
    return 0;
}
