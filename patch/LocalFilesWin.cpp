// Verification's file access on Windows. Metadata comes from one listing per
// folder instead of one stat per file, contents from plain file handles. Under
// Wine a listing costs a few server round trips (open, descriptor, query,
// close), which are slow on an idle machine, where a stat costs none but
// resolves the whole path again; so a helper thread reads the listings, with
// one large query each, while verification goes on with stats until a
// folder's listing is there.
#include "patch/LocalFiles.h"

#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
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

// A file time (ticks since 1601) in the whole file-clock seconds the stat
// gives, when the stat would give it the same way.
bool StatSeconds(uint64_t ticks, uint64_t& out) {
    const int64_t seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
    if (seconds < kFirstListedSecond || seconds > kLastListedSecond) return false;
    out = FileClockSeconds(seconds, 0);
    return true;
}

// One query returns up to this much; a folder whose answer filled it is read on.
constexpr DWORD kListingBytes = 64 * 1024;

struct ViewHash {
    size_t operator()(std::wstring_view v) const { return std::hash<std::wstring_view>{}(v); }
};

struct Entry {
    size_t nameAt;
    size_t nameLength;
    DWORD attributes;
    uint64_t size;
    uint64_t writeTicks;
};

// One folder's listing: names back to back in one string, entries sorted by
// name. Entries it lacks (the folder could not be listed, or not to its end)
// are simply not found, and so asked of the stat.
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

// Reads the folder's entries through `buffer` (kListingBytes, 8-byte aligned).
void ReadFolder(const std::wstring& folder, Folder& out, char* buffer) {
    HANDLE dir = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return;
    FILE_INFO_BY_HANDLE_CLASS query = FileFullDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(dir, query, buffer, kListingBytes)) {
        query = FileFullDirectoryInfo;
        size_t at = 0, end = 0;
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer + at);
            const size_t length = info->FileNameLength / sizeof(wchar_t);
            out.entries.push_back(Entry{out.names.size(), length, info->FileAttributes,
                                        static_cast<uint64_t>(info->EndOfFile.QuadPart),
                                        static_cast<uint64_t>(info->LastWriteTime.QuadPart)});
            out.names.append(info->FileName, length);
            end = at + offsetof(FILE_FULL_DIR_INFO, FileName) + info->FileNameLength;
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
        // Room left for another entry of the longest name: this was the last part.
        // Asking once more to hear that would cost another round trip.
        if (kListingBytes - end >= offsetof(FILE_FULL_DIR_INFO, FileName) + (MAX_PATH + 8) * sizeof(wchar_t)) break;
    }
    CloseHandle(dir);
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
    struct Slot {
        std::wstring path;
        Folder folder;
        // Set by the helper once `folder` is complete; it never changes after.
        std::atomic<bool> listed{false};
    };
    // In the order first expected; a deque keeps the slots (and the map's
    // views of their paths) in place as it grows.
    std::deque<Slot> slots;
    // Keyed by the folder exactly as the paths spell it, separator included.
    std::unordered_map<std::wstring_view, Slot*, ViewHash> byPath;
    std::atomic<bool> stop{false};
    std::thread helper;

    void ReadAll() noexcept {
        try {
            auto buffer = std::make_unique<uint64_t[]>(kListingBytes / sizeof(uint64_t));
            for (Slot& slot : slots) {
                if (stop.load(std::memory_order_relaxed)) return;
                ReadFolder(slot.path, slot.folder, reinterpret_cast<char*>(buffer.get()));
                slot.listed.store(true, std::memory_order_release);
            }
        } catch (const std::bad_alloc&) {
            // Folders not listed are statted.
        }
    }
};

namespace {

// The folder part of a path, separator included; empty when there is none or
// the path ends in a separator.
std::wstring_view FolderOf(const NativePath& path) {
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut + 1 == path.size()) return {};
    return std::wstring_view(path).substr(0, cut + 1);
}

}  // namespace

FolderListings::FolderListings() : folders(std::make_unique<Folders>()) {}

FolderListings::~FolderListings() {
    folders->stop = true;
    if (folders->helper.joinable()) folders->helper.join();
}

void FolderListings::Expect(const NativePath& path) {
    const std::wstring_view folder = FolderOf(path);
    if (folder.empty() || folders->helper.joinable() || folders->byPath.count(folder)) return;
    Folders::Slot& slot = folders->slots.emplace_back();
    slot.path.assign(folder);
    folders->byPath.emplace(slot.path, &slot);
}

void FolderListings::Start() {
    if (folders->helper.joinable() || folders->slots.empty()) return;
    try {
        folders->helper = std::thread([f = folders.get()] { f->ReadAll(); });
    } catch (const std::system_error&) {
        // No helper: every answer comes from a stat.
    }
}

void FolderListings::WaitUntilListed() {
    if (folders->helper.joinable()) folders->helper.join();
}

LocalFileInfo FolderListings::Query(const NativePath& path) {
    const std::wstring_view folderPath = FolderOf(path);
    auto found = folderPath.empty() ? folders->byPath.end() : folders->byPath.find(folderPath);
    if (found == folders->byPath.end() || !found->second->listed.load(std::memory_order_acquire))
        return ++stats, StatLocalFile(path);
    // Not listed under this exact name: missing, or a spelling the file system
    // also takes (another letter case, a short name). Only the stat can say.
    const Entry* entry = found->second->folder.Find(std::wstring_view(path).substr(folderPath.size()));
    if (!entry) return ++stats, StatLocalFile(path);
    const Entry& e = *entry;
    // The stat follows links and junctions; the listing describes the link itself.
    if (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ++stats, StatLocalFile(path);
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) return {LocalFileKind::NotRegular};
    uint64_t seconds = 0;
    if (!StatSeconds(e.writeTicks, seconds)) return ++stats, StatLocalFile(path);
    return {LocalFileKind::Regular, e.size, seconds};
}

bool FolderListings::Lists(const NativePath& path) {
    const std::wstring_view folderPath = FolderOf(path);
    auto found = folderPath.empty() ? folders->byPath.end() : folders->byPath.find(folderPath);
    if (found == folders->byPath.end() || !found->second->listed.load(std::memory_order_acquire))
        return ++stats, StatLocalFile(path).kind != LocalFileKind::Missing;
    return found->second->folder.Find(std::wstring_view(path).substr(folderPath.size())) != nullptr;
}

bool ReplaceLocalFile(const NativePath& path, const std::string& bytes) {
    const std::wstring temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (size_t at = 0; ok && at < bytes.size();) {
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 30));
        ok = WriteFile(file, bytes.data() + at, ask, &written, nullptr) && written > 0;
        at += written;
    }
    // On the disk before the name moves: after a power cut the new name must not hold nothing.
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
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

// Both queries are answered from the open file's descriptor under Wine: no
// round trip to the server beyond the one the first read needs anyway.
bool LocalFileReader::Describe(LocalFileInfo& info) const {
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!handle || !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileSizeEx(handle, &size) || (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    uint64_t seconds = 0;
    if (!StatSeconds(static_cast<uint64_t>(basic.LastWriteTime.QuadPart), seconds)) return false;
    info = {LocalFileKind::Regular, static_cast<uint64_t>(size.QuadPart), seconds};
    return true;
}

// SRWLOCK and CONDITION_VARIABLE are one pointer each, and null is their initial value.
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

HelperLock::HelperLock() = default;
HelperLock::~HelperLock() = default;
void HelperLock::lock() { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&state)); }
void HelperLock::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&state)); }

HelperCondition::HelperCondition() = default;
HelperCondition::~HelperCondition() = default;

void HelperCondition::wait(std::unique_lock<HelperLock>& held) {
    SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&state),
                              reinterpret_cast<PSRWLOCK>(&held.mutex()->state), INFINITE, 0);
}

void HelperCondition::notify_all() { WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&state)); }
