#pragma once
// A TCP listener on 127.0.0.1 that treats each connection one way:
// Answer reads one request (headers and a Content-Length body) and sends a
// fixed answer; Silent reads and never answers; FirstBytes keeps the first
// bytes the client sends and hangs up. Include before windows.h.
#include "support/LoopbackListener.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Loopback {
public:
    enum class Mode { Answer, Silent, FirstBytes };

    explicit Loopback(Mode mode, std::string answer = {});
    ~Loopback() { Stop(); }
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    std::string Url(const std::string& path, const std::string& scheme = "http") const {
        return listener.Url(path, scheme);
    }

    // Ends every connection; afterwards the counts below are final.
    void Stop();

    int Accepted() const { return accepted.load(); }
    std::vector<std::string> Received();

private:
    void AcceptLoop();
    // One recv that gives up after 20 ms so the stop flag is seen; 0 when nothing came yet.
    int Receive(SOCKET s, std::string& into);
    static bool RequestComplete(const std::string& data);
    void Handle(SOCKET s);

    const Mode mode;
    const std::string answer;
    LoopbackListener listener;
    std::atomic<bool> stop{false};
    std::atomic<int> accepted{0};
    std::thread acceptor;
    std::vector<std::thread> connections;
    std::mutex mutex;
    std::vector<std::string> received;
};
