// Server and account texts on their way into the game's command line: whenever
// the launch lets them through, the client's reading of the command line (the
// platform's argument rules) gives back exactly the three arguments meant, and
// the launch parameters split into the entries meant, each value whole.
// The input is split at 0x01 bytes into ip, port, user id, username, signature,
// server name and web-root URL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "patch/LaunchParams.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// The platform's rules for a command line: the program name runs to its
// closing quote; after it, 2n backslashes before a quote give n and the quote
// toggles quoting ("" inside quotes gives one quote), 2n+1 give n and a
// literal quote, other backslashes stay; blanks outside quotes end an argument.
std::vector<std::wstring> SplitLikeTheClient(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    std::wstring program;
    if (i < line.size() && line[i] == L'"') {
        for (++i; i < line.size() && line[i] != L'"'; ++i) program += line[i];
        if (i < line.size()) ++i;
    } else {
        for (; i < line.size() && line[i] != L' ' && line[i] != L'\t'; ++i) program += line[i];
    }
    args.push_back(program);
    for (;;) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i >= line.size()) break;
        std::wstring arg;
        bool quoted = false;
        while (i < line.size()) {
            const wchar_t c = line[i];
            if (c == L'\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == L'\\') ++n, ++i;
                if (i < line.size() && line[i] == L'"') {
                    arg.append(n / 2, L'\\');
                    if (n % 2 == 1) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(n, L'\\');
                }
                continue;
            }
            if (c == L'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (c == L' ' || c == L'\t')) break;
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

// Byte for byte: only the structure of the text matters here, not its letters.
std::wstring Widen(const std::string& text) {
    std::wstring out;
    for (unsigned char c : text) out += static_cast<wchar_t>(c);
    return out;
}

std::vector<std::string> Entries(const std::string& params) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t at; (at = params.find("&;", start)) != std::string::npos; start = at + 2)
        out.push_back(params.substr(start, at - start));
    FUZZ_CHECK(start == params.size());  // every entry ends with the separator
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0x01 && fields.size() < 7) {
            fields.emplace_back();
        } else {
            fields.back() += static_cast<char>(data[i]);
        }
    }
    fields.resize(7);
    LaunchParamsInput in;
    in.ip = fields[0];
    in.port = fields[1];
    in.userId = fields[2];
    in.username = fields[3];
    in.signature = fields[4];
    in.serverName = fields[5];
    in.serverId = static_cast<int32_t>(size * 2654435761u);
    in.now = 1765400000;
    const std::string& webRoot = fields[6];

    if (FindUnsafeLaunchValue(in, webRoot).fault != LaunchValueFault::None) return 0;

    const std::string params = BuildLaunchParams(in);
    const std::wstring exe = L"Z:\\Jogos\\[BR] Vrenn\\VrennClient.exe";
    const std::vector<std::wstring> args = SplitLikeTheClient(BuildGameCommandLine(exe, Widen(params), Widen(webRoot)));
    FUZZ_CHECK(args.size() == 3);
    FUZZ_CHECK(args[0] == exe);
    FUZZ_CHECK(args[1] == Widen(params));
    FUZZ_CHECK(args[2] == Widen(webRoot));

    // The same entries, in the same order, as with harmless values.
    LaunchParamsInput plain = in;
    plain.ip = plain.port = plain.userId = plain.username = plain.signature = plain.serverName = "x";
    const std::vector<std::string> got = Entries(params), meant = Entries(BuildLaunchParams(plain));
    FUZZ_CHECK(got.size() == meant.size());
    for (size_t i = 0; i < got.size() && i < meant.size(); ++i) {
        const std::string key = meant[i].substr(0, meant[i].find('=') + 1);
        FUZZ_CHECK(got[i].compare(0, key.size(), key) == 0);
    }
    const std::pair<size_t, std::string> values[] = {
        {1, SpacesToPlus(in.username)}, {2, in.ip}, {3, in.port}, {4, in.userId}, {5, in.signature},
        {7, SpacesToPlus(in.serverName)},
    };
    for (const auto& [index, value] : values) {
        const std::string& entry = got[index];
        FUZZ_CHECK(entry.substr(entry.find('=') + 1) == value);
    }
    return 0;
}
