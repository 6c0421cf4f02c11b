// firstframe.exe X Y R G B TOLERANCE EXE [ARGS...]: starts EXE and reports, in
// milliseconds from just before the start, when the screen pixel (X, Y) first
// shows the colour (R, G B) within TOLERANCE on every channel, i.e. when the
// program's first frame reached the display. Then ends the program.
// Prints "first-frame-ms N"; exit 1 when nothing showed within 60 s.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 8) return 2;
    const int x = _wtoi(argv[1]), y = _wtoi(argv[2]);
    const int r = _wtoi(argv[3]), g = _wtoi(argv[4]), b = _wtoi(argv[5]), tol = _wtoi(argv[6]);
    std::wstring cmd;
    for (int i = 7; i < argc; ++i) cmd += (i > 7 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";

    HDC screen = GetDC(nullptr);
    LARGE_INTEGER freq, start, now;
    QueryPerformanceFrequency(&freq);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(argv[7], cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;

    double ms = -1;
    for (;;) {
        QueryPerformanceCounter(&now);
        const double elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / freq.QuadPart;
        if (elapsed > 60000) break;
        const COLORREF c = GetPixel(screen, x, y);
        if (c != CLR_INVALID && std::abs(GetRValue(c) - r) <= tol && std::abs(GetGValue(c) - g) <= tol &&
            std::abs(GetBValue(c) - b) <= tol) {
            ms = elapsed;
            break;
        }
        Sleep(1);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ReleaseDC(nullptr, screen);
    if (ms < 0) return 1;
    std::printf("first-frame-ms %.1f\n", ms);
    return 0;
}
