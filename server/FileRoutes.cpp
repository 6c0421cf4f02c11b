// "/manifest.json" generated from the served game folder (one "path,size,0,xxh64"
// line per regular file, LF-ended, sorted), DATA/manifest_extra.txt appended
// verbatim so a test can add odd lines, and "/files/" + path streaming the file.
//
// Fault switches, read once at start from DATA/faults.json:
//   {"manifest": "drop" | "html" | "hold",
//    "files": {"rel/path": "truncate" | "flip" | "stall" | "drop" | "html" | "hold"}}
// truncate: a complete answer with half the bytes; flip: one byte changed;
// stall: half the bytes, then nothing until the client gives up (at most 20 s);
// drop: half the bytes, then the connection closes; html: a 500 HTML page.
// "drop" on the manifest closes the connection before any answer is written.
// hold: a status line, then one more header line every half second, never
// ending, until the client goes (at most 5 min): each read of the client gets
// a few bytes within its time-out, so no time-out ends the request.
// Files of 2 GiB or more are sent chunked (Wine's WinHTTP cannot take their length).
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

#include "server/ServerContext.h"
#include "xxhash.h"

namespace fs = std::filesystem;

namespace {

struct Faults {
    std::string manifest;
    std::map<std::string, std::string> files;
};

Faults ReadFaults(const ServerContext& ctx) {
    Faults faults;
    nlohmann::json j = ctx.ReadDataJson("faults.json");
    if (!j.is_object()) return faults;
    if (j.contains("manifest") && j["manifest"].is_string()) faults.manifest = j["manifest"].get<std::string>();
    if (j.contains("files") && j["files"].is_object()) {
        for (auto& [path, mode] : j["files"].items())
            if (mode.is_string()) faults.files[path] = mode.get<std::string>();
    }
    return faults;
}

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

// The socket of a request's connection (httplib offers no handle on it), or -1.
int ConnectionFd(int remotePort, int localPort) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* d = readdir(dir)) {
        int fd = std::atoi(d->d_name);
        if (fd <= 2) continue;
        struct stat st{};
        if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        sockaddr_in peer{}, local{};
        socklen_t len = sizeof(peer);
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0 || peer.sin_family != AF_INET) continue;
        len = sizeof(local);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) continue;
        if (ntohs(peer.sin_port) == remotePort && ntohs(local.sin_port) == localPort) {
            found = fd;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Closes the connection before anything is written: the client sees no answer at all.
void DropConnection(const httplib::Request& req) {
    int fd = ConnectionFd(req.remote_port, req.local_port);
    if (fd < 0) return;
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    shutdown(fd, SHUT_RDWR);
}

// Waits until the client closes its side or the time runs out.
void StallUntilClientGoes(int remotePort, int localPort, std::chrono::seconds limit) {
    int fd = ConnectionFd(remotePort, localPort);
    auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        pollfd p{fd, POLLRDHUP, 0};
        if (poll(&p, 1, 100) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
    }
}

// The "hold" fault, written on the connection behind the library's back; true
// when the request was held.
bool Held(const httplib::Request& req, const std::string& fault) {
    if (fault != "hold") return false;
    const int fd = ConnectionFd(req.remote_port, req.local_port);
    if (fd < 0) return true;
    const std::string status = "HTTP/1.1 200 OK\r\n", line = "X-Wait: 1\r\n";
    if (send(fd, status.data(), status.size(), MSG_NOSIGNAL) < 0) return true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLRDHUP, 0};
        if (poll(&p, 1, 500) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
        if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) break;
    }
    DropConnection(req);
    return true;
}

void SendHtmlError(httplib::Response& res) {
    res.status = 500;
    res.set_content(
        "<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
        "<body><h1>Internal Server Error</h1><p>The server could not complete the request.</p></body></html>\n",
        "text/html");
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
    if (fault == "html") {
        SendHtmlError(res);
        return;
    }
    if (size == 0) {
        res.set_content("", "application/octet-stream");
        return;
    }
    const uint64_t half = size / 2;
    const uint64_t length = fault == "truncate" ? half : size;
    auto buffer = std::make_shared<std::vector<char>>(256 * 1024);
    // One chunk of the body from offset on; false ends the answer there (the connection closes).
    auto produce = [file, buffer, fault, half, length, remotePort = req.remote_port, localPort = req.local_port](
                       size_t offset, httplib::DataSink& sink) {
        if ((fault == "drop" || fault == "stall") && offset >= half) {
            if (fault == "stall") StallUntilClientGoes(remotePort, localPort, std::chrono::seconds(20));
            return false;
        }
        size_t want = static_cast<size_t>(std::min<uint64_t>(length - offset, buffer->size()));
        if (fault == "drop" || fault == "stall") want = std::min<size_t>(want, half - offset);
        if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        size_t got = std::fread(buffer->data(), 1, want, file.get());
        if (got == 0) return false;
        if (fault == "flip" && half >= offset && half < offset + got) (*buffer)[half - offset] ^= 0x5a;
        return sink.write(buffer->data(), got);
    };
    // Wine's WinHTTP reads Content-Length as a signed 32-bit number and stops one
    // byte short of 2 GiB, so larger files go out chunked, without a length.
    if (length >= (uint64_t(1) << 31)) {
        res.set_chunked_content_provider("application/octet-stream",
                                         [produce, length](size_t offset, httplib::DataSink& sink) {
                                             if (offset >= length) {
                                                 sink.done();
                                                 return true;
                                             }
                                             return produce(offset, sink);
                                         });
        return;
    }
    res.set_content_provider(static_cast<size_t>(length), "application/octet-stream",
                             [produce](size_t offset, size_t, httplib::DataSink& sink) { return produce(offset, sink); });
}

}  // namespace

static RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    // A client that goes away mid-body must not take the server with it.
    std::signal(SIGPIPE, SIG_IGN);
    // Headers and a short body go out as separate writes; with Nagle's delay
    // each small file would wait for the client's delayed ACK.
    server.set_tcp_nodelay(true);
    auto faults = std::make_shared<Faults>(ReadFaults(ctx));
    auto hashes = std::make_shared<HashCache>();

    server.Get("/manifest.json", [&ctx, faults, hashes](const httplib::Request& req, httplib::Response& res) {
        if (faults->manifest == "drop") {
            DropConnection(req);
            return;
        }
        if (Held(req, faults->manifest)) return;
        if (faults->manifest == "html") {
            SendHtmlError(res);
            return;
        }
        std::string text = BuildManifest(ctx.root, *hashes) + ctx.ReadDataFile("manifest_extra.txt");
        res.set_content(text, "text/plain; charset=utf-8");
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
        const std::string fault = it == faults->files.end() ? std::string() : it->second;
        if (Held(req, fault)) return;
        ServeFile(req, full, fault, res);
    });
});
