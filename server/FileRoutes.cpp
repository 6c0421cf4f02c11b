// "/manifest.json" generated from the served game folder (one "path,size,0,xxh64"
// line per regular file, LF-ended, sorted), DATA/manifest_extra.txt appended
// verbatim so a test can add odd lines, and "/files/" + path streaming the file.
//
// Fault switches: server/Faults.h (a game file is cut half-way, the file list
// after its first line).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "server/Faults.h"
#include "server/ServerContext.h"
#include "xxhash.h"

namespace fs = std::filesystem;

namespace {

std::string HashFile(const fs::path& p) {
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return "";
    XXH64_state_t* state = XXH64_createState();
    XXH64_reset(state, 0);
    std::vector<char> buf(1 << 20);
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) XXH64_update(state, buf.data(), n);
    std::fclose(f);
    unsigned long long digest = XXH64_digest(state);
    XXH64_freeState(state);
    char out[17];
    std::snprintf(out, sizeof(out), "%016llx", digest);
    return out;
}

// Hashes are kept between requests while a file's size and time stay the same.
struct HashCache {
    struct Entry {
        uintmax_t size;
        fs::file_time_type time;
        std::string hash;
    };
    std::mutex mutex;
    std::map<std::string, Entry> entries;

    std::string Get(const std::string& rel, const fs::path& full, uintmax_t size, fs::file_time_type time) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = entries.find(rel);
            if (it != entries.end() && it->second.size == size && it->second.time == time) return it->second.hash;
        }
        std::string hash = HashFile(full);
        std::lock_guard<std::mutex> lock(mutex);
        entries[rel] = {size, time, hash};
        return hash;
    }
};

std::string BuildManifest(const fs::path& root, HashCache& cache) {
    std::vector<std::string> lines;
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root, ec)) return "";
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        // Symbolic links are neither listed nor followed: they could point outside the folder.
        if (entry.is_symlink(ec) || !entry.is_regular_file(ec)) continue;
        std::string rel = entry.path().lexically_relative(root).generic_string();
        // The line format cannot carry these.
        if (rel.find_first_of(",\n\r") != std::string::npos) continue;
        uintmax_t size = entry.file_size(ec);
        if (ec) continue;
        fs::file_time_type time = entry.last_write_time(ec);
        std::string hash = cache.Get(rel, entry.path(), size, time);
        if (hash.empty()) continue;
        lines.push_back(rel + "," + std::to_string(size) + ",0," + hash + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& l : lines) text += l;
    return text;
}

// The file a request names, or empty when it is not a regular file inside the root.
fs::path ResolveInsideRoot(const fs::path& root, const std::string& rel) {
    if (rel.empty() || rel.find('\0') != std::string::npos || rel.front() == '/' || rel.find('\\') != std::string::npos)
        return {};
    fs::path relPath(rel);
    for (const auto& part : relPath) {
        const std::string s = part.string();
        if (s.empty() || s == "." || s == "..") return {};
    }
    if (rel.back() == '/') return {};
    std::error_code ec;
    fs::path base = fs::canonical(root, ec);
    if (ec) return {};
    fs::path full = fs::canonical(base / relPath, ec);  // follows links, which must stay inside
    if (ec) return {};
    auto mismatch = std::mismatch(base.begin(), base.end(), full.begin(), full.end());
    if (mismatch.first != base.end()) return {};
    if (!fs::is_regular_file(full, ec)) return {};
    return full;
}

void ServeFile(const httplib::Request& req, const fs::path& full, const std::string& fault, httplib::Response& res) {
    std::error_code ec;
    uint64_t size = fs::file_size(full, ec);
    std::shared_ptr<FILE> file(std::fopen(full.c_str(), "rb"), [](FILE* f) {
        if (f) std::fclose(f);
    });
    if (ec || !file) {
        SendError(res, 500, "cannot read file");
        return;
    }
    auto source = [file](uint64_t offset, char* out, size_t want) -> size_t {
        if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
        return std::fread(out, 1, want, file.get());
    };
    ServeBody(req, res, "application/octet-stream", size, source, fault, size / 2);
}

}  // namespace

static RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    // A client that goes away mid-body must not take the server with it.
    std::signal(SIGPIPE, SIG_IGN);
    // Headers and a short body go out as separate writes; with Nagle's delay
    // each small file would wait for the client's delayed ACK.
    server.set_tcp_nodelay(true);
    auto faults = std::make_shared<Faults>(Faults::Read(ctx));
    auto hashes = std::make_shared<HashCache>();

    server.Get("/manifest.json", [&ctx, faults, hashes](const httplib::Request& req, httplib::Response& res) {
        if (faults->manifest == "drop") {
            DropConnection(req);
            return;
        }
        auto text = std::make_shared<std::string>(BuildManifest(ctx.root, *hashes) +
                                                  ctx.ReadDataFile("manifest_extra.txt"));
        const size_t firstLine = text->find('\n');
        ServeBody(req, res, "text/plain; charset=utf-8", text->size(), StringSource(text), faults->manifest,
                  firstLine == std::string::npos ? text->size() / 2 : firstLine + 1);
    });

    // The path arrives percent-decoded.
    server.Get(R"(/files/(.+))", [&ctx, faults](const httplib::Request& req, httplib::Response& res) {
        const std::string rel = req.matches[1];
        fs::path full = ResolveInsideRoot(ctx.root, rel);
        if (full.empty()) {
            SendError(res, 404, "no such file: " + rel);
            return;
        }
        auto it = faults->files.find(rel);
        ServeFile(req, full, it == faults->files.end() ? std::string() : it->second, res);
    });
});
