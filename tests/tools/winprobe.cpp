// winprobe.exe TITLE COMMAND ...: looks at the top-level window with exactly
// this title from outside, as the system sees it. Exit 1 when there is none.
//   hittest X Y [X Y ...]   one line per client point: "X Y CODE", CODE being
//                           the WM_NCHITTEST answer (1 client, 2 caption)
//   state                   "visible=V iconic=I x=X y=Y w=W h=H" (window rectangle)
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    HWND window = FindWindowW(nullptr, argv[1]);
    if (!window) return 1;
    if (wcscmp(argv[2], L"hittest") == 0) {
        for (int i = 3; i + 1 < argc; i += 2) {
            POINT p{_wtoi(argv[i]), _wtoi(argv[i + 1])};
            ClientToScreen(window, &p);
            const LRESULT code = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
            std::printf("%ls %ls %lld\n", argv[i], argv[i + 1], static_cast<long long>(code));
        }
        return 0;
    }
    if (wcscmp(argv[2], L"state") == 0) {
        RECT r{};
        GetWindowRect(window, &r);
        std::printf("visible=%d iconic=%d x=%ld y=%ld w=%ld h=%ld\n", IsWindowVisible(window) ? 1 : 0,
                    IsIconic(window) ? 1 : 0, r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    return 2;
}
