#include "support/RegistrySandbox.h"

#include <atomic>

RegistrySandbox::RegistrySandbox() {
    static std::atomic<int> counter{0};
    path = L"Software\\VrennTestSandbox\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &root, nullptr) != ERROR_SUCCESS) {
        root = nullptr;
        return;
    }
    if (RegOverridePredefKey(HKEY_CURRENT_USER, root) != ERROR_SUCCESS) {
        RegCloseKey(root);
        root = nullptr;
    }
}

RegistrySandbox::~RegistrySandbox() {
    if (!root) return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}
