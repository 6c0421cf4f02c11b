#pragma once
// How verification looks at the game folder: file metadata and file contents,
// and how its helper threads wait for each other.
// LocalFilesPosix.cpp stats each file and reads through stdio; on Windows,
// LocalFilesWin.cpp answers metadata from one listing per folder and reads
// through the system's own file handles. No Windows header here.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

using NativePath = std::filesystem::path::string_type;

enum class LocalFileKind { Missing, NotRegular, Regular };

// What exists(), file_size() and last_write_time() report for one path.
struct LocalFileInfo {
    LocalFileKind kind = LocalFileKind::Missing;
    uint64_t size = 0;
    // Last-write time as a count of std::filesystem's file clock in whole seconds.
    uint64_t writeSeconds = 0;
    bool operator==(const LocalFileInfo&) const = default;
};

// The file clock count as the standard library forms it from a stat time,
// truncated to whole seconds; 0 where the library reports the time as out of range.
inline uint64_t FileClockSeconds(int64_t seconds, int64_t nanoseconds) {
    namespace chr = std::chrono;
    const chr::seconds s{seconds};
    if (!(s < chr::floor<chr::seconds>(chr::system_clock::duration::max()))) return 0;
    auto written = chr::file_clock::from_sys(chr::system_clock::time_point{s + chr::nanoseconds{nanoseconds}});
    return static_cast<uint64_t>(chr::duration_cast<chr::seconds>(written.time_since_epoch()).count());
}

// One stat of the C runtime: exists(), file_size() and last_write_time() would
// each stat the file again.
LocalFileInfo StatLocalFile(const NativePath& path);

// The metadata answers of one verification, always the same answer as
// StatLocalFile. On Windows a helper thread lists the folders of the expected
// files, in the order they are first expected, while the questions go on; a
// file whose folder is not listed yet is statted. Listings are kept until the
// object goes, so one lives for one verification only.
class FolderListings {
public:
    FolderListings();
    // Stops the helper after the folder it is reading.
    ~FolderListings();
    FolderListings(const FolderListings&) = delete;
    FolderListings& operator=(const FolderListings&) = delete;

    // Each file that will be asked about, in the order of the questions, then Start.
    void Expect(const NativePath& path);
    void Start();
    // Waits until every expected folder has been read.
    void WaitUntilListed();

    LocalFileInfo Query(const NativePath& path);
    // Whether a file of exactly this name is there: from its folder's listing
    // when that folder was listed, so a name that is absent costs nothing;
    // from a stat otherwise. Meant for names that are rarely there.
    bool Lists(const NativePath& path);
    // Answers that needed a stat of their own (folder not listed yet, or a
    // listing that could not vouch for the file).
    size_t StatCount() const { return stats; }

private:
    struct Folders;
    std::unique_ptr<Folders> folders;
    size_t stats = 0;
};

// Writes `bytes` to path + ".tmp", flushes it to the disk, then moves it over
// `path` (replacing it, written through): the file is always either the old
// one or the new one, whole. False, with the temporary file removed, on any
// failure.
bool ReplaceLocalFile(const NativePath& path, const std::string& bytes);

// A file opened for binary reading, shared with other readers and writers as a
// C runtime stream shares it.
class LocalFileReader {
public:
    explicit LocalFileReader(const NativePath& path);
    ~LocalFileReader();
    LocalFileReader(const LocalFileReader&) = delete;
    LocalFileReader& operator=(const LocalFileReader&) = delete;

    bool IsOpen() const { return handle != nullptr; }
    // What the open file says of itself, in the figures a stat gives; false
    // when it is not a regular file or its time is one a stat must be asked for.
    bool Describe(LocalFileInfo& info) const;
    // Fills `buffer` up to `size` bytes; fewer only at the end of the file or on a read error.
    size_t Read(char* buffer, size_t size);

private:
    void* handle = nullptr;
};

// A lock and a condition for verification's helper threads and for the patch
// state that the download workers report after every chunk. On Windows they are
// the system's slim lock and condition variable, which wait without a kernel
// object: under Wine, waiting on one (as the C++ library's own mutex does when
// contended) is a round trip to the server, which verification and downloads
// are short of.
class HelperLock {
public:
    HelperLock();
    ~HelperLock();
    HelperLock(const HelperLock&) = delete;
    HelperLock& operator=(const HelperLock&) = delete;
    void lock();
    void unlock();

private:
    friend class HelperCondition;
    void* state = nullptr;
};

class HelperCondition {
public:
    HelperCondition();
    ~HelperCondition();
    HelperCondition(const HelperCondition&) = delete;
    HelperCondition& operator=(const HelperCondition&) = delete;
    // Releases the lock while waiting; may also return without a notify.
    void wait(std::unique_lock<HelperLock>& held);
    void notify_all();

private:
    void* state = nullptr;
};
