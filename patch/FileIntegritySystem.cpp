#include "patch/FileIntegritySystem.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

#include "patch/HashAhead.h"
#include "patch/LocalFiles.h"

#ifndef XXH_INLINE_ALL
#define XXH_INLINE_ALL
#endif
#include <xxhash.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunkSize = 65536;
constexpr NativePath::value_type kPartSuffix[] = {'.', 'p', 'a', 'r', 't', 0};
constexpr NativePath::value_type kBakSuffix[] = {'.', 'b', 'a', 'k', 0};
constexpr uint32_t kMaxKeyLength = 4096;
constexpr uint32_t kMaxHashLength = 256;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsUpper(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (UpperAscii(text[i]) != upper[i]) return false;
    return true;
}

// Windows opens the device, not a file, for these names whatever the folder
// and extension: "nul.txt" and "Com1 .log" are devices too.
bool IsDeviceName(std::string_view component) {
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (std::string_view name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsUpper(stem, name)) return true;
    if (stem.size() < 4) return false;
    std::string_view prefix = stem.substr(0, 3);
    if (!EqualsUpper(prefix, "COM") && !EqualsUpper(prefix, "LPT")) return false;
    std::string_view digit = stem.substr(3);
    if (digit.size() == 1) return digit[0] >= '0' && digit[0] <= '9';
    // Superscript one, two and three in UTF-8 are device digits as well.
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

bool IsSafeComponent(std::string_view component) {
    if (component.empty() || component == "." || component == "..") return false;
    if (component.back() == '.' || component.back() == ' ') return false;
    return !IsDeviceName(component);
}

// std::stoull semantics: leading space, optional sign, stops at the first non-digit.
bool ParseNumber(std::string_view field, uint64_t& out) {
    try {
        out = std::stoull(std::string(field), nullptr, 10);
        return true;
    } catch (const std::logic_error&) {
        return false;
    }
}

// One file-list line: path, size, a number, hash; anything after a fourth comma is ignored.
bool ParseLine(std::string_view line, FileMetadata& out) {
    size_t c1 = line.find(',');
    if (c1 == std::string_view::npos) return false;
    size_t c2 = line.find(',', c1 + 1);
    if (c2 == std::string_view::npos) return false;
    size_t c3 = line.find(',', c2 + 1);
    if (c3 == std::string_view::npos || c3 + 1 == line.size()) return false;
    size_t c4 = line.find(',', c3 + 1);
    if (c4 == std::string_view::npos) c4 = line.size();
    uint64_t size = 0, third = 0;
    if (!ParseNumber(line.substr(c1 + 1, c2 - c1 - 1), size)) return false;
    if (!ParseNumber(line.substr(c2 + 1, c3 - c2 - 1), third)) return false;
    out.path.assign(line.substr(0, c1));
    out.size = size;
    out.modifiedTime = third;
    out.hash.assign(line.substr(c3 + 1, c4 - c3 - 1));
    return true;
}

std::string FormatHash(uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) out[static_cast<size_t>(i)] = digits[value & 0xF];
    return out;
}

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// Streams the input through `buffer` (kChunkSize bytes), so memory stays flat;
// `bytes` counts what was read. "" once `stop` is set: a file of gigabytes
// would otherwise hold a closing launcher for seconds.
template <class Read>
std::string HashReads(const Read& read, char* buffer, uint64_t& bytes, const std::atomic<bool>* stop) {
    XXH64_state_t state;
    XXH64_reset(&state, 0);
    for (;;) {
        if (Stopped(stop)) return std::string();
        const size_t got = read(buffer, kChunkSize);
        if (got > 0) XXH64_update(&state, buffer, got);
        bytes += got;
        if (got < kChunkSize) break;
    }
    return FormatHash(XXH64_digest(&state));
}

std::string HashOpenFile(LocalFileReader& in, char* buffer, uint64_t& bytes, const std::atomic<bool>* stop) {
    return HashReads([&in](char* into, size_t size) { return in.Read(into, size); }, buffer, bytes, stop);
}

std::string HashFile(const NativePath& path, char* buffer, const std::atomic<bool>* stop) {
    LocalFileReader in(path);
    if (!in.IsOpen()) return std::string();
    uint64_t bytes = 0;
    return HashOpenFile(in, buffer, bytes, stop);
}

// A helper's hash, kept only for a file that read back whole at the size it
// gave when opened; any other is left to the verification.
bool HashAheadOfVerification(const NativePath& path, std::vector<char>& buffer, HashAhead::Result& out,
                             const std::atomic<bool>* stop) {
    LocalFileReader in(path);
    if (!in.Describe(out.info)) return false;
    buffer.resize(kChunkSize);
    uint64_t bytes = 0;
    out.hash = HashOpenFile(in, buffer.data(), bytes, stop);
    return !out.hash.empty() && bytes == out.info.size;
}

// Helpers beside the verifying thread; more would only queue for the disk.
size_t HashHelpers() {
    const size_t cores = std::thread::hardware_concurrency();
    return std::clamp<size_t>(cores > 1 ? cores - 1 : 1, 1, 3);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool ReadBytes(std::istream& in, char* data, size_t n) {
    in.read(data, static_cast<std::streamsize>(n));
    return static_cast<size_t>(in.gcount()) == n;
}

bool GetU32(std::istream& in, uint32_t& v) {
    unsigned char b[4];
    if (!ReadBytes(in, reinterpret_cast<char*>(b), sizeof b)) return false;
    v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b[i];
    return true;
}

bool GetU64(std::istream& in, uint64_t& v) {
    unsigned char b[8];
    if (!ReadBytes(in, reinterpret_cast<char*>(b), sizeof b)) return false;
    v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return true;
}

bool GetString(std::istream& in, uint32_t length, std::string& out) {
    out.resize(length);
    return length == 0 || ReadBytes(in, out.data(), length);
}

}  // namespace

void AppendNativeFromUtf8(const std::string& text, NativePath& out) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        uint32_t cp = c;
        if (c < 0x80) {
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            extra = text.size();  // not a lead byte
        }
        bool ok = text.size() - i > extra;
        for (size_t k = 1; ok && k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            ok = t >= (k == 1 ? lo : 0x80) && t <= (k == 1 ? hi : 0xBF);
            cp = (cp << 6) | (t & 0x3F);
        }
        if (!ok)
            throw fs::filesystem_error("Cannot convert character sequence", fs::path(),
                                       std::make_error_code(std::errc::illegal_byte_sequence));
#ifdef _WIN32
        if (cp >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
#else
        out.append(text, i, extra + 1);
#endif
        i += extra + 1;
    }
}

bool IsSafeGamePath(const std::string& path) {
    if (path.empty() || IsSeparator(path.front())) return false;
    for (unsigned char c : path)
        if (c == ':' || c < 0x20) return false;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (!IsSafeComponent(std::string_view(path).substr(start, end - start))) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

void ParseFileList(std::string_view text, std::vector<FileMetadata>& entries, std::vector<std::string>& refused) {
    std::string_view rest(text);
    for (;;) {
        size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        FileMetadata entry;
        if (!line.empty() && ParseLine(line, entry)) {
            if (IsSafeGamePath(entry.path))
                entries.push_back(std::move(entry));
            else
                refused.push_back(std::move(entry.path));
        }
        if (lf == std::string_view::npos) break;
        rest.remove_prefix(lf + 1);
    }
}

void ReadCacheEntries(std::istream& in, FileMetadataMap& out) {
    uint32_t count = 0;
    if (!GetU32(in, count)) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t keyLength = 0, hashLength = 0;
        FileMetadata entry;
        if (!GetU32(in, keyLength) || keyLength > kMaxKeyLength) break;
        if (!GetString(in, keyLength, entry.path)) break;
        if (!GetU64(in, entry.size) || !GetU64(in, entry.modifiedTime)) break;
        if (!GetU32(in, hashLength) || hashLength > kMaxHashLength) break;
        if (!GetString(in, hashLength, entry.hash)) break;
        std::string key = entry.path;
        out.insert_or_assign(std::move(key), std::move(entry));
    }
}

std::string CacheFileBytes(const FileMetadataMap& cache) {
    std::string bytes;
    PutU32(bytes, static_cast<uint32_t>(cache.size()));
    for (const auto& [key, entry] : cache) {
        PutU32(bytes, static_cast<uint32_t>(key.size()));
        bytes += key;
        PutU64(bytes, entry.size);
        PutU64(bytes, entry.modifiedTime);
        PutU32(bytes, static_cast<uint32_t>(entry.hash.size()));
        bytes += entry.hash;
    }
    return bytes;
}

FileIntegritySystem::FileIntegritySystem(const std::wstring& root) : rootDir(root) {
    if (!rootDir.empty() && rootDir.back() != L'\\' && rootDir.back() != L'/') rootDir += L'/';
}

void FileIntegritySystem::SetWarningSink(WarningSink sink) {
    std::lock_guard<std::mutex> guard(lock);
    warningSink = std::move(sink);
}

bool FileIntegritySystem::LoadManifest(const std::string& text) {
    std::vector<FileMetadata> entries;
    std::vector<std::string> refused;
    ParseFileList(text, entries, refused);
    WarningSink sink;
    {
        std::lock_guard<std::mutex> guard(lock);
        manifest.clear();
        for (FileMetadata& entry : entries) {
            std::string key = entry.path;
            manifest.insert_or_assign(std::move(key), std::move(entry));
        }
        sink = warningSink;
    }
    if (sink)
        for (const std::string& path : refused)
            sink("[FileIntegritySystem] Caminho inválido ignorado na lista de arquivos: " + path);
    return true;
}

bool FileIntegritySystem::LoadLocalCache(const std::wstring& cachePath) {
    std::lock_guard<std::mutex> guard(lock);
    cache.clear();
    std::ifstream in(fs::path(cachePath), std::ios::binary);
    if (!in) return false;
    ReadCacheEntries(in, cache);
    return true;
}

bool FileIntegritySystem::SaveLocalCache(const std::wstring& cachePath) {
    std::lock_guard<std::mutex> guard(lock);
    return ReplaceLocalFile(fs::path(cachePath).native(), CacheFileBytes(cache));
}

size_t FileIntegritySystem::ManifestSize() {
    std::lock_guard<std::mutex> guard(lock);
    return manifest.size();
}

std::vector<FileMetadata> FileIntegritySystem::VerifyFiles(bool forceVerify, const std::function<void(float)>& progress,
                                                           const std::atomic<bool>* stop, bool removeLeftovers) {
    std::lock_guard<std::mutex> guard(lock);
    lastHashedCount = 0;
    lastLeftoversRemoved = 0;
    std::vector<FileMetadata> toFetch;
    std::vector<char> buffer(kChunkSize);
    // The folder ends in a separator and list paths are relative with no drive
    // (unsafe ones never get here), so the path join is a plain concatenation;
    // one reused string for all files keeps the metadata-only pass cheap.
    const NativePath root = fs::path(rootDir).native();
    NativePath full;
    // Metadata is read afresh by each verification, never kept across calls.
    FolderListings local;
    // Files sure to be hashed (no cache entry, or a forced check) are hashed
    // ahead by helpers; tickets[i] belongs to the i-th entry.
    HashAhead ahead(
        [stop](const NativePath& path, std::vector<char>& helperBuffer, HashAhead::Result& out) {
            return HashAheadOfVerification(path, helperBuffer, out, stop);
        },
        HashHelpers());
    std::vector<size_t> tickets;
    tickets.reserve(manifest.size());
    try {
        for (const auto& [key, listed] : manifest) {
            full.assign(root);
            AppendNativeFromUtf8(listed.path, full);
            local.Expect(full);
            const bool hashed = forceVerify || cache.find(key) == cache.end();
            tickets.push_back(hashed ? ahead.Expect(full, listed.size) : HashAhead::kNoTicket);
        }
    } catch (const fs::filesystem_error&) {
        // A path that does not convert ends verification where the loop below meets it.
    }
    local.Start();
    ahead.Start();
    HashAhead::Result ready;
    const size_t total = manifest.size();
    size_t done = 0;
    std::vector<bool> fetched;  // by entry, in the loop's order
    fetched.reserve(total);
    for (const auto& [key, listed] : manifest) {
        if (Stopped(stop)) break;
        full.assign(root);
        AppendNativeFromUtf8(listed.path, full);
        bool fetch = true;
        // A missing file, a failed stat or something other than a file (no size) is fetched.
        const LocalFileInfo found = local.Query(full);
        if (found.kind == LocalFileKind::Regular) {
            auto cached = cache.find(key);
            if (!forceVerify && cached != cache.end() && cached->second.size == found.size &&
                cached->second.modifiedTime == found.writeSeconds) {
                fetch = cached->second.hash != listed.hash;
            } else {
                // A helper's hash counts only where the file it read is the one
                // described here: a file changed since is hashed again, so no
                // cache entry pairs new metadata with an older content's hash.
                const size_t ticket = done < tickets.size() ? tickets[done] : HashAhead::kNoTicket;
                std::string hash = ticket != HashAhead::kNoTicket && ahead.Take(ticket, ready) && ready.info == found
                                       ? std::move(ready.hash)
                                       : HashFile(full, buffer.data(), stop);
                // A hash cut short by the stop describes no file.
                if (Stopped(stop)) break;
                ++lastHashedCount;
                fetch = hash != listed.hash;
                cache.insert_or_assign(key, FileMetadata{key, found.size, found.writeSeconds, std::move(hash)});
            }
        }
        if (fetch) toFetch.push_back(listed);
        fetched.push_back(fetch);
        ++done;
        if (progress && total != 0) progress(static_cast<float>(done) / static_cast<float>(total));
    }
    if (removeLeftovers && done == total && !Stopped(stop)) {
        // The folders are listed by now (or statted where they are not), so
        // looking for names that are almost never there costs no file access.
        local.WaitUntilListed();
        size_t removed = 0;
        auto removeIfThere = [&](const NativePath& path) {
            std::error_code ec;
            if (local.Lists(path) && fs::remove(fs::path(path), ec)) ++removed;
        };
        size_t i = 0;
        for (const auto& [key, listed] : manifest) {
            full.assign(root);
            AppendNativeFromUtf8(listed.path, full);
            const size_t stem = full.size();
            full += kPartSuffix;
            removeIfThere(full);
            // A backup is only ever needed while its swap runs; beside a
            // current file it is a copy of an older one, or part of one.
            if (!fetched[i++]) {
                full.resize(stem);
                full += kBakSuffix;
                removeIfThere(full);
            }
        }
        lastLeftoversRemoved = removed;
    }
    return toFetch;
}

std::string FileIntegritySystem::ComputeFileHash(const std::wstring& path, const std::atomic<bool>* stop) {
    std::vector<char> buffer(kChunkSize);
    return HashFile(fs::path(path).native(), buffer.data(), stop);
}

std::string FileIntegritySystem::ComputeReadHash(const ChunkReader& read, const std::atomic<bool>* stop) {
    std::vector<char> buffer(kChunkSize);
    uint64_t bytes = 0;
    return HashReads(read, buffer.data(), bytes, stop);
}
