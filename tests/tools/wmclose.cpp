// wmclose.exe TITLE: posts WM_CLOSE to the top-level window with that exact
// title, as a click on its close button would end it. Exit 0 when found.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HWND window = FindWindowW(nullptr, argv[1]);
    if (!window) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}
