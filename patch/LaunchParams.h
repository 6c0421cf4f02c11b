#pragma once
// The game client's launch-parameter text and command line. No Windows header.
#include <cstdint>
#include <string>

struct LaunchParamsInput {
    std::string ip;
    std::string port;
    std::string userId;
    std::string username;
    std::string signature;
    std::string serverName;
    int32_t serverId = 0;
    int64_t now = 0;              // seconds since 1970-01-01 UTC
    std::string fileMappingMd5;   // 32 hex digits or empty
};

// Every space byte becomes '+'; nothing else is touched.
std::string SpacesToPlus(const std::string& text);

// The 31 "key=value&;" entries, values inserted as they are.
std::string BuildLaunchParams(const LaunchParamsInput& in);

// "\"exe\" \"params\" \"webroot\"": three quoted arguments, nothing escaped inside.
std::wstring BuildGameCommandLine(const std::wstring& exePath, const std::wstring& params,
                                  const std::wstring& webRootUrl);
