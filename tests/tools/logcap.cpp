// logcap.exe LOGFILE PROGRAM [ARGS...]
// Runs PROGRAM as its debugger and writes every debug-output string it emits
// to LOGFILE exactly as sent, one after another. Exits with PROGRAM's exit code
// (or 255 when it cannot be started). This is how the tests read the
// launcher's log lines, whose only local sink is the debugger output.
#include <windows.h>

#include <cstdio>
#include <string>

static std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: logcap LOGFILE PROGRAM [ARGS...]\n");
        return 255;
    }
    FILE* log = _wfopen(argv[1], L"ab");
    if (!log) return 255;

    std::wstring cmd;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) cmd += L' ';
        cmd += Quote(argv[i]);
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "logcap: cannot start program (%lu)\n", GetLastError());
        return 255;
    }

    DWORD exitCode = 255;
    bool seenInitialBreak = false;
    for (;;) {
        DEBUG_EVENT ev{};
        if (!WaitForDebugEvent(&ev, INFINITE)) break;
        DWORD cont = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT: {
                const auto& s = ev.u.DebugString;
                size_t bytes = s.fUnicode ? s.nDebugStringLength * 2 : s.nDebugStringLength;
                std::string buf(bytes, '\0');
                SIZE_T got = 0;
                ReadProcessMemory(pi.hProcess, s.lpDebugStringData, buf.data(), bytes, &got);
                buf.resize(got);
                if (!s.fUnicode) {
                    // The length counts the terminating zero.
                    size_t end = buf.find('\0');
                    if (end != std::string::npos) buf.resize(end);
                    std::fwrite(buf.data(), 1, buf.size(), log);
                    std::fflush(log);
                }
                break;
            }
            case EXCEPTION_DEBUG_EVENT:
                if (ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT && !seenInitialBreak) {
                    seenInitialBreak = true;
                } else {
                    cont = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                exitCode = ev.u.ExitProcess.dwExitCode;
                ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, cont);
                std::fclose(log);
                CloseHandle(pi.hThread);
                CloseHandle(pi.hProcess);
                return static_cast<int>(exitCode);
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, cont);
    }
    std::fclose(log);
    return static_cast<int>(exitCode);
}
