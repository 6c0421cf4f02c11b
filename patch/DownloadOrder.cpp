#include "patch/DownloadOrder.h"

#include <algorithm>

void OrderForDownload(std::vector<FileMetadata>& files) {
    std::stable_sort(files.begin(), files.end(),
                     [](const FileMetadata& a, const FileMetadata& b) { return a.size > b.size; });
}
