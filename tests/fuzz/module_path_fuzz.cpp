// The launcher's own module path, as the system reports it (UTF-16 units):
// the folder taken from it and the update script's path and command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/ConfigText.h"
#include "app/UpdateScript.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path;
    for (size_t i = 0; i + 1 < size; i += 2) path += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

    // The folder is the path up to its last separator (all of it when there is
    // none), followed by "/".
    const std::wstring dir = ExeDirFromModulePath(path);
    FUZZ_CHECK(!dir.empty() && dir.back() == L'/');
    const std::wstring kept = dir.substr(0, dir.size() - 1);
    FUZZ_CHECK(path.compare(0, kept.size(), kept) == 0);
    if (kept.size() < path.size()) {
        FUZZ_CHECK(path[kept.size()] == L'\\' || path[kept.size()] == L'/');
        FUZZ_CHECK(path.find_first_of(L"\\/", kept.size() + 1) == std::wstring::npos);
    } else {
        FUZZ_CHECK(path.find_first_of(L"\\/") == std::wstring::npos);
    }

    const std::wstring script = UpdateScriptPath(dir);
    FUZZ_CHECK(script == dir + L"update.ps1");
    const std::wstring command = UpdateCommandLine(dir);
    FUZZ_CHECK(command.size() > script.size() + 2);
    FUZZ_CHECK(command.compare(command.size() - script.size() - 2, script.size() + 2, L"\"" + script + L"\"") == 0);
    return 0;
}
