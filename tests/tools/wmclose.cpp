// wmclose.exe TITLE [--when-exists PATH]: posts WM_CLOSE to the top-level
// window with that exact title, as a click on its close button would end it.
// Exit 0 when found. With --when-exists it first waits (up to 5 min) for PATH
// and the window to be there, looking every millisecond, and then prints the
// file's size at the moment of the close: a test can close the launcher while
// that file is being written.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring when = argc >= 4 && std::wstring(argv[2]) == L"--when-exists" ? argv[3] : L"";
    WIN32_FILE_ATTRIBUTE_DATA seen{};
    HWND window = FindWindowW(nullptr, argv[1]);
    if (!when.empty()) {
        const ULONGLONG until = GetTickCount64() + 300000;
        while (!window || !GetFileAttributesExW(when.c_str(), GetFileExInfoStandard, &seen)) {
            if (GetTickCount64() > until) return 3;
            Sleep(1);
            if (!window) window = FindWindowW(nullptr, argv[1]);
        }
    }
    if (!window) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!when.empty())
        std::printf("%llu\n", (static_cast<unsigned long long>(seen.nFileSizeHigh) << 32) | seen.nFileSizeLow);
    return 0;
}
