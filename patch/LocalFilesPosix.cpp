// Verification's file access outside Windows: a stat per file, stdio reads.
#include "patch/LocalFiles.h"

#include <cstdio>

#include <sys/stat.h>
#include <sys/types.h>

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

LocalFileReader::LocalFileReader(const NativePath& path) : handle(std::fopen(path.c_str(), "rb")) {}

LocalFileReader::~LocalFileReader() {
    if (handle) std::fclose(static_cast<std::FILE*>(handle));
}

size_t LocalFileReader::Read(char* buffer, size_t size) {
    return handle ? std::fread(buffer, 1, size, static_cast<std::FILE*>(handle)) : 0;
}
