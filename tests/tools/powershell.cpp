// Stand-in for Windows PowerShell, which Wine does not have. Appends its full
// command line (UTF-8, one line per start) to the file named by the
// VRENN_FAKE_PS_RECORD environment variable and exits 0 without running anything.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int, wchar_t**) {
    wchar_t recordPath[4096];
    DWORD n = GetEnvironmentVariableW(L"VRENN_FAKE_PS_RECORD", recordPath, 4096);
    if (n == 0 || n >= 4096) return 3;

    const wchar_t* line = GetCommandLineW();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);  // the terminator

    FILE* f = _wfopen(recordPath, L"ab");
    if (!f) return 4;
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
    return 0;
}
