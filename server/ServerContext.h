#pragma once
// Shared state of the stand-in launcher server: its folders, what it records
// for the tests, and the route groups that register themselves.
#include <httplib.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct ServerContext {
    std::filesystem::path root;  // the game folder it serves
    std::filesystem::path data;  // configuration, news, accounts (JSON files)
    std::filesystem::path out;   // where it writes what it received
    int port = 5001;

    std::mutex recordMutex;
    // Appends one JSON line to out/name.
    void Record(const std::string& name, const nlohmann::json& line);
    // Reads data/name; empty when missing.
    std::string ReadDataFile(const std::string& name) const;
    // Parses data/name; null when missing or not JSON.
    nlohmann::json ReadDataJson(const std::string& name) const;
};

using RouteGroup = std::function<void(httplib::Server&, ServerContext&)>;

// Each route file registers its group from a static initialiser.
std::vector<RouteGroup>& RouteGroups();
struct RouteRegistrar {
    explicit RouteRegistrar(RouteGroup group) { RouteGroups().push_back(std::move(group)); }
};

// A JSON error answer: {"error": "..."}.
void SendError(httplib::Response& res, int status, const std::string& message);
