// Verification's file access on Windows. Under Wine every stat resolves the
// whole path again and every C runtime stream adds calls of its own, so
// metadata comes from one listing per folder and contents from plain file
// handles.
#include "patch/LocalFiles.h"

#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
// Wine's C runtime keeps a stat time in 32-bit seconds since 1970 and reports
// another time outside that range (the access time). Times out there, with a
// day's margin for a runtime that converts through local time, are left to the
// stat itself.
constexpr int64_t kFirstListedSecond = 86400;
constexpr int64_t kLastListedSecond = 0xFFFFFFFFll - 86400;

struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::wstring_view v) const { return std::hash<std::wstring_view>{}(v); }
};

struct Entry {
    size_t nameAt;
    size_t nameLength;
    DWORD attributes;
    uint64_t size;
    uint64_t writeTicks;
};

// One folder's listing: names back to back in one string, entries sorted by name.
// Left empty when the folder cannot be listed to its end.
struct Folder {
    std::wstring names;
    std::vector<Entry> entries;

    std::wstring_view NameOf(const Entry& e) const { return std::wstring_view(names).substr(e.nameAt, e.nameLength); }

    const Entry* Find(std::wstring_view name) const {
        auto it = std::lower_bound(entries.begin(), entries.end(), name,
                                   [this](const Entry& e, std::wstring_view n) { return NameOf(e) < n; });
        return it != entries.end() && NameOf(*it) == name ? &*it : nullptr;
    }
};

void ReadFolder(const std::wstring& folder, Folder& out) {
    const std::wstring pattern = folder + L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const size_t length = wcslen(data.cFileName);
        out.entries.push_back(Entry{out.names.size(), length, data.dwFileAttributes,
                                    (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                                    (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                        data.ftLastWriteTime.dwLowDateTime});
        out.names.append(data.cFileName, length);
    } while (FindNextFileW(find, &data));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    if (!complete) {
        out.entries.clear();
        out.names.clear();
        return;
    }
    std::sort(out.entries.begin(), out.entries.end(),
              [&out](const Entry& a, const Entry& b) { return out.NameOf(a) < out.NameOf(b); });
}

}  // namespace

LocalFileInfo StatLocalFile(const NativePath& path) {
    struct _stat64 st;
    if (_wstat64(path.c_str(), &st) != 0) return {};
    if ((st.st_mode & _S_IFMT) != _S_IFREG) return {LocalFileKind::NotRegular};
    return {LocalFileKind::Regular, static_cast<uint64_t>(st.st_size), FileClockSeconds(st.st_mtime, 0)};
}

struct FolderListings::Folders {
    // Keyed by the folder exactly as the paths spell it, separator included.
    std::unordered_map<std::wstring, Folder, ViewHash, std::equal_to<>> byPath;
};

FolderListings::FolderListings() : folders(std::make_unique<Folders>()) {}
FolderListings::~FolderListings() = default;

LocalFileInfo FolderListings::Query(const NativePath& path) {
    const size_t cut = path.find_last_of(L"\\/");
    const std::wstring_view whole(path);
    if (cut == std::wstring_view::npos || cut + 1 == path.size()) return ++stats, StatLocalFile(path);
    const std::wstring_view folderPath = whole.substr(0, cut + 1), name = whole.substr(cut + 1);

    auto found = folders->byPath.find(folderPath);
    if (found == folders->byPath.end()) {
        found = folders->byPath.emplace(std::wstring(folderPath), Folder{}).first;
        ReadFolder(found->first, found->second);
    }
    // Not listed under this exact name: missing, or a spelling the file system
    // also takes (another letter case, a short name). Only the stat can say.
    const Entry* entry = found->second.Find(name);
    if (!entry) return ++stats, StatLocalFile(path);
    const Entry& e = *entry;
    // The stat follows links and junctions; the listing describes the link itself.
    if (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ++stats, StatLocalFile(path);
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) return {LocalFileKind::NotRegular};
    const int64_t seconds = static_cast<int64_t>(e.writeTicks / kTicksPerSecond) - kSecondsFrom1601To1970;
    if (seconds < kFirstListedSecond || seconds > kLastListedSecond) return ++stats, StatLocalFile(path);
    return {LocalFileKind::Regular, e.size, FileClockSeconds(seconds, 0)};
}

// The sharing of a C runtime stream opened for reading (read and write, not delete).
LocalFileReader::LocalFileReader(const NativePath& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) handle = file;
}

LocalFileReader::~LocalFileReader() {
    if (handle) CloseHandle(handle);
}

size_t LocalFileReader::Read(char* buffer, size_t size) {
    size_t total = 0;
    while (handle && total < size) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
        if (!ReadFile(handle, buffer + total, ask, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}
