// The order a patch run hands its files to the download workers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "patch/DownloadOrder.h"

namespace {

std::vector<FileMetadata> Files(const std::vector<std::pair<std::string, uint64_t>>& list) {
    std::vector<FileMetadata> out;
    for (const auto& [path, size] : list) out.push_back(FileMetadata{path, size, 7, "h-" + path});
    return out;
}

std::vector<std::string> Paths(const std::vector<FileMetadata>& files) {
    std::vector<std::string> out;
    for (const FileMetadata& f : files) out.push_back(f.path);
    return out;
}

TEST(DownloadOrder, LargestFirstAndOneSizeInTheOrderGiven) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, uint64_t>> given;
        std::vector<std::string> expected;
    } cases[] = {
        {"nothing to fetch", {}, {}},
        {"one file", {{"a", 5}}, {"a"}},
        {"a large file listed late goes first",
         {{"tiny1", 4096}, {"small", 65536}, {"tiny2", 4096}, {"big", 268435456}, {"mid", 33554432}},
         {"big", "mid", "small", "tiny1", "tiny2"}},
        {"equal sizes keep their order", {{"c", 10}, {"a", 10}, {"b", 10}}, {"c", "a", "b"}},
        {"empty files last, in their order", {{"e1", 0}, {"x", 1}, {"e2", 0}}, {"x", "e1", "e2"}},
        {"sizes past 4 GiB compare whole", {{"four", 1ull << 32}, {"five", (1ull << 32) + 1}, {"one", 1}},
         {"five", "four", "one"}},
    };
    for (const Case& c : cases) {
        std::vector<FileMetadata> files = Files(c.given);
        OrderForDownload(files);
        EXPECT_EQ(Paths(files), c.expected) << c.what;
        // Entries move whole: each keeps its own size and hash.
        for (const FileMetadata& f : files) {
            EXPECT_EQ(f.hash, "h-" + f.path) << c.what;
            EXPECT_EQ(f.modifiedTime, 7u) << c.what;
        }
    }
}

}  // namespace
