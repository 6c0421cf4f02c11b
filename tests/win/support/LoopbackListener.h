#pragma once
// A listening TCP socket on 127.0.0.1 at a port the system picks, for tests
// that play a server inside their own process. Include before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>

class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 16);
    // Closes the socket if still open and balances the Winsock start.
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    SOCKET Socket() const { return listener; }
    bool Open() const { return listener != INVALID_SOCKET; }
    int Port() const { return port; }
    std::string Url(const std::string& path = {}, const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port) + path;
    }
    // The next connection if one arrives within waitMicroseconds (0: only one already waiting);
    // INVALID_SOCKET otherwise, so a loop can look at its stop flag between waits.
    SOCKET AcceptWithin(long waitMicroseconds) const;
    // Blocks until a connection comes or the socket is closed (INVALID_SOCKET then).
    SOCKET Accept() const { return accept(listener, nullptr, nullptr); }
    // Closing wakes a thread blocked in Accept().
    void Close();

private:
    std::atomic<SOCKET> listener{INVALID_SOCKET};
    int port = 0;
};
