// regprobe.exe COMMAND: reads and prepares the launcher's per-user key
// HKCU\Software\VrennOnlineLauncher for end-to-end tests, with the registry
// and DPAPI calls of its own (not the launcher's), so it checks them independently.
//   dump               one line per value: NAME TAB TYPE TAB SIZE TAB TEXT, where TEXT is
//                      a REG_SZ's text or a REG_BINARY's unprotected bytes as hex
//                      ("!" when it does not unprotect); nothing when the key is missing
//   clear              deletes the key and everything under it
//   setsz NAME TEXT    writes TEXT (ASCII) as a REG_SZ value
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/ToolSupport.h"

static const wchar_t* kKey = L"Software\\VrennOnlineLauncher";

static std::string Unprotect(const std::vector<unsigned char>& blob) {
    DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return "!";
    std::string text = Hex(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return text;
}

static int Dump() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<unsigned char> data(size + 2, 0);
        nameLen = 256;
        DWORD got = size;
        RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &got);
        data.resize(got);
        std::string text;
        if (type == REG_SZ) {
            for (size_t k = 0; k + 1 < data.size(); k += 2) {
                wchar_t c = static_cast<wchar_t>(data[k] | (data[k + 1] << 8));
                if (c == 0) break;
                text += static_cast<char>(c);
            }
        } else if (type == REG_BINARY) {
            text = Unprotect(data);
        }
        std::printf("%s\t%lu\t%lu\t%s\n", Narrow(name).c_str(), static_cast<unsigned long>(type),
                    static_cast<unsigned long>(got), text.c_str());
    }
    RegCloseKey(key);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring command = argv[1];
    if (command == L"dump") return Dump();
    if (command == L"clear") {
        LSTATUS r = RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        return 0;
    }
    if (command == L"setsz" && argc == 4) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return 1;
        std::wstring text = argv[3];
        LSTATUS r = RegSetValueExW(key, argv[2], 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return r == ERROR_SUCCESS ? 0 : 1;
    }
    return 2;
}
