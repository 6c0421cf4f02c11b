#include "support/LoopbackListener.h"

LoopbackListener::LoopbackListener(int backlog) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    int len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    listen(s, backlog);
    listener = s;
}

LoopbackListener::~LoopbackListener() {
    Close();
    WSACleanup();
}

SOCKET LoopbackListener::AcceptWithin(long waitMicroseconds) const {
    SOCKET s = listener;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{0, waitMicroseconds};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) return INVALID_SOCKET;
    return accept(s, nullptr, nullptr);
}

void LoopbackListener::Close() {
    SOCKET s = listener.exchange(INVALID_SOCKET);
    if (s != INVALID_SOCKET) closesocket(s);
}
