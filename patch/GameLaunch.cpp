// Starts the game client with the session: four inherited environment
// variables for the moment of the start, and the launch parameters and
// web-root URL on its command line.
#include <windows.h>

#include <ctime>
#include <vector>

#include "app/Logger.h"
#include "patch/CngHash.h"
#include "patch/HttpTransport.h"
#include "patch/LaunchParams.h"
#include "patch/PatchManager.h"

namespace {

const wchar_t* const kSessionVariables[] = {L"VRENN_USERID", L"VRENN_USERNAME", L"VRENN_TOKEN", L"VRENN_WEBROOT"};

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveSessionVariables() {
    for (const wchar_t* name : kSessionVariables) SetEnvironmentVariableW(name, nullptr);
}

}  // namespace

// MD5 of the file's bytes, read in 64 KiB chunks, as 32 lower-case hex digits; "" on any failure.
static std::string ComputeFileMd5Hex(const std::wstring& path) { return CngFileHashHex(BCRYPT_MD5_ALGORITHM, path); }

// The archive's MD5, but only when its MD5-named companion lies beside it.
static std::string GetFileMappingMD5(const std::wstring& gameDir) {
    const std::wstring folder = gameDir + L"VrennServer\\www\\zurezezera\\zadedoro\\";
    const std::wstring archive = folder + L"filemapping.xml.gz";
    if (!PathExists(archive)) return "";
    std::string md5 = ComputeFileMd5Hex(archive);
    if (md5.empty()) return "";
    std::wstring companion = folder + std::wstring(md5.begin(), md5.end()) + L".xml.gz";
    return PathExists(companion) ? md5 : "";
}

bool PatchManager::LaunchGame(const std::string& ip, const std::string& port, const std::string& userId,
                              const std::string& username, const std::string& signature,
                              const std::string& serverName, int32_t serverId, const std::string& webRootUrl,
                              std::string& error) {
    // The reason goes straight back to the caller: the status message is the
    // patch run's too, and its threads may overwrite it at any moment.
    auto fail = [&](const char* reason) {
        RemoveSessionVariables();
        SetStatusMessage(reason);
        error = reason;
        return false;
    };

    LaunchParamsInput in;
    in.ip = ip;
    in.port = port;
    in.userId = userId;
    in.username = username;
    in.signature = signature;
    in.serverName = serverName;
    in.serverId = serverId;
    in.now = static_cast<int64_t>(std::time(nullptr));
    in.fileMappingMd5 = GetFileMappingMD5(baseDir);

    // A client that would read other values than these is never started.
    const UnsafeLaunchValue unsafe = FindUnsafeLaunchValue(in, webRootUrl);
    if (unsafe.fault != LaunchValueFault::None) {
        Logger::Instance().Error("[PatchManager] Jogo não iniciado: " + DescribeUnsafeLaunchValue(unsafe) + ".");
        return fail(kUnsafeLaunchValueText);
    }

    const std::string* values[] = {&userId, &username, &signature, &webRootUrl};
    for (size_t i = 0; i < 4; ++i) SetEnvironmentVariableW(kSessionVariables[i], Utf8ToWString(*values[i]).c_str());
    std::string params = BuildLaunchParams(in);

    std::wstring exe = baseDir + L"VrennClient.exe";
    if (!PathExists(exe)) return fail("VrennClient.exe não encontrado no diretório do launcher.");

    std::wstring commandLine = BuildGameCommandLine(exe, Utf8ToWString(params), Utf8ToWString(webRootUrl));
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    BOOL created = CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process);
    RemoveSessionVariables();
    if (!created) return fail("FALHA AO INICIAR O PROCESSO DO JOGO.");
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}
