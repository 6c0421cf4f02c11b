#include "ui/CredentialStore.h"

#include <windows.h>

#include <wincrypt.h>

#include "patch/SecureWipe.h"
#include "ui/StoredText.h"
#include "ui/UIManager.h"

namespace {

const wchar_t kKeyPath[] = L"Software\\VrennOnlineLauncher";

// One protected value: REG_BINARY, not empty, unprotects to a non-empty text.
bool ReadProtectedValue(HKEY key, const wchar_t* name, std::string& out) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_BINARY || size == 0) return false;
    std::vector<unsigned char> data(size);
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
    // A short text lives inside the string object and a move copies it: the
    // one it came from is wiped, not left on the stack.
    std::string plain = DecryptCredential(data.data(), size);
    out.swap(plain);
    WipeText(plain);
    return !out.empty();
}

}  // namespace

std::vector<unsigned char> EncryptCredential(const std::string& plain) {
    DATA_BLOB in{static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"VrennOnlineLauncher", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return {};
    std::vector<unsigned char> blob(out.pbData, out.pbData + out.cbData);
    LocalFree(out.pbData);
    return blob;
}

std::string DecryptCredential(const unsigned char* data, uint32_t size) {
    // One named result on every road, built where the caller gets it: no
    // moved-from copy of the password is left behind.
    std::string plain;
    if (!data || size == 0) return plain;
    DATA_BLOB in{size, const_cast<BYTE*>(data)};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return plain;
    plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return plain;
}

void SaveCredentialsRegistry(const std::string& login, const std::string& secondText) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    const std::vector<unsigned char> loginBlob = EncryptCredential(login);
    const std::vector<unsigned char> secondBlob = EncryptCredential(secondText);
    if (!loginBlob.empty())
        RegSetValueExW(key, L"username", 0, REG_BINARY, loginBlob.data(), static_cast<DWORD>(loginBlob.size()));
    if (!secondBlob.empty())
        RegSetValueExW(key, L"token", 0, REG_BINARY, secondBlob.data(), static_cast<DWORD>(secondBlob.size()));
    RegCloseKey(key);
}

bool LoadCredentialsRegistry(std::string& login, std::string& secondText) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool ok = ReadProtectedValue(key, L"username", login);
    ReadProtectedValue(key, L"token", secondText);
    RegCloseKey(key);
    return ok;
}

void DeleteCredentialsRegistry() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, L"username");
    RegDeleteValueW(key, L"token");
    RegCloseKey(key);
}

void WipeBuffer(char* buffer, size_t size) { SecureWipe(buffer, size); }

void SaveRegString(const std::wstring& name, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    std::wstring wide;
    for (unsigned char c : text) wide += static_cast<wchar_t>(c);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool LoadRegString(const std::wstring& name, std::string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buf[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(buf);
    const bool ok = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_SZ && buf[0] != 0;
    if (ok) {
        char16_t units[64];
        for (size_t i = 0; i < 64; ++i) units[i] = static_cast<char16_t>(buf[i]);
        text = NarrowRegText(units, 64);
    }
    RegCloseKey(key);
    return ok;
}

void UIManager::LoadNewsFontScale() {
    newsFontScale = 1.0f;
    std::string text;
    if (LoadRegString(L"newsFontScale", text)) newsFontScale = NewsFontScaleFromText(text);
}

void UIManager::SaveNewsFontScale() { SaveRegString(L"newsFontScale", NewsFontScaleText(newsFontScale)); }
