#include "support/LoopbackServer.h"

#include <cctype>
#include <chrono>

using namespace std::chrono_literals;

Loopback::Loopback(Mode mode, std::string answer) : mode(mode), answer(std::move(answer)) {
    acceptor = std::thread([this] { AcceptLoop(); });
}

void Loopback::Stop() {
    if (!listener.Open()) return;
    stop = true;
    acceptor.join();
    // Connections still waiting in the backlog count too.
    for (;;) {
        SOCKET s = listener.AcceptWithin(0);
        if (s == INVALID_SOCKET) break;
        ++accepted;
        closesocket(s);
    }
    for (auto& t : connections) t.join();
    listener.Close();
}

std::vector<std::string> Loopback::Received() {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void Loopback::AcceptLoop() {
    while (!stop) {
        SOCKET s = listener.AcceptWithin(20000);
        if (s == INVALID_SOCKET) continue;
        ++accepted;
        connections.emplace_back([this, s] { Handle(s); });
    }
}

int Loopback::Receive(SOCKET s, std::string& into) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{0, 20000};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) return 0;
    char buf[8192];
    int n = recv(s, buf, sizeof(buf), 0);
    if (n <= 0) return -1;
    into.append(buf, static_cast<size_t>(n));
    return n;
}

bool Loopback::RequestComplete(const std::string& data) {
    size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    size_t length = 0;
    std::string head = data.substr(0, end);
    for (auto& c : head) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t at = head.find("\r\ncontent-length:");
    if (at != std::string::npos) length = std::stoul(head.substr(at + 17));
    return data.size() >= end + 4 + length;
}

void Loopback::Handle(SOCKET s) {
    std::string data;
    // Even a silent server hangs up at last, so a client without limits fails the test instead of hanging it.
    const auto giveUp = std::chrono::steady_clock::now() + 40s;
    while (!stop && std::chrono::steady_clock::now() < giveUp) {
        if (Receive(s, data) < 0) break;
        if (mode == Mode::FirstBytes && data.size() >= 3) break;
        if (mode == Mode::Answer && RequestComplete(data)) {
            send(s, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(s, SD_SEND);
            while (!stop && Receive(s, data) >= 0) {
            }
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(data);
    }
    closesocket(s);
}
