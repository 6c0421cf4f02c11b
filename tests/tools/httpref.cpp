// httpref.exe --url SERVER_URL --list FILE_LIST --dir OUT_DIR [--threads N] [--read-size BYTES] [--swap]
// A plain WinHTTP client, the yardstick for the launcher's downloads: N threads
// (default 4) take files from the same list, each thread keeps one session, each
// file is one GET of SERVER_URL + "/files/" + path, read in chunks of what
// WinHttpQueryDataAvailable reports (or of BYTES with --read-size) and written
// with WriteFile to OUT_DIR + path. Nothing is checked, renamed or reported on
// the way. With --swap each file is written to path + ".part" and then moved
// over path with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, as the
// launcher must: what that swap alone costs on this platform.
// FILE_LIST holds "path,size,..." lines, as the server's file list.
// Prints one key=value line: files, failed, bytes, chunks, ms (inside this process).
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "patch/TextHelpers.h"

namespace {

struct Job {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring base;  // URL path before "/files/"
    std::wstring dir;
    std::vector<std::string> paths;
    DWORD readSize = 0;  // 0: what the platform reports as available
    bool swap = false;
    std::atomic<size_t> next{0};
    std::atomic<size_t> failed{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> chunks{0};
};

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int len = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), len);
    return out;
}

bool FetchOne(Job& job, HINTERNET session, const std::string& path, std::vector<char>& buffer) {
    std::wstring target = job.dir + Wide(path);
    for (wchar_t& c : target)
        if (c == L'/') c = L'\\';
    const std::wstring local = job.swap ? target + L".part" : target;
    HANDLE file = CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(local).parent_path(), ec);
        file = CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
    }
    bool ok = false;
    HINTERNET connection = WinHttpConnect(session, job.host.c_str(), job.port, 0);
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", (job.base + Wide(UrlEncodePath(path))).c_str(),
                                                        nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        ok = true;
        uint64_t got = 0, count = 0;
        for (;;) {
            DWORD want = job.readSize;
            if (want == 0) {
                if (!WinHttpQueryDataAvailable(request, &want) || want == 0) break;
            }
            if (buffer.size() < want) buffer.resize(want);
            DWORD read = 0;
            if (!WinHttpReadData(request, buffer.data(), want, &read)) {
                ok = false;
                break;
            }
            if (read == 0) break;
            DWORD written = 0;
            if (!WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) {
                ok = false;
                break;
            }
            got += read;
            ++count;
        }
        job.bytes += got;
        job.chunks += count;
    }
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    CloseHandle(file);
    if (ok && job.swap)
        ok = MoveFileExW(local.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    return ok;
}

void Worker(Job& job) {
    HINTERNET session =
        WinHttpOpen(L"httpref/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    std::vector<char> buffer;
    for (size_t i; (i = job.next++) < job.paths.size();) {
        if (!session || !FetchOne(job, session, job.paths[i], buffer)) ++job.failed;
    }
    if (session) WinHttpCloseHandle(session);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring url, list, dir;
    unsigned threads = 4;
    Job job;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--swap") {
            job.swap = true;
            continue;
        }
        if (i + 1 >= argc) break;
        if (arg == L"--url") url = argv[i + 1];
        else if (arg == L"--list") list = argv[i + 1];
        else if (arg == L"--dir") dir = argv[i + 1];
        else if (arg == L"--threads") threads = static_cast<unsigned>(std::wcstoul(argv[i + 1], nullptr, 10));
        else if (arg == L"--read-size") job.readSize = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
        ++i;
    }
    URL_COMPONENTS parts{};
    wchar_t host[256], path[1024];
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1024;
    if (url.empty() || list.empty() || dir.empty() || threads == 0 ||
        !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        std::fprintf(stderr, "usage: httpref --url URL --list FILE_LIST --dir OUT_DIR [--threads N] [--read-size B] [--swap]\n");
        return 2;
    }
    job.host = host;
    job.port = parts.nPort;
    job.base = std::wstring(path) + L"/files/";
    if (job.base.rfind(L"//", 0) == 0) job.base.erase(0, 1);
    job.dir = dir;
    if (job.dir.back() != L'\\' && job.dir.back() != L'/') job.dir += L'\\';

    std::ifstream in(std::filesystem::path(list), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::string rel = line.substr(0, line.find(','));
        if (!rel.empty()) job.paths.push_back(rel);
    }
    if (job.paths.empty()) {
        std::fprintf(stderr, "httpref: the file list is empty or cannot be read\n");
        return 2;
    }

    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) workers.emplace_back(Worker, std::ref(job));
    for (auto& w : workers) w.join();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    std::printf("files=%zu failed=%zu bytes=%llu chunks=%llu ms=%lld\n", job.paths.size(), job.failed.load(),
                static_cast<unsigned long long>(job.bytes.load()), static_cast<unsigned long long>(job.chunks.load()),
                static_cast<long long>(ms));
    return job.failed == 0 ? 0 : 3;
}
