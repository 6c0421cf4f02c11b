// Replacing the running launcher with the build the configuration names:
// download beside it, check it, write the swap script, hand over to PowerShell.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/Startup.h"
#include "app/UpdateScript.h"
#include "patch/CngHash.h"
#include "patch/HttpTransport.h"

namespace {

// url into destination + ".part", then moved over destination. No time-outs:
// a launcher build may take long, the platform's limits apply.
bool DownloadFileSync(const std::string& url, const std::wstring& destination) {
    const std::wstring part = destination + L".part";
    FILE* file = nullptr;
    bool openFailed = false;
    bool writeFailed = false;
    // The file is opened once the response headers are in, so a failed request leaves nothing behind.
    auto openPart = [&]() {
        if (!file && !openFailed) {
            file = _wfopen(part.c_str(), L"wb");
            openFailed = file == nullptr;
        }
        return file != nullptr;
    };

    HttpExchange exchange;
    exchange.sink = [&](const char* data, size_t size) {
        if (!openPart()) return false;
        if (std::fwrite(data, 1, size, file) != size) {
            writeFailed = true;
            return false;
        }
        return true;
    };
    // Only a 200 answer read whole is a build: an error status, a failed read or a
    // body short of its length must not reach the script, hash or no hash.
    exchange.wholeBody = true;
    if (!PerformHttpRequest(url, nullptr, exchange)) {
        if (file) {
            std::fclose(file);
            DeleteFileW(part.c_str());
        }
        return false;
    }
    if (!openPart()) return false;

    // A short write would leave a truncated build that still starts with "MZ".
    const bool closed = std::fclose(file) == 0;
    if (writeFailed || !closed) {
        DeleteFileW(part.c_str());
        return false;
    }

    std::error_code ec;
    (void)std::filesystem::file_size(std::filesystem::path(part), ec);
    if (ec) return false;

    if (!MoveFileExW(part.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(part.c_str());
        return false;
    }
    return true;
}

bool StartsWithMZ(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    unsigned char head[2] = {};
    const bool valid = std::fread(head, 1, 2, file) == 2 && head[0] == 0x4D && head[1] == 0x5A;
    std::fclose(file);
    return valid;
}

bool WriteUpdateScript(const std::wstring& path) {
    // Text mode: every line feed reaches the disk as CR LF.
    FILE* file = _wfopen(path.c_str(), L"w");
    if (!file) return false;
    const size_t length = sizeof(kUpdateScriptText) - 1;
    const bool written = std::fwrite(kUpdateScriptText, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    // A partial script could move the old build away without putting the new one in place.
    return written && closed;
}

}  // namespace

std::string ComputeFileSha256Hex(const std::wstring& path) { return CngFileHashHex(BCRYPT_SHA256_ALGORITHM, path); }

void TriggerSelfUpdate(const std::wstring& exeDir, const std::string& downloadUrl, const std::string& expectedSha256) {
    const std::wstring newExe = exeDir + kNewLauncherFileName;
    if (!DownloadFileSync(downloadUrl, newExe)) return;

    bool valid = StartsWithMZ(newExe);
    if (valid && !expectedSha256.empty()) {
        const std::string actual = AsciiLower(ComputeFileSha256Hex(newExe));
        valid = !actual.empty() && actual == AsciiLower(expectedSha256);
    }
    if (!valid) {
        DeleteFileW(newExe.c_str());
        return;
    }

    if (!WriteUpdateScript(UpdateScriptPath(exeDir))) return;

    std::wstring commandLine = UpdateCommandLine(exeDir);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        return;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // The script waits for this process to go before it swaps the files.
    std::exit(0);
}
