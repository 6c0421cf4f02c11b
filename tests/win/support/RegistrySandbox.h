#pragma once
// Points this process's HKEY_CURRENT_USER at a fresh private key for the
// lifetime of the object, so tests of the per-user store neither see nor
// disturb the values other test processes keep in the shared Wine prefix.
#include <windows.h>

#include <string>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    bool Active() const { return root != nullptr; }

private:
    std::wstring path;
    HKEY root = nullptr;
};
