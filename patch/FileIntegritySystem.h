#pragma once
// Decides which game files must be fetched: the server's file list, the local
// cache "launcher_cache.dat" and XXH64 file hashes. No Windows header.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct FileMetadata {
    std::string path;
    uint64_t size = 0;
    uint64_t modifiedTime = 0;
    std::string hash;
};

class FileIntegritySystem {
public:
    explicit FileIntegritySystem(const std::wstring& rootDir);

    bool LoadManifest(const std::string& text);
    bool LoadLocalCache(const std::wstring& cachePath);
    bool SaveLocalCache(const std::wstring& cachePath);
    std::vector<FileMetadata> VerifyFiles(bool forceVerify, const std::function<void(float)>& progress);
    // XXH64 (seed 0) of the file as 16 lower-case hex digits; "" when it cannot be opened.
    static std::string ComputeFileHash(const std::wstring& path);

private:
    std::wstring rootDir;
    std::unordered_map<std::string, FileMetadata> manifest;
    std::unordered_map<std::string, FileMetadata> cache;
    // One lock over the file list, verification and the cache save.
    std::mutex lock;
};
