// Verification's file access outside Windows: a stat per file, stdio reads.
#include "patch/LocalFiles.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

LocalFileInfo StatLocalFile(const NativePath& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    if (!S_ISREG(st.st_mode)) return {LocalFileKind::NotRegular};
    return {LocalFileKind::Regular, static_cast<uint64_t>(st.st_size),
            FileClockSeconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
}

struct FolderListings::Folders {};

FolderListings::FolderListings() = default;
FolderListings::~FolderListings() = default;
void FolderListings::Expect(const NativePath&) {}
void FolderListings::Start() {}
void FolderListings::WaitUntilListed() {}

LocalFileInfo FolderListings::Query(const NativePath& path) {
    ++stats;
    return StatLocalFile(path);
}

bool FolderListings::Lists(const NativePath& path) {
    ++stats;
    return StatLocalFile(path).kind != LocalFileKind::Missing;
}

bool ReplaceLocalFile(const NativePath& path, const std::string& bytes) {
    const NativePath temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    ok = std::fflush(out) == 0 && ok;
    ok = ::fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

LocalFileReader::LocalFileReader(const NativePath& path) : handle(std::fopen(path.c_str(), "rb")) {}

LocalFileReader::~LocalFileReader() {
    if (handle) std::fclose(static_cast<std::FILE*>(handle));
}

size_t LocalFileReader::Read(char* buffer, size_t size) {
    return handle ? std::fread(buffer, 1, size, static_cast<std::FILE*>(handle)) : 0;
}

bool LocalFileReader::Describe(LocalFileInfo& info) const {
    struct stat st;
    if (!handle || ::fstat(fileno(static_cast<std::FILE*>(handle)), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    info = {LocalFileKind::Regular, static_cast<uint64_t>(st.st_size),
            FileClockSeconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
    return true;
}

HelperLock::HelperLock() : state(new std::mutex) {}
HelperLock::~HelperLock() { delete static_cast<std::mutex*>(state); }
void HelperLock::lock() { static_cast<std::mutex*>(state)->lock(); }
void HelperLock::unlock() { static_cast<std::mutex*>(state)->unlock(); }

HelperCondition::HelperCondition() : state(new std::condition_variable) {}
HelperCondition::~HelperCondition() { delete static_cast<std::condition_variable*>(state); }

void HelperCondition::wait(std::unique_lock<HelperLock>& held) {
    std::unique_lock<std::mutex> inner(*static_cast<std::mutex*>(held.mutex()->state), std::adopt_lock);
    static_cast<std::condition_variable*>(state)->wait(inner);
    inner.release();
}

void HelperCondition::notify_all() { static_cast<std::condition_variable*>(state)->notify_all(); }
