#pragma once
// The process-wide logger: every line to the debugger output, ERROR and FATAL
// lines also posted to the launcher server's log endpoint.
#include <atomic>
#include <mutex>
#include <string>

class Logger {
public:
    static Logger& Instance();

    void Info(const std::string& message);
    void Warn(const std::string& message);
    void Error(const std::string& message);
    void Fatal(const std::string& message);

    void Log(const std::string& level, const std::string& message);
    // Writes the line and posts it on the calling thread, whatever the level (crash filter).
    void SendSync(const std::string& level, const std::string& message);
    void SetApiEndpoint(const std::string& url);

    static std::string EscapeJson(const std::string& text);
    static std::string GetTimestamp();

    // Remote posts allowed in flight at once; beyond it a post is dropped, never queued.
    static constexpr int kMaxPostsInFlight = 8;

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

private:
    Logger();
    void SendToApiAsync(const std::string& level, const std::string& message, const std::string& timestamp);
    void SendToApiHttp(const std::string& level, const std::string& message, const std::string& timestamp);

    std::string apiEndpoint;
    std::mutex endpointMutex;
    std::atomic<int> postsInFlight{0};
};
