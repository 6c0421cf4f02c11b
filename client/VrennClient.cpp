// VrennClient.exe, the stand-in game client. It records how it was started in
// "client_report.json" beside itself: its full command line and the four
// session variables (null when absent), as UTF-8 JSON. Then it stays alive for
// VRENN_CLIENT_STAY_MS milliseconds, or for the number in "client_stay_ms.txt"
// beside it (the variable wins), so a launcher can be seen waiting for it.
#include <windows.h>

#include <cstdio>
#include <string>

static std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return "";
    int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len > 0 ? len : 0), '\0');
    if (len > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), len, nullptr, nullptr);
    return out;
}

static std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof(buf), "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

static bool ReadVariable(const wchar_t* name, std::wstring& value) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        // Set but empty also reads as 0; only a missing variable sets this error.
        value.clear();
        return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    }
    value.assign(size, L'\0');
    DWORD got = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(got);
    return true;
}

static std::wstring OwnFolder() {
    wchar_t path[MAX_PATH * 4];
    DWORD len = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof(path) / sizeof(path[0])));
    std::wstring p(path, len);
    size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : p.substr(0, slash + 1);
}

static bool WriteWhole(const std::wstring& path, const std::string& text) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == text.size();
}

static DWORD StayMilliseconds(const std::wstring& folder) {
    std::wstring value;
    if (ReadVariable(L"VRENN_CLIENT_STAY_MS", value) && !value.empty()) return wcstoul(value.c_str(), nullptr, 10);
    FILE* f = _wfopen((folder + L"client_stay_ms.txt").c_str(), L"rb");
    if (!f) return 0;
    unsigned long ms = 0;
    if (std::fscanf(f, "%lu", &ms) != 1) ms = 0;
    std::fclose(f);
    return ms;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring folder = OwnFolder();
    std::string report = "{\"commandLine\":" + JsonString(ToUtf8(GetCommandLineW())) + ",\"env\":{";
    const wchar_t* names[] = {L"VRENN_USERID", L"VRENN_USERNAME", L"VRENN_TOKEN", L"VRENN_WEBROOT"};
    for (size_t i = 0; i < 4; ++i) {
        std::wstring value;
        bool present = ReadVariable(names[i], value);
        report += (i ? ",\"" : "\"") + ToUtf8(names[i]) + "\":" + (present ? JsonString(ToUtf8(value)) : "null");
    }
    report += "}}\n";
    // Written under another name first, so a reader never sees half a report.
    std::wstring finalPath = folder + L"client_report.json";
    std::wstring partPath = finalPath + L".part";
    if (!WriteWhole(partPath, report) || !MoveFileExW(partPath.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 1;
    DWORD stay = StayMilliseconds(folder);
    if (stay) Sleep(stay);
    return 0;
}
