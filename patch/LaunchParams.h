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

// What would make the game client read its command line differently from
// what was meant. The values go in unescaped, as the client expects, so a
// value that holds a double quote (it ends the quoted argument), a NUL (it
// ends the whole command line) or, inside the launch parameters, the entry
// separator "&;" (it adds entries), or a last argument that ends in a
// backslash (it escapes the closing quote), cannot be passed at all.
enum class LaunchValueFault { None, Quote, Nul, Separator, TrailingBackslash };

struct UnsafeLaunchValue {
    std::string field;  // the launch-parameter key, or "webroot" for the third argument
    LaunchValueFault fault = LaunchValueFault::None;
};

// What the launch reports then, in place of starting the client.
inline constexpr char kUnsafeLaunchValueText[] = "Dados da conta ou do servidor inválidos para iniciar o jogo.";

// The first value, in command-line order, that cannot be passed; fault None when all can.
UnsafeLaunchValue FindUnsafeLaunchValue(const LaunchParamsInput& in, const std::string& webRootUrl);

// The reason for the log, in Portuguese: "servername contém aspas duplas".
std::string DescribeUnsafeLaunchValue(const UnsafeLaunchValue& value);
