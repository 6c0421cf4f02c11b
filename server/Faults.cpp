// The fault switches shared by the file list, the game files and the launcher builds.
#include "server/Faults.h"

#include <dirent.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

std::map<std::string, std::string> ReadModes(const nlohmann::json& j, const char* key) {
    std::map<std::string, std::string> modes;
    if (!j.contains(key) || !j[key].is_object()) return modes;
    for (auto& [name, mode] : j[key].items())
        if (mode.is_string()) modes[name] = mode.get<std::string>();
    return modes;
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

// Waits until the client closes its side or the time runs out. The limit lies
// beyond every client's receive time-out (the platform default of 30 s included).
void StallUntilClientGoes(int remotePort, int localPort) {
    int fd = ConnectionFd(remotePort, localPort);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        pollfd p{fd, POLLRDHUP, 0};
        if (poll(&p, 1, 100) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
    }
}

// Resets the connection while httplib still owns the socket: disconnecting a
// TCP socket sends a reset, and httplib's own close afterwards does nothing more.
// The reset waits until the client holds every byte sent and has had time to ask
// for more: Wine reports a reset as a failed read only to a read that waits for
// data; one that comes between reads is taken as the end of the body.
void ResetConnection(int fd) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int unsent = 0;
    while (ioctl(fd, SIOCOUTQ, &unsent) == 0 && unsent > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    connect(fd, &unspec, sizeof(unspec));
}

bool SendRaw(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void SendHtmlError(httplib::Response& res) {
    res.status = 500;
    res.set_content(
        "<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
        "<body><h1>Internal Server Error</h1><p>The server could not complete the request.</p></body></html>\n",
        "text/html");
}

}  // namespace

Faults Faults::Read(const ServerContext& ctx) {
    Faults faults;
    nlohmann::json j = ctx.ReadDataJson("faults.json");
    if (!j.is_object()) return faults;
    if (j.contains("manifest") && j["manifest"].is_string()) faults.manifest = j["manifest"].get<std::string>();
    faults.files = ReadModes(j, "files");
    faults.builds = ReadModes(j, "builds");
    return faults;
}

BodySource StringSource(std::shared_ptr<const std::string> body) {
    return [body](uint64_t offset, char* out, size_t want) -> size_t {
        if (offset >= body->size()) return 0;
        const size_t n = std::min<uint64_t>(want, body->size() - offset);
        std::memcpy(out, body->data() + offset, n);
        return n;
    };
}

void DropConnection(const httplib::Request& req) {
    int fd = ConnectionFd(req.remote_port, req.local_port);
    if (fd < 0) return;
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    shutdown(fd, SHUT_RDWR);
}

// Holds the request open: a status line, then one more header line every half
// second until the client goes (at most 5 min), written behind httplib's back.
// Each read of the client gets a few bytes within its time-out, so no time-out
// ends the request.
static void Hold(const httplib::Request& req) {
    const int fd = ConnectionFd(req.remote_port, req.local_port);
    if (fd < 0) return;
    const std::string status = "HTTP/1.1 200 OK\r\n", line = "X-Wait: 1\r\n";
    if (send(fd, status.data(), status.size(), MSG_NOSIGNAL) < 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLRDHUP, 0};
        if (poll(&p, 1, 500) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
        if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) break;
    }
    DropConnection(req);
}

void ServeBody(const httplib::Request& req, httplib::Response& res, const std::string& contentType, uint64_t size,
               BodySource source, const std::string& fault, uint64_t cutAt) {
    if (fault == "hold") {
        Hold(req);
        return;
    }
    if (fault == "html") {
        SendHtmlError(res);
        return;
    }
    if (fault == "404") {
        SendError(res, 404, "not found");
        return;
    }
    if (fault == "status500" || fault == "status404") {
        // Whole, in memory: the server's error handler fills in an error text for
        // an answer of 400 and above whose body is still empty.
        std::string body;
        std::vector<char> buffer(64 * 1024);
        while (size_t got = source(body.size(), buffer.data(), buffer.size())) body.append(buffer.data(), got);
        res.status = fault == "status500" ? 500 : 404;
        res.set_content(body, contentType);
        return;
    }
    const int remotePort = req.remote_port, localPort = req.local_port;
    if (fault == "chunked") {
        // The whole body in chunks, no length; an empty one is its last chunk alone.
        auto buffer = std::make_shared<std::vector<char>>(256 * 1024);
        res.set_chunked_content_provider(contentType, [source, size, buffer](size_t offset, httplib::DataSink& sink) {
            if (offset >= size) {
                sink.done();
                return true;
            }
            const size_t got = source(offset, buffer->data(), std::min<uint64_t>(size - offset, buffer->size()));
            return got > 0 && sink.write(buffer->data(), got);
        });
        return;
    }
    if (size == 0) {
        if (fault == "stall") {
            // Chunked, so nothing says the body is empty: headers, then silence.
            res.set_chunked_content_provider(contentType, [remotePort, localPort](size_t, httplib::DataSink&) {
                StallUntilClientGoes(remotePort, localPort);
                return false;
            });
            return;
        }
        res.set_content("", contentType);
        return;
    }
    cutAt = std::min(cutAt, size);

    if (fault == "chunkcut") {
        res.set_chunked_content_provider(contentType, [source, size, cutAt, remotePort, localPort](
                                                          size_t, httplib::DataSink&) {
            // Written past httplib, which frames each write as a chunk of its own.
            int fd = ConnectionFd(remotePort, localPort);
            if (fd < 0) return false;
            char head[32];
            std::snprintf(head, sizeof(head), "%llx\r\n", static_cast<unsigned long long>(size));
            bool sent = SendRaw(fd, head, std::strlen(head));
            std::vector<char> buffer(64 * 1024);
            for (uint64_t offset = 0; sent && offset < cutAt;) {
                size_t got = source(offset, buffer.data(), static_cast<size_t>(std::min<uint64_t>(cutAt - offset, buffer.size())));
                if (got == 0) break;
                sent = SendRaw(fd, buffer.data(), got);
                offset += got;
            }
            ResetConnection(fd);
            return false;
        });
        return;
    }

    const bool cuts = fault == "drop" || fault == "cut" || fault == "stall";
    const uint64_t length = fault == "truncate" ? cutAt : size;
    auto buffer = std::make_shared<std::vector<char>>(256 * 1024);
    // One chunk of the body from offset on; false ends the answer there (the connection closes).
    auto produce = [source, buffer, fault, cuts, cutAt, length, remotePort, localPort](size_t offset,
                                                                                      httplib::DataSink& sink) {
        if (cuts && offset >= cutAt) {
            if (fault == "stall") StallUntilClientGoes(remotePort, localPort);
            return false;
        }
        size_t want = static_cast<size_t>(std::min<uint64_t>(length - offset, buffer->size()));
        if (cuts) want = static_cast<size_t>(std::min<uint64_t>(want, cutAt - offset));
        size_t got = source(offset, buffer->data(), want);
        if (got == 0) return false;
        if (fault == "flip" && cutAt >= offset && cutAt < offset + got) (*buffer)[cutAt - offset] ^= 0x5a;
        return sink.write(buffer->data(), got);
    };
    // Wine's WinHTTP reads Content-Length as a signed 32-bit number and stops one
    // byte short of 2 GiB, so larger bodies go out chunked, without a length.
    if (length >= (uint64_t(1) << 31)) {
        res.set_chunked_content_provider(contentType, [produce, length](size_t offset, httplib::DataSink& sink) {
            if (offset >= length) {
                sink.done();
                return true;
            }
            return produce(offset, sink);
        });
        return;
    }
    res.set_content_provider(static_cast<size_t>(length), contentType,
                             [produce](size_t offset, size_t, httplib::DataSink& sink) { return produce(offset, sink); });
}
