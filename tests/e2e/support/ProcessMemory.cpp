#include "ProcessMemory.h"

#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace e2e {

std::optional<pid_t> FindProcessByProgram(const std::string& fragment) {
    std::optional<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc) return std::nullopt;
    int matches = 0;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || pid == getpid()) continue;
        std::ifstream f("/proc/" + std::string(entry->d_name) + "/cmdline", std::ios::binary);
        std::string program;
        std::getline(f, program, '\0');
        if (program.find(fragment) == std::string::npos) continue;
        found = pid;
        ++matches;
    }
    closedir(proc);
    if (matches != 1) return std::nullopt;
    return found;
}

namespace {

struct Region {
    uintptr_t from = 0, to = 0;
    std::string line;
};

std::vector<Region> ReadableRegions(pid_t pid) {
    std::vector<Region> out;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long from = 0, to = 0;
        char perms[8] = {};
        if (std::sscanf(line.c_str(), "%llx-%llx %7s", &from, &to, perms) != 3 || perms[0] != 'r') continue;
        out.push_back({static_cast<uintptr_t>(from), static_cast<uintptr_t>(to), line});
    }
    return out;
}

std::string Printable(const char* data, size_t size) {
    std::string s(data, size);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '.';
    return s;
}

// Every piece of one length of the needles, found in one pass with a rolling
// hash: a bit table weeds out nearly every position before the lookup.
class PieceSearch {
public:
    PieceSearch(size_t length, const std::vector<Needle>& needles) : length(length), bits(size_t{1} << 22) {
        for (uint64_t i = 0; i < length; ++i) power = i == 0 ? 1 : power * kBase;
        for (size_t n = 0; n < needles.size(); ++n) {
            const std::string& b = needles[n].bytes;
            if (PieceOf(needles[n]) != length) continue;
            for (size_t at = 0; at + length <= b.size(); ++at) {
                const uint64_t h = Hash(b.data() + at);
                bits[h >> 42] = true;
                pieces[h].push_back({n, at});
            }
        }
    }

    static size_t PieceOf(const Needle& n) {
        return n.piece == 0 || n.piece > n.bytes.size() ? n.bytes.size() : n.piece;
    }

    // Calls found(needle, offset in data, offset in needle) for each match starting before `limit`.
    template <typename Found>
    void Run(const char* data, size_t size, size_t limit, const std::vector<Needle>& needles, Found found) const {
        if (pieces.empty() || size < length) return;
        uint64_t h = Hash(data);
        for (size_t at = 0; at < limit && at + length <= size; ++at) {
            if (at > 0) h = (h - power * Byte(data[at - 1])) * kBase + Byte(data[at + length - 1]);
            if (!bits[h >> 42]) continue;
            auto it = pieces.find(h);
            if (it == pieces.end()) continue;
            for (const auto& [n, from] : it->second)
                if (std::memcmp(data + at, needles[n].bytes.data() + from, length) == 0) {
                    found(n, at, from);
                    break;
                }
        }
    }

private:
    static constexpr uint64_t kBase = 0x100000001b3ull;
    static uint64_t Byte(char c) { return static_cast<unsigned char>(c) + 1; }
    uint64_t Hash(const char* p) const {
        uint64_t h = 0;
        for (size_t i = 0; i < length; ++i) h = h * kBase + Byte(p[i]);
        return h;
    }

    size_t length;
    uint64_t power = 1;  // kBase to the power length - 1
    std::vector<bool> bits;
    std::unordered_map<uint64_t, std::vector<std::pair<size_t, size_t>>> pieces;
};

}  // namespace

std::vector<MemoryHit> SearchProcessMemory(pid_t pid, const std::vector<Needle>& needles, size_t* readBytes) {
    std::vector<MemoryHit> hits;
    if (readBytes) *readBytes = 0;
    const int fd = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
    if (fd < 0) return hits;
    size_t longest = 0;
    std::vector<PieceSearch> searches;
    for (const Needle& n : needles) {
        longest = std::max(longest, n.bytes.size());
        const size_t piece = PieceSearch::PieceOf(n);
        if (piece == 0) continue;
        bool known = false;
        for (const Needle& m : needles) known = known || (&m < &n && PieceSearch::PieceOf(m) == piece);
        if (!known) searches.emplace_back(piece, needles);
    }
    // Chunks overlap by the longest needle, so a run that straddles two is
    // seen whole; a run is reported once, where it starts.
    constexpr size_t kChunk = 4u << 20;
    constexpr size_t kAround = 48;
    std::vector<char> buffer(kChunk + longest);
    std::vector<uintptr_t> reportedUpTo(needles.size(), 0);
    for (const Region& r : ReadableRegions(pid)) {
        for (uintptr_t at = r.from; at < r.to; at += kChunk) {
            const size_t want = std::min<uintptr_t>(r.to - at, kChunk + longest);
            const ssize_t got = pread(fd, buffer.data(), want, static_cast<off_t>(at));
            if (got <= 0) break;
            const size_t size = static_cast<size_t>(got);
            if (readBytes) *readBytes += std::min(size, kChunk);
            for (const PieceSearch& search : searches) {
                search.Run(buffer.data(), size, std::min(size, kChunk), needles,
                           [&](size_t n, size_t offset, size_t from) {
                               if (at + offset < reportedUpTo[n]) return;
                               const std::string& b = needles[n].bytes;
                               // The whole run of the needle's bytes around the piece.
                               size_t before = 0, after = 0;
                               while (before < from && before < offset &&
                                      buffer[offset - before - 1] == b[from - before - 1])
                                   ++before;
                               const size_t piece = PieceSearch::PieceOf(needles[n]);
                               while (from + piece + after < b.size() && offset + piece + after < size &&
                                      buffer[offset + piece + after] == b[from + piece + after])
                                   ++after;
                               const size_t start = offset - before, length = before + piece + after;
                               reportedUpTo[n] = at + start + length;
                               const size_t shownFrom = start > kAround ? start - kAround : 0;
                               const size_t shownTo = std::min(size, start + length + kAround);
                               hits.push_back({needles[n].name, at + start, length, r.line,
                                               Printable(buffer.data() + shownFrom, shownTo - shownFrom)});
                           });
            }
        }
    }
    close(fd);
    return hits;
}

std::string Utf16Le(const std::string& utf8) {
    std::string out;
    auto unit = [&](uint32_t u) {
        out += static_cast<char>(u & 0xff);
        out += static_cast<char>(u >> 8);
    };
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c < 0xe0 ? 1 : c < 0xf0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3f);
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xd800 + (cp >> 10));
            unit(0xdc00 + (cp & 0x3ff));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::string Describe(const std::vector<MemoryHit>& hits) {
    std::ostringstream s;
    for (const MemoryHit& h : hits) {
        char address[32];
        std::snprintf(address, sizeof(address), "%#llx", static_cast<unsigned long long>(h.address));
        s << h.needle << ", " << h.length << " bytes, at " << address << " in [" << h.region << "]\n    \""
          << h.around << "\"\n";
    }
    return s.str();
}

}  // namespace e2e
