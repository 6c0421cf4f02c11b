#include "app/UpdateScript.h"

std::wstring UpdateScriptPath(const std::wstring& exeDir) { return exeDir + kUpdateScriptFileName; }

std::wstring UpdateCommandLine(const std::wstring& exeDir) {
    return L"powershell.exe -NoProfile -ExecutionPolicy Bypass -File \"" + UpdateScriptPath(exeDir) + L"\"";
}

std::string AsciiLower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}
