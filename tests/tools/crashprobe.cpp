// crashprobe.exe ENDPOINT: installs the launcher's crash filter and faults with
// an access violation, as a crashing launcher would.
#include <windows.h>

#include <string>

#include "app/Logger.h"
#include "app/Startup.h"

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) {
        std::string endpoint;
        for (const wchar_t* p = argv[1]; *p; ++p) endpoint += static_cast<char>(*p);
        Logger::Instance().SetApiEndpoint(endpoint);
    }
    SetUnhandledExceptionFilter(CrashHandler);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 3;
}
