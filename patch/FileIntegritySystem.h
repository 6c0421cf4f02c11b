#pragma once
// Decides which game files must be fetched: the server's file list, the local
// cache "launcher_cache.dat" and XXH64 file hashes. No Windows header.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "patch/LocalFiles.h"

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

// Appends a list path to `out` in the platform's native form (UTF-16 on
// Windows, the UTF-8 bytes elsewhere), as std::filesystem would convert it.
// Only well-formed UTF-8 is taken: overlong forms, surrogates and values past
// U+10FFFF throw std::filesystem::filesystem_error, on every platform alike.
void AppendNativeFromUtf8(const std::string& text, NativePath& out);

using FileMetadataMap = std::unordered_map<std::string, FileMetadata>;

// The entries of a file-list text in line order (lines that do not parse are
// skipped); the paths IsSafeGamePath refuses go to `refused` instead.
void ParseFileList(std::string_view text, std::vector<FileMetadata>& entries, std::vector<std::string>& refused);
// Adds the entries of a cache file's bytes to `out`, up to the first length
// beyond its limit or the first short read.
void ReadCacheEntries(std::istream& in, FileMetadataMap& out);
// The bytes of a cache file holding `cache`, in the map's iteration order.
std::string CacheFileBytes(const FileMetadataMap& cache);

class FileIntegritySystem {
public:
    using WarningSink = std::function<void(const std::string&)>;

    explicit FileIntegritySystem(const std::wstring& rootDir);

    bool LoadManifest(const std::string& text);
    bool LoadLocalCache(const std::wstring& cachePath);
    bool SaveLocalCache(const std::wstring& cachePath);
    // Entries of the file list last loaded.
    size_t ManifestSize();
    // The cache file is written whole under a temporary name beside it, then
    // moved over the old one: a save cut short leaves the old file as it was.
    // Once `stop` is set, verification ends before the next entry or the next
    // chunk of the file being hashed: what it returns is then incomplete, and
    // no hash cut short reaches the cache.
    // With removeLeftovers, a verification that ran to its end also removes
    // what a launcher ended mid-download or mid-swap may have left beside a
    // listed file: its ".part" file, and its ".bak" where the file itself is
    // current. Nothing may be downloading into the folder meanwhile.
    std::vector<FileMetadata> VerifyFiles(bool forceVerify, const std::function<void(float)>& progress,
                                          const std::atomic<bool>* stop = nullptr, bool removeLeftovers = false);
    // XXH64 (seed 0) of the file as 16 lower-case hex digits; "" when it cannot
    // be opened, or when `stop` was set before the file was read to its end.
    static std::string ComputeFileHash(const std::wstring& path, const std::atomic<bool>* stop = nullptr);
    // The same digest of what `read` yields: it fills the buffer it is given
    // (up to the size asked) and returns the count; fewer bytes end the input.
    // "" when `stop` was set before the input ended.
    using ChunkReader = std::function<size_t(char* buffer, size_t size)>;
    static std::string ComputeReadHash(const ChunkReader& read, const std::atomic<bool>* stop = nullptr);

    // Receives one line per file-list entry refused by IsSafeGamePath; called
    // after LoadManifest has released the lock.
    void SetWarningSink(WarningSink sink);
    // Files hashed by the latest VerifyFiles call (0 when the cache vouched for all).
    size_t LastHashedCount() const { return lastHashedCount.load(); }
    // Files the latest VerifyFiles call removed as leftovers.
    size_t LastLeftoversRemoved() const { return lastLeftoversRemoved.load(); }

private:
    std::wstring rootDir;
    FileMetadataMap manifest;
    FileMetadataMap cache;
    // One lock over the file list, verification and the cache save.
    std::mutex lock;
    WarningSink warningSink;
    std::atomic<size_t> lastHashedCount{0};
    std::atomic<size_t> lastLeftoversRemoved{0};
};
