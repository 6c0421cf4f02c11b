#include "app/Logger.h"

#include <windows.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "BuildConfig.h"
#include "app/LogFormat.h"
#include "patch/HttpTransport.h"

Logger& Logger::Instance() {
    // Never destroyed: detached post threads may still use it while the process ends.
    static Logger* instance = new Logger();
    return *instance;
}

Logger::Logger() : apiEndpoint(VRENN_BUILTIN_SERVER_URL) {}

void Logger::Info(const std::string& message) { Log("INFO", message); }
void Logger::Warn(const std::string& message) { Log("WARN", message); }
void Logger::Error(const std::string& message) { Log("ERROR", message); }
void Logger::Fatal(const std::string& message) { Log("FATAL", message); }

void Logger::Log(const std::string& level, const std::string& message) {
    std::string timestamp = GetTimestamp();
    OutputDebugStringA(FormatLogLine(timestamp, level, message).c_str());
    if (IsRemoteLevel(level)) SendToApiAsync(level, message, timestamp);
}

void Logger::SendSync(const std::string& level, const std::string& message) {
    std::string timestamp = GetTimestamp();
    OutputDebugStringA(FormatLogLine(timestamp, level, message).c_str());
    SendToApiHttp(level, message, timestamp);
}

void Logger::SetApiEndpoint(const std::string& url) {
    std::lock_guard<std::mutex> lock(endpointMutex);
    apiEndpoint = url;
}

std::string Logger::EscapeJson(const std::string& text) { return EscapeJsonLog(text); }

std::string Logger::GetTimestamp() {
    auto now = std::chrono::system_clock::now();
    auto sinceEpoch = now.time_since_epoch();
    auto millisTotal = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    std::time_t seconds = static_cast<std::time_t>(millisTotal / 1000);
    std::tm local{};
    localtime_s(&local, &seconds);
    return FormatLogTimestamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec, static_cast<int>(millisTotal % 1000));
}

void Logger::SendToApiAsync(const std::string& level, const std::string& message, const std::string& timestamp) {
    // Bounded: an unreachable server must not pile up threads and connections.
    if (postsInFlight.fetch_add(1) >= kMaxPostsInFlight) {
        postsInFlight.fetch_sub(1);
        return;
    }
    try {
        Logger* self = this;
        std::thread([self, level, message, timestamp]() {
            self->SendToApiHttp(level, message, timestamp);
            self->postsInFlight.fetch_sub(1);
        }).detach();
    } catch (...) {
        postsInFlight.fetch_sub(1);
    }
}

void Logger::SendToApiHttp(const std::string& level, const std::string& message, const std::string& timestamp) {
    std::string endpoint;
    {
        std::lock_guard<std::mutex> lock(endpointMutex);
        endpoint = apiEndpoint;
    }
    if (endpoint.empty()) return;

    std::string url = endpoint + "/api/launcher/log";
    std::string body = FormatLogRecord(level, message, timestamp);
    std::wstring headers = L"Content-Type: application/json\r\n";
    HttpExchange exchange;
    exchange.verb = L"POST";
    exchange.headers = &headers;
    exchange.body = &body;
    PerformHttpRequest(url, &HttpTimeoutTable::kLogPost, exchange);
}
