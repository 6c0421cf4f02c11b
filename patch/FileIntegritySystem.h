#pragma once
// Decides which game files must be fetched: the server's file list, the local
// cache "launcher_cache.dat" and XXH64 file hashes. No Windows header.
#include <atomic>
#include <cstddef>
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

// File-list paths come from the server and are joined to the game folder, so
// only plain relative paths are accepted. Refused: the empty path, a leading "/"
// or "\", any ':' (drives, alternate data streams), control bytes, components
// that are empty, "." or "..", components ending in '.' or ' ' (Windows strips
// those, so "..." or ".. " could alias another name), and Windows device names
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and the superscript
// COM/LPT digits, in any case, with or without extension).
// "/" and "\" both count as separators.
bool IsSafeGamePath(const std::string& path);

class FileIntegritySystem {
public:
    using WarningSink = std::function<void(const std::string&)>;

    explicit FileIntegritySystem(const std::wstring& rootDir);

    bool LoadManifest(const std::string& text);
    bool LoadLocalCache(const std::wstring& cachePath);
    bool SaveLocalCache(const std::wstring& cachePath);
    std::vector<FileMetadata> VerifyFiles(bool forceVerify, const std::function<void(float)>& progress);
    // XXH64 (seed 0) of the file as 16 lower-case hex digits; "" when it cannot be opened.
    static std::string ComputeFileHash(const std::wstring& path);
    // The same digest of what `read` yields: it fills the buffer it is given
    // (up to the size asked) and returns the count; fewer bytes end the input.
    using ChunkReader = std::function<size_t(char* buffer, size_t size)>;
    static std::string ComputeReadHash(const ChunkReader& read);

    // Receives one line per file-list entry refused by IsSafeGamePath; called
    // after LoadManifest has released the lock.
    void SetWarningSink(WarningSink sink);
    // Files hashed by the latest VerifyFiles call (0 when the cache vouched for all).
    size_t LastHashedCount() const { return lastHashedCount.load(); }

private:
    std::wstring rootDir;
    std::unordered_map<std::string, FileMetadata> manifest;
    std::unordered_map<std::string, FileMetadata> cache;
    // One lock over the file list, verification and the cache save.
    std::mutex lock;
    WarningSink warningSink;
    std::atomic<size_t> lastHashedCount{0};
};
