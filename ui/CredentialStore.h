#pragma once
// Per-user store under HKCU\Software\VrennOnlineLauncher: the remembered login
// as two DPAPI blobs, and plain settings. Failures are silent.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::vector<unsigned char> EncryptCredential(const std::string& plain);
std::string DecryptCredential(const unsigned char* data, uint32_t size);
void SaveCredentialsRegistry(const std::string& login, const std::string& secondText);
bool LoadCredentialsRegistry(std::string& login, std::string& secondText);
void DeleteCredentialsRegistry();
void WipeBuffer(char* buffer, size_t size);
void SaveRegString(const std::wstring& name, const std::string& text);
bool LoadRegString(const std::wstring& name, std::string& text);
