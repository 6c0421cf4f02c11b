#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "patch/FileIntegritySystem.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace fs = std::filesystem;

namespace {

std::string Hex64(uint64_t v) {
    char out[17];
    snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(v));
    return out;
}

std::string XxhOf(const std::string& bytes) { return Hex64(XXH64(bytes.data(), bytes.size(), 0)); }

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

uint64_t FileClockSeconds(const fs::path& p) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(fs::last_write_time(p).time_since_epoch()).count());
}

// Little-endian builders for hand-made cache files.
void U32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void U64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
std::string Entry(const std::string& key, uint64_t size, uint64_t time, const std::string& hash) {
    std::string out;
    U32(out, static_cast<uint32_t>(key.size()));
    out += key;
    U64(out, size);
    U64(out, time);
    U32(out, static_cast<uint32_t>(hash.size()));
    out += hash;
    return out;
}
std::string CacheFile(uint32_t count, const std::string& entries) {
    std::string out;
    U32(out, count);
    return out + entries;
}

struct Cached {
    uint64_t size, time;
    std::string hash;
    bool operator==(const Cached&) const = default;
};

// Independent reader of the saved layout; fails the test on any stray byte.
std::map<std::string, Cached> DecodeCache(const std::string& bytes) {
    std::map<std::string, Cached> out;
    size_t pos = 0;
    auto take = [&](size_t n) {
        EXPECT_LE(pos + n, bytes.size());
        std::string s = bytes.substr(pos, n);
        pos += n;
        return s;
    };
    auto num = [&](int width) {
        std::string s = take(static_cast<size_t>(width));
        uint64_t v = 0;
        for (int i = width - 1; i >= 0 && static_cast<size_t>(i) < s.size(); --i) v = (v << 8) | static_cast<unsigned char>(s[i]);
        return v;
    };
    uint64_t count = num(4);
    for (uint64_t i = 0; i < count && pos < bytes.size(); ++i) {
        std::string key = take(num(4));
        Cached c;
        c.size = num(8);
        c.time = num(8);
        c.hash = take(num(4));
        EXPECT_EQ(out.count(key), 0u) << "key saved twice: " << key;
        out[key] = c;
    }
    EXPECT_EQ(out.size(), count);
    EXPECT_EQ(pos, bytes.size());
    return out;
}

class Integrity : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vrenn_fis_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "game");
        root = dir / "game";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::wstring Root() const { return root.wstring(); }
    std::wstring CachePath() const { return (dir / "launcher_cache.dat").wstring(); }
    fs::path Game(const std::string& rel) const { return root / fs::path(std::u8string(rel.begin(), rel.end())); }
    std::string Put(const std::string& rel, const std::string& content) {
        WriteAll(Game(rel), content);
        return rel + "," + std::to_string(content.size()) + ",0," + XxhOf(content) + "\n";
    }
    std::map<std::string, Cached> SavedCache(FileIntegritySystem& fis) {
        EXPECT_TRUE(fis.SaveLocalCache(CachePath()));
        return DecodeCache(ReadAll(dir / "launcher_cache.dat"));
    }
    static std::vector<std::string> Paths(const std::vector<FileMetadata>& list) {
        std::vector<std::string> out;
        for (const auto& m : list) out.push_back(m.path);
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path dir, root;
};

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------- file list

struct Listed {
    std::string path;
    uint64_t size, third;
    std::string hash;
    bool operator==(const Listed&) const = default;
};

TEST_F(Integrity, FileListLineRules) {
    const std::string h = "0123456789abcdef";
    struct Case {
        std::string text;
        std::vector<Listed> want;
    } cases[] = {
        {"a.bin,12,34," + h + "\n", {{"a.bin", 12, 34, h}}},
        {"a.bin,12,34," + h + "\r\n", {{"a.bin", 12, 34, h + "\r"}}},
        {"a.bin,12,34," + h, {{"a.bin", 12, 34, h}}},
        {"a.bin,12,34," + h + "\r", {{"a.bin", 12, 34, h + "\r"}}},
        {"a.bin,12,34\n", {}},
        {"a.bin,12,34,\n", {}},
        {"a.bin,12,34,", {}},
        {"a.bin,12,34,,", {{"a.bin", 12, 34, ""}}},
        {"a.bin,12,34,h,fifth,sixth\n", {{"a.bin", 12, 34, "h"}}},
        {"a.bin,x12,34,h\n", {}},
        {"a.bin,,34,h\n", {}},
        {"a.bin,12,,h\n", {}},
        {"a.bin,12,y,h\n", {}},
        {"a.bin, \t12,34,h\n", {{"a.bin", 12, 34, "h"}}},
        {"a.bin,+7,-0,h\n", {{"a.bin", 7, 0, "h"}}},
        {"a.bin,-1,34,h\n", {{"a.bin", 18446744073709551615ull, 34, "h"}}},
        {"a.bin,12abc,34z,h\n", {{"a.bin", 12, 34, "h"}}},
        {"a.bin,0x10,1,h\n", {{"a.bin", 0, 1, "h"}}},
        {"a.bin,18446744073709551615,0,h\n", {{"a.bin", 18446744073709551615ull, 0, "h"}}},
        {"a.bin,18446744073709551616,0,h\n", {}},
        {"a.bin,1,99999999999999999999,h\n", {}},
        {"a.bin,12,34, " + h + " \n", {{"a.bin", 12, 34, " " + h + " "}}},
        {"a,1,1,x\nb,2,2,y\n\n\nc,3,3,z", {{"a", 1, 1, "x"}, {"b", 2, 2, "y"}, {"c", 3, 3, "z"}}},
        {"a,1,1,x\nbroken\na,2,2,y\n", {{"a", 2, 2, "y"}}},
        {"\xEF\xBB\xBF" "a,1,1,x\n", {{"\xEF\xBB\xBF" "a", 1, 1, "x"}}},
        {" a,1,1,x\n", {{" a", 1, 1, "x"}}},
        {"", {}},
        {"\n\n\n", {}},
        {"\r\n", {}},
    };
    for (const auto& c : cases) {
        FileIntegritySystem fis(Root());
        EXPECT_TRUE(fis.LoadManifest(c.text));
        std::vector<Listed> got;
        for (const auto& m : fis.VerifyFiles(false, {})) got.push_back({m.path, m.size, m.modifiedTime, m.hash});
        std::sort(got.begin(), got.end(), [](const Listed& a, const Listed& b) { return a.path < b.path; });
        EXPECT_EQ(got, c.want) << "file list: " << c.text;
    }
}

TEST_F(Integrity, LoadingAListReplacesThePreviousOne) {
    FileIntegritySystem fis(Root());
    fis.LoadManifest("a,1,1,x\nb,1,1,x\n");
    fis.LoadManifest("c,1,1,x\n");
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"c"});
    fis.LoadManifest("garbage");
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
}

// ---------------------------------------------------------------- traversal

TEST(SafeGamePath, Table) {
    struct Case {
        std::string path;
        bool safe;
    } cases[] = {
        {"a.txt", true},
        {"data/maps/x.bin", true},
        {"a\\b.txt", true},
        {"A\xC3\xA7\xC3\xA3o/\xC3\xA7.txt", true},
        {"\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x98\x80.dat", true},
        {".hidden", true},
        {"..a", true},
        {"a..b/c", true},
        {"a b/c d.txt", true},
        {"CONSOLE", true},
        {"COM10", true},
        {"COMA", true},
        {"COM", true},
        {"LPT", true},
        {"nullx.txt", true},
        {"xcon", true},
        {"file.con", true},
        {"con2/a", true},
        {"", false},
        {"/etc/passwd", false},
        {"\\windows\\win.ini", false},
        {"//server/share/x", false},
        {"\\\\?\\C:\\x", false},
        {"C:x", false},
        {"C:/x", false},
        {"c:\\x", false},
        {"file.txt:stream", false},
        {"file.txt::$DATA", false},
        {"..", false},
        {"../x", false},
        {"a/../../x", false},
        {"a/..", false},
        {"a\\..\\..\\x", false},
        {"a/b\\..\\..\\..\\x", false},
        {"a//b", false},
        {"a\\\\b", false},
        {"a/", false},
        {"a\\", false},
        {".", false},
        {"./a", false},
        {"a/./b", false},
        {"...", false},
        {".. ", false},
        {"a/b.", false},
        {"a/b ", false},
        {"CON", false},
        {"con", false},
        {"Con.txt", false},
        {"nul.tar.gz", false},
        {"AUX", false},
        {"prn.log", false},
        {"COM1", false},
        {"com9.dat", false},
        {"COM0", false},
        {"LPT1", false},
        {"lpt5.x", false},
        {"a/NUL", false},
        {"nul/a.txt", false},
        {"CON .txt", false},
        {"conin$", false},
        {"CONOUT$.x", false},
        {"COM\xC2\xB9", false},
        {"lpt\xC2\xB3.bin", false},
        {std::string("a\0b", 3), false},
        {"a\tb", false},
        {"a\rb", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSafeGamePath(c.path), c.safe) << "path: " << c.path;
}

TEST_F(Integrity, UnsafeListEntriesAreSkippedWithOneWarningEach) {
    FileIntegritySystem fis(Root());
    Strings warnings;
    fis.SetWarningSink([&](const std::string& line) { warnings.push_back(line); });
    // A file beside the game folder that a traversal would reach.
    WriteAll(dir / "outside.txt", "x");
    fis.LoadManifest("ok/a.bin,1,0,h\n"
                     "../outside.txt,1,0,h\n"
                     "/etc/passwd,1,0,h\n"
                     "broken line\n"
                     "C:\\Windows\\x.dll,1,0,h\n"
                     "nul.txt,1,0,h\n"
                     "b.bin,1,0,h\n");
    const std::string prefix = "[FileIntegritySystem] Caminho inválido ignorado na lista de arquivos: ";
    EXPECT_EQ(warnings, (Strings{prefix + "../outside.txt", prefix + "/etc/passwd", prefix + "C:\\Windows\\x.dll",
                                 prefix + "nul.txt"}));
    EXPECT_EQ(Paths(fis.VerifyFiles(true, {})), (Strings{"b.bin", "ok/a.bin"}));
    EXPECT_EQ(fis.LastHashedCount(), 0u);
    EXPECT_TRUE(SavedCache(fis).empty());

    // Without a sink the entries are still refused.
    FileIntegritySystem quiet(Root());
    quiet.LoadManifest("../outside.txt,1,0,h\n");
    EXPECT_TRUE(quiet.VerifyFiles(true, {}).empty());
}

// ---------------------------------------------------------------- hashing

TEST_F(Integrity, HashOfEmptyFileIsTheZeroByteDigest) {
    WriteAll(root / "empty", "");
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash((root / "empty").wstring()), "ef46db3751d8e999");
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash((root / "missing").wstring()), "");
}

TEST_F(Integrity, HashStreamsEveryByteAcrossChunkBoundaries) {
    std::mt19937_64 rng(7);
    for (size_t n : {size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{3 * 65536 + 5}}) {
        std::string bytes(n, '\0');
        for (auto& b : bytes) b = static_cast<char>(rng());
        WriteAll(root / "f", bytes);
        EXPECT_EQ(FileIntegritySystem::ComputeFileHash((root / "f").wstring()), XxhOf(bytes)) << n << " bytes";
    }
}

// ---------------------------------------------------------------- cache file

TEST_F(Integrity, SavingAnEmptyCacheWritesAZeroCount) {
    FileIntegritySystem fis(Root());
    ASSERT_TRUE(fis.SaveLocalCache(CachePath()));
    EXPECT_EQ(ReadAll(dir / "launcher_cache.dat"), std::string(4, '\0'));
}

TEST_F(Integrity, SavedEntryByteForByte) {
    const std::string key = "d/\xC3\xA9.bin";
    std::string line = Put(key, "hello");
    FileIntegritySystem fis(Root());
    fis.LoadManifest(line);
    fis.VerifyFiles(false, {});
    ASSERT_TRUE(fis.SaveLocalCache(CachePath()));
    const uint64_t time = FileClockSeconds(Game(key));
    std::string want;
    U32(want, 1);
    U32(want, static_cast<uint32_t>(key.size()));
    want += key;
    U64(want, 5);
    U64(want, time);
    U32(want, 16);
    want += XxhOf("hello");
    EXPECT_EQ(ReadAll(dir / "launcher_cache.dat"), want);
}

TEST_F(Integrity, CacheLoadLimitsAndDamage) {
    const std::string k4096(4096, 'k'), h256(256, 'h');
    const std::string a = Entry("a", 1, 2, "ha"), b = Entry("b", 3, 4, "hb");
    struct Case {
        const char* what;
        std::string bytes;
        std::map<std::string, Cached> want;
    } cases[] = {
        {"empty file", "", {}},
        {"short count", std::string(2, '\0'), {}},
        {"zero count ignores what follows", CacheFile(0, a), {}},
        {"two entries", CacheFile(2, a + b), {{"a", {1, 2, "ha"}}, {"b", {3, 4, "hb"}}}},
        {"count larger than the entries", CacheFile(5, a + b), {{"a", {1, 2, "ha"}}, {"b", {3, 4, "hb"}}}},
        {"count smaller than the entries", CacheFile(1, a + b), {{"a", {1, 2, "ha"}}}},
        {"key length 4096 accepted", CacheFile(2, a + Entry(k4096, 5, 6, "x")), {{"a", {1, 2, "ha"}}, {k4096, {5, 6, "x"}}}},
        {"key length 4097 stops", CacheFile(3, a + Entry(k4096 + "k", 5, 6, "x") + b), {{"a", {1, 2, "ha"}}}},
        {"hash length 256 accepted", CacheFile(2, a + Entry("c", 5, 6, h256)), {{"a", {1, 2, "ha"}}, {"c", {5, 6, h256}}}},
        {"hash length 257 stops and drops", CacheFile(3, a + Entry("c", 5, 6, h256 + "h") + b), {{"a", {1, 2, "ha"}}}},
        {"cut inside a key", CacheFile(2, a + b.substr(0, 5)), {{"a", {1, 2, "ha"}}}},
        {"cut inside a size", CacheFile(2, a + b.substr(0, 9)), {{"a", {1, 2, "ha"}}}},
        {"cut inside a hash", CacheFile(2, a + b.substr(0, b.size() - 1)), {{"a", {1, 2, "ha"}}}},
        {"later duplicate wins", CacheFile(2, a + Entry("a", 7, 8, "new")), {{"a", {7, 8, "new"}}}},
        {"empty key and hash", CacheFile(1, Entry("", 0, 0, "")), {{"", {0, 0, ""}}}},
        {"huge count, no entries", CacheFile(0xFFFFFFFFu, ""), {}},
    };
    for (const auto& c : cases) {
        WriteAll(dir / "in.dat", c.bytes);
        FileIntegritySystem fis(Root());
        EXPECT_TRUE(fis.LoadLocalCache((dir / "in.dat").wstring())) << c.what;
        EXPECT_EQ(SavedCache(fis), c.want) << c.what;
    }
}

TEST_F(Integrity, MissingCacheFileEmptiesTheCache) {
    WriteAll(dir / "in.dat", CacheFile(1, Entry("a", 1, 2, "h")));
    FileIntegritySystem fis(Root());
    ASSERT_TRUE(fis.LoadLocalCache((dir / "in.dat").wstring()));
    EXPECT_FALSE(fis.LoadLocalCache((dir / "nope.dat").wstring()));
    EXPECT_TRUE(SavedCache(fis).empty());
    EXPECT_FALSE(fis.SaveLocalCache((dir / "no-such-folder" / "c.dat").wstring()));
}

// ---------------------------------------------------------------- verification

TEST_F(Integrity, IntactCacheJudgesFilesWithoutReadingThem) {
    std::string list = Put("a.bin", "first") + Put("sub/b.bin", "second");
    FileIntegritySystem fis(Root());
    fis.LoadManifest(list);
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 2u);
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 0u);

    // Same size, same time, other bytes: the cache still vouches for it, so it was not read.
    auto when = fs::last_write_time(Game("a.bin"));
    WriteAll(Game("a.bin"), "FIRST");
    fs::last_write_time(Game("a.bin"), when);
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 0u);

    // A new list hash for it is judged from the cached hash alone.
    fis.LoadManifest("a.bin,5,0,00000000000000aa\n" + Put("sub/b.bin", "second"));
    auto fetch = fis.VerifyFiles(false, {});
    ASSERT_EQ(fetch.size(), 1u);
    EXPECT_EQ(fetch[0].path, "a.bin");
    EXPECT_EQ(fetch[0].hash, "00000000000000aa");
    EXPECT_EQ(fis.LastHashedCount(), 0u);
}

TEST_F(Integrity, CacheLoadedFromDiskVouchesAcrossInstances) {
    std::string list = Put("a.bin", "one") + Put("b.bin", "two");
    {
        FileIntegritySystem first(Root());
        first.LoadManifest(list);
        first.VerifyFiles(false, {});
        ASSERT_TRUE(first.SaveLocalCache(CachePath()));
    }
    FileIntegritySystem next(Root());
    ASSERT_TRUE(next.LoadLocalCache(CachePath()));
    next.LoadManifest(list);
    EXPECT_TRUE(next.VerifyFiles(false, {}).empty());
    EXPECT_EQ(next.LastHashedCount(), 0u);
}

TEST_F(Integrity, ForcedVerifyHashesEveryExistingFileAndRewritesItsEntry) {
    std::string list = Put("a.bin", "alpha") + Put("b.bin", "beta") + "gone.bin,3,0,0000000000000000\n";
    const uint64_t ta = FileClockSeconds(Game("a.bin")), tb = FileClockSeconds(Game("b.bin"));
    // A cache that vouches for stale hashes with the right size and time.
    WriteAll(dir / "launcher_cache.dat",
             CacheFile(3, Entry("a.bin", 5, ta, "stale") + Entry("b.bin", 4, tb, XxhOf("beta")) +
                              Entry("gone.bin", 3, 9, "kept")));
    FileIntegritySystem fis(Root());
    ASSERT_TRUE(fis.LoadLocalCache(CachePath()));
    fis.LoadManifest(list);
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), (Strings{"a.bin", "gone.bin"}));
    EXPECT_EQ(fis.LastHashedCount(), 0u);

    EXPECT_EQ(Paths(fis.VerifyFiles(true, {})), Strings{"gone.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 2u);
    EXPECT_EQ(SavedCache(fis), (std::map<std::string, Cached>{{"a.bin", {5, ta, XxhOf("alpha")}},
                                                               {"b.bin", {4, tb, XxhOf("beta")}},
                                                               {"gone.bin", {3, 9, "kept"}}}));
}

// Hundreds of files of every size, most hashed by helper threads: each is
// judged and cached exactly as it would be alone.
TEST_F(Integrity, ManyFilesAreEachJudgedAsAlone) {
    std::mt19937 rng(5);
    std::string list;
    Strings fetched;
    std::map<std::string, Cached> cached;
    for (int i = 0; i < 300; ++i) {
        // A few past the size read one at a time, the rest up to two chunks.
        const size_t size = i % 50 == 0 ? (3u << 19) + static_cast<size_t>(i) : rng() % 140000;
        std::string content(size, '\0');
        for (auto& c : content) c = static_cast<char>(rng());
        const std::string rel = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".bin";
        std::string line = Put(rel, content);
        if (i % 13 == 4) {
            fs::remove(Game(rel));
            fetched.push_back(rel);
        } else {
            if (i % 11 == 3) {
                line = rel + "," + std::to_string(size) + ",0,0123456789abcdef\n";
                fetched.push_back(rel);
            }
            cached[rel] = {size, FileClockSeconds(Game(rel)), XxhOf(content)};
        }
        list += line;
    }
    std::sort(fetched.begin(), fetched.end());
    for (bool force : {false, true}) {
        FileIntegritySystem fis(Root());
        fis.LoadManifest(list);
        EXPECT_EQ(Paths(fis.VerifyFiles(force, {})), fetched) << force;
        EXPECT_EQ(fis.LastHashedCount(), cached.size()) << force;
        EXPECT_EQ(SavedCache(fis), cached) << force;
    }
}

TEST_F(Integrity, SizeOrTimeChangeMakesTheFileHashedAgain) {
    struct Case {
        const char* what;
        std::string content;
        bool keepTime;
        bool fetched;
    } cases[] = {
        {"size changed", "longer content", true, true},
        {"time changed, same bytes", "content", false, false},
        {"time changed, other bytes", "CONTENT", false, true},
    };
    for (const auto& c : cases) {
        std::string list = Put("f.bin", "content");
        FileIntegritySystem fis(Root());
        fis.LoadManifest(list);
        ASSERT_TRUE(fis.VerifyFiles(false, {}).empty());
        auto when = fs::last_write_time(Game("f.bin"));
        WriteAll(Game("f.bin"), c.content);
        fs::last_write_time(Game("f.bin"), c.keepTime ? when : when - std::chrono::hours(30));
        EXPECT_EQ(fis.VerifyFiles(false, {}).size(), c.fetched ? 1u : 0u) << c.what;
        EXPECT_EQ(fis.LastHashedCount(), 1u) << c.what;
        EXPECT_EQ(SavedCache(fis).at("f.bin"),
                  (Cached{c.content.size(), FileClockSeconds(Game("f.bin")), XxhOf(c.content)}))
            << c.what;
    }
}

TEST_F(Integrity, MissingFileIsFetchedAndKeepsItsOldEntry) {
    std::string list = Put("a.bin", "here") + Put("b.bin", "soon gone");
    FileIntegritySystem fis(Root());
    fis.LoadManifest(list);
    fis.VerifyFiles(false, {});
    const Cached before = SavedCache(fis).at("b.bin");
    fs::remove(Game("b.bin"));
    auto fetch = fis.VerifyFiles(false, {});
    ASSERT_EQ(fetch.size(), 1u);
    EXPECT_EQ(fetch[0].path, "b.bin");
    EXPECT_EQ(fetch[0].size, 9u);
    EXPECT_EQ(fetch[0].hash, XxhOf("soon gone"));
    EXPECT_EQ(fis.LastHashedCount(), 0u);
    EXPECT_EQ(SavedCache(fis).at("b.bin"), before);

    // Entries for paths that left the list stay in the cache.
    fis.LoadManifest(Put("a.bin", "here"));
    fis.VerifyFiles(true, {});
    EXPECT_EQ(SavedCache(fis).count("b.bin"), 1u);
}

TEST_F(Integrity, FolderInPlaceOfAFileIsFetchedWithoutHashing) {
    fs::create_directories(Game("x.bin"));
    FileIntegritySystem fis(Root());
    fis.LoadManifest("x.bin,0,0,ef46db3751d8e999\n");
    EXPECT_EQ(Paths(fis.VerifyFiles(true, {})), Strings{"x.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 0u);
    EXPECT_TRUE(SavedCache(fis).empty());
}

TEST_F(Integrity, UnopenableFileHashesEmptyAndIsFetched) {
    std::string list = Put("locked.bin", "secret");
    fs::permissions(Game("locked.bin"), fs::perms::none);
    fs::permissions(dir, fs::perms::all);
    fs::permissions(root, fs::perms::all);
    // Root opens anything; the check runs in a child that gave up root.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
            if (std::ifstream(Game("locked.bin"))) _exit(11);
            FileIntegritySystem fis(Root());
            fis.LoadManifest(list);
            if (fis.VerifyFiles(false, {}).size() != 1 || fis.LastHashedCount() != 1) _exit(12);
            // The empty hash is now cached with the file's size and time.
            fis.LoadManifest("locked.bin,6,0,\n");
            if (!fis.VerifyFiles(false, {}).empty() || fis.LastHashedCount() != 0) _exit(13);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Integrity, ProgressAfterEachEntryEndsAtOne) {
    FileIntegritySystem fis(Root());
    std::vector<float> seen;
    auto record = [&](float p) { seen.push_back(p); };
    fis.VerifyFiles(false, record);
    EXPECT_TRUE(seen.empty());
    fis.LoadManifest(Put("a", "1") + "b,1,0,x\nc,1,0,y\n");
    EXPECT_EQ(fis.VerifyFiles(false, record).size(), 2u);
    EXPECT_EQ(seen, (std::vector<float>{1.0f / 3, 2.0f / 3, 1.0f}));
    EXPECT_EQ(fis.VerifyFiles(false, {}).size(), 2u);
}

TEST_F(Integrity, PathThatIsNotUtf8EndsVerificationWithAnException) {
    // Overlong "/" included: it must not slip through as a separator either.
    for (std::string bad : {"bad\xFF.bin", "cut\xC3", "over\xC0\xAFx", "sur\xED\xA0\x80", "big\xF4\x90\x80\x80"}) {
        FileIntegritySystem fis(Root());
        fis.LoadManifest(bad + ",1,0,h\n");
        EXPECT_THROW(fis.VerifyFiles(false, {}), std::exception) << bad;
        // The lock was released: the object keeps working.
        fis.LoadManifest(Put("good.bin", "g") + "\xF0\x9F\x98\x80.bin,1,0,h\n");
        EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"\xF0\x9F\x98\x80.bin"});
        EXPECT_TRUE(fis.SaveLocalCache(CachePath()));
    }
}

TEST_F(Integrity, CacheSaveDuringVerificationSeesAConsistentCache) {
    std::string list;
    for (int i = 0; i < 300; ++i) list += Put("many/f" + std::to_string(i), std::string(static_cast<size_t>(i), 'z'));
    FileIntegritySystem fis(Root());
    fis.LoadManifest(list);
    std::thread saver([&] {
        for (int i = 0; i < 40; ++i) fis.SaveLocalCache(CachePath());
    });
    for (int round = 0; round < 3; ++round) EXPECT_TRUE(fis.VerifyFiles(true, {}).empty());
    saver.join();
    EXPECT_EQ(SavedCache(fis).size(), 300u);
}

// ---------------------------------------------------------------- stop

// A closing launcher stops verification: entries after the stop are neither
// hashed nor cached, whether it came before the first entry or part-way (the
// helpers hashing ahead included).
TEST_F(Integrity, StopEndsVerificationBeforeTheNextEntry) {
    std::string list;
    for (int i = 0; i < 8; ++i)
        list += Put("f" + std::to_string(i) + ".bin", std::string(100000 + static_cast<size_t>(i), 'a'));
    for (size_t stopAfter : {0u, 3u}) {
        SCOPED_TRACE(stopAfter);
        FileIntegritySystem fis(Root());
        fis.LoadManifest(list);
        std::atomic<bool> stop{stopAfter == 0};
        size_t entries = 0;
        auto progress = [&](float) {
            if (++entries == stopAfter) stop = true;
        };
        EXPECT_TRUE(fis.VerifyFiles(true, progress, &stop).empty());
        EXPECT_EQ(entries, stopAfter);
        EXPECT_EQ(fis.LastHashedCount(), stopAfter);
        const auto cached = SavedCache(fis);
        EXPECT_EQ(cached.size(), stopAfter);
        for (const auto& [key, entry] : cached) EXPECT_EQ(entry.hash, XxhOf(ReadAll(Game(key)))) << key;
    }
}

// A file of gigabytes must not hold a closing launcher either: the stop is
// seen between chunks. A pipe plays the file, so the test knows the reader is
// past its first chunk when the stop comes.
TEST_F(Integrity, StopReachesTheMiddleOfAFile) {
    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // A reader that stops may close the pipe before the last chunk is written.
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    const std::string chunk(65536, 'p');
    for (bool stopMidway : {false, true}) {
        SCOPED_TRACE(stopMidway ? "stopped after the first chunk" : "read to its end");
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            const int fd = open(pipe.c_str(), O_WRONLY);
            auto put = [&] {
                for (size_t at = 0; at < chunk.size();) {
                    const ssize_t n = write(fd, chunk.data() + at, chunk.size() - at);
                    if (n <= 0) return;
                    at += static_cast<size_t>(n);
                }
            };
            put();
            // Until the reader has taken the whole first chunk.
            const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            int queued = 1;
            while (ioctl(fd, FIONREAD, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < guard)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (stopMidway) stop = true;
            put();
            close(fd);
        });
        const std::string hash = FileIntegritySystem::ComputeFileHash(pipe.wstring(), &stop);
        writer.join();
        EXPECT_EQ(hash, stopMidway ? "" : XxhOf(chunk + chunk));
    }
    std::signal(SIGPIPE, previous);
}

// A save that cannot be written whole (here, a disk too small for it) leaves
// the old cache file as it was, and no temporary file beside it.
TEST_F(Integrity, CacheSaveThatCannotFinishLeavesTheOldFileWhole) {
    const fs::path small = dir / "small";
    fs::create_directories(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno)
                     << "), so a full disk cannot be made";
    struct Unmount {
        fs::path at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{small};
    const std::string old = CacheFile(1, Entry("a", 1, 2, "ha"));
    WriteAll(small / "launcher_cache.dat", old);

    // Far more entries than the disk holds.
    std::string list;
    for (int i = 0; i < 3000; ++i) list += Put("f" + std::to_string(i) + std::string(40, 'x'), "c");
    FileIntegritySystem fis(Root());
    fis.LoadManifest(list);
    fis.VerifyFiles(false, {});
    EXPECT_FALSE(fis.SaveLocalCache((small / "launcher_cache.dat").wstring()));
    EXPECT_EQ(ReadAll(small / "launcher_cache.dat"), old);
    EXPECT_FALSE(fs::exists(small / "launcher_cache.dat.tmp"));

    // With room, the new file takes the old one's place whole.
    fs::remove(small / "launcher_cache.dat");
    FileIntegritySystem few(Root());
    few.LoadManifest(Put("one.bin", "1"));
    few.VerifyFiles(false, {});
    ASSERT_TRUE(few.SaveLocalCache((small / "launcher_cache.dat").wstring()));
    EXPECT_EQ(DecodeCache(ReadAll(small / "launcher_cache.dat")).size(), 1u);
    EXPECT_FALSE(fs::exists(small / "launcher_cache.dat.tmp"));
}

// What a launcher ended mid-download or mid-swap leaves beside listed files
// goes with the next verification that asks for it: every part file, and a
// backup beside a file that is current. A backup beside a file about to be
// fetched stays for its swap, and files the list does not name stay.
TEST_F(Integrity, LeftoversBesideListedFilesGoWhenAsked) {
    std::string list = Put("current.pak", "new") + Put("sub/stale.pak", "new stale");
    WriteAll(Game("sub/stale.pak"), "old stale");
    list += "missing.pak,3,0," + XxhOf("abc") + "\n";
    const std::map<std::string, std::string> leftovers{
        {"current.pak.part", "half"}, {"current.pak.bak", "old"}, {"sub/stale.pak.part", "ha"},
        {"sub/stale.pak.bak", "older"}, {"missing.pak.part", "a"}, {"unlisted.pak.part", "u"}};
    for (bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "removing leftovers" : "left alone");
        for (const auto& [rel, content] : leftovers) WriteAll(Game(rel), content);
        FileIntegritySystem fis(Root());
        fis.LoadManifest(list);
        EXPECT_EQ(Paths(fis.VerifyFiles(false, {}, nullptr, remove)), (Strings{"missing.pak", "sub/stale.pak"}));
        EXPECT_EQ(fis.LastLeftoversRemoved(), remove ? 4u : 0u);
        for (const auto& [rel, content] : leftovers) {
            const bool gone = remove && rel != "sub/stale.pak.bak" && rel != "unlisted.pak.part";
            EXPECT_EQ(fs::exists(Game(rel)), !gone) << rel;
        }
        EXPECT_EQ(ReadAll(Game("current.pak")), "new");
        EXPECT_EQ(ReadAll(Game("sub/stale.pak")), "old stale");
    }
    // A verification the stop cut short removes nothing.
    WriteAll(Game("current.pak.part"), "half");
    std::atomic<bool> stop{true};
    FileIntegritySystem fis(Root());
    fis.LoadManifest(list);
    fis.VerifyFiles(false, {}, &stop, true);
    EXPECT_TRUE(fs::exists(Game("current.pak.part")));
}

}  // namespace
