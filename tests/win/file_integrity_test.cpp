// What differs on Windows: UTF-16 paths, "\" separators, drives, device names,
// share modes, the C runtime's number parsing, and metadata read from folder
// listings instead of one stat per file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "patch/FileIntegritySystem.h"
#include "patch/HttpTransport.h"
#include "patch/LocalFiles.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class WinIntegrity : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        // A game folder whose own name is not ASCII.
        root = fs::temp_directory_path() /
               (L"vrenn_fis_\u00e7\u00e3o_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::wstring(name.begin(), name.end()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // The game folder as PatchManager hands it over: ending in "\".
    std::wstring Base() const { return root.wstring() + L"\\"; }
    // Written where the download engine would put it: base + UTF-16 of the list path.
    std::string Put(const std::string& listPath, const std::string& content) {
        fs::path dest(Base() + Utf8ToWString(listPath));
        fs::create_directories(dest.parent_path());
        std::ofstream(dest, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return listPath + "," + std::to_string(content.size()) + ",0," +
               FileIntegritySystem::ComputeFileHash(dest.wstring()) + "\n";
    }
    static Strings Paths(const std::vector<FileMetadata>& list) {
        Strings out;
        for (const auto& m : list) out.push_back(m.path);
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path root;
};

TEST_F(WinIntegrity, NonAsciiAndNestedPathsAreTheFilesTheDownloadWrites) {
    const std::string paths[] = {
        "A\xC3\xA7\xC3\xA3o/\xC3\xA7.txt",                                   // Ação/ç.txt
        "\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.bin",  // 日本/ファイル.bin
        "emoji/\xF0\x9F\x98\x80.dat",                                        // outside the BMP: a surrogate pair
        "deep/a/b/c/d/e.bin",
    };
    std::string list;
    for (const auto& p : paths) list += Put(p, "content of " + p);
    EXPECT_TRUE(fs::exists(root / L"A\u00e7\u00e3o" / L"\u00e7.txt"));
    EXPECT_TRUE(fs::exists(root / L"emoji" / L"\U0001F600.dat"));

    FileIntegritySystem fis(Base());
    fis.LoadManifest(list);
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 4u);
    for (const auto& p : paths) fs::remove(fs::path(Base() + Utf8ToWString(p)));
    EXPECT_EQ(fis.VerifyFiles(false, {}).size(), 4u);
}

TEST_F(WinIntegrity, CacheWithNonAsciiKeysIsWrittenAndReadBack) {
    std::string list = Put("\xC3\xA1gua/m\xC3\xBAsica.ogg", "som") + Put("plain.bin", "p");
    const std::wstring cachePath = root.wstring() + L"\\cach\u00ea.dat";
    {
        FileIntegritySystem fis(Base());
        fis.LoadManifest(list);
        fis.VerifyFiles(false, {});
        ASSERT_TRUE(fis.SaveLocalCache(cachePath));
    }
    std::ifstream in(fs::path(cachePath), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    // Keys are stored as the list's UTF-8 bytes, not UTF-16.
    EXPECT_NE(bytes.find("\xC3\xA1gua/m\xC3\xBAsica.ogg"), std::string::npos);

    FileIntegritySystem next(Base());
    ASSERT_TRUE(next.LoadLocalCache(cachePath));
    next.LoadManifest(list);
    EXPECT_TRUE(next.VerifyFiles(false, {}).empty());
    EXPECT_EQ(next.LastHashedCount(), 0u);
}

TEST_F(WinIntegrity, CachedTimeIsTheFileClockInWholeSeconds) {
    std::string list = Put("t.bin", "tick");
    FileIntegritySystem fis(Base());
    fis.LoadManifest(list);
    fis.VerifyFiles(false, {});
    const std::wstring cachePath = root.wstring() + L"\\c.dat";
    ASSERT_TRUE(fis.SaveLocalCache(cachePath));
    std::ifstream in(fs::path(cachePath), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 4u + 4 + 5 + 8 + 8 + 4 + 16);
    uint64_t time = 0;
    for (int i = 7; i >= 0; --i) time = (time << 8) | static_cast<unsigned char>(bytes[4 + 4 + 5 + 8 + i]);
    auto written = fs::last_write_time(root / L"t.bin");
    EXPECT_EQ(time, static_cast<uint64_t>(
                        std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count()));
}

TEST_F(WinIntegrity, BackslashesNestAndNeverEscape) {
    std::string list = Put("sub\\x.bin", "nested");
    EXPECT_TRUE(fs::exists(root / L"sub" / L"x.bin"));
    fs::create_directories(root.parent_path() / L"vrenn_outside");
    FileIntegritySystem fis(Base());
    Strings warnings;
    fis.SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    const Strings refused = {"..\\vrenn_outside\\x",  "\\vrenn_outside\\x", "sub\\..\\..\\x", "C:x",
                             "c:\\windows\\win.ini", "\\\\?\\C:\\x",          "sub\\x.bin:ads", "sub\\\\x"};
    for (const auto& r : refused) list += r + ",1,0,h\n";
    fis.LoadManifest(list);
    EXPECT_EQ(warnings.size(), refused.size());
    EXPECT_TRUE(fis.VerifyFiles(true, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 1u);
    fs::remove_all(root.parent_path() / L"vrenn_outside");
}

TEST_F(WinIntegrity, DeviceNamesAreNeverListed) {
    FileIntegritySystem fis(Base());
    Strings warnings;
    fis.SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    // Each of these opens a device on Windows rather than a file in the folder.
    const Strings devices = {"nul", "NUL.txt", "con", "Con.log", "aux", "prn.dat", "COM1", "com3.bin", "LPT1", "lpt9.x",
                             "sub/nul", "nul/x.bin", "CONOUT$"};
    std::string list;
    for (const auto& d : devices) list += d + ",0,0,ef46db3751d8e999\n";
    fis.LoadManifest(list + Put("console.bin", "fine"));
    EXPECT_EQ(warnings.size(), devices.size());
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 1u);
}

TEST_F(WinIntegrity, FileHeldWithoutSharingIsFetched) {
    std::string list = Put("held.bin", "held");
    HANDLE h = CreateFileW((Base() + L"held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash(Base() + L"held.bin"), "");
    FileIntegritySystem fis(Base());
    fis.LoadManifest(list);
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"held.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 1u);
    CloseHandle(h);
    // Its empty hash was cached with the real size and time, so only a forced run reads it now.
    EXPECT_EQ(fis.VerifyFiles(false, {}).size(), 1u);
    EXPECT_EQ(fis.LastHashedCount(), 0u);
    EXPECT_TRUE(fis.VerifyFiles(true, {}).empty());
}

TEST_F(WinIntegrity, RootWithOrWithoutSeparatorAndNumberParsing) {
    std::string list = Put("a.bin", "abc");
    const std::string hash = list.substr(list.rfind(',') + 1, 16);
    for (const std::wstring& base : {root.wstring(), root.wstring() + L"\\", root.wstring() + L"/"}) {
        FileIntegritySystem fis(base);
        // The C runtime's conversion: space and sign accepted, stops at a non-digit, overflow skips.
        fis.LoadManifest("a.bin, +3,-1," + hash + "\nb.bin,-1,7x,h\nc.bin,18446744073709551616,0,h\n");
        auto fetch = fis.VerifyFiles(false, {});
        ASSERT_EQ(fetch.size(), 1u);
        EXPECT_EQ(fetch[0].path, "b.bin");
        EXPECT_EQ(fetch[0].size, 18446744073709551615ull);
        EXPECT_EQ(fetch[0].modifiedTime, 7u);
        EXPECT_EQ(fis.LastHashedCount(), 1u);
    }
}

// A last-write time as whole seconds since 1970 and 100 ns ticks past them.
void SetWriteTime(const fs::path& p, int64_t seconds, int64_t ticks = 0) {
    HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
    const uint64_t t = static_cast<uint64_t>((seconds + 11644473600) * 10000000 + ticks);
    FILETIME ft{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Runs a shell command line in `folder` on the Linux side (Wine has no call that
// makes a symbolic link) and waits until it has finished.
void RunUnixShell(const fs::path& folder, const std::string& commands) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(unixName, nullptr);
    char* dir = unixName(folder.c_str());
    ASSERT_NE(dir, nullptr);
    const std::string script = "cd '" + std::string(dir) + "' && " + commands + " && : > .shell-done";
    HeapFree(GetProcessHeap(), 0, dir);
    std::wstring line = L"/bin/sh -c \"" + Utf8ToWString(script) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // A Linux child's handle does not follow it: wait for the mark it leaves last.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(folder / L".shell-done") && std::chrono::steady_clock::now() < deadline) Sleep(10);
    ASSERT_TRUE(fs::exists(folder / L".shell-done")) << script;
    fs::remove(folder / L".shell-done");
}

struct ListingCase {
    const char* what;
    std::wstring path;  // relative to the game folder
    LocalFileKind kind;
    bool fromListing;  // answered without a stat of its own
};

// Every answer the listing gives must be the one the per-file stat gives.
void ExpectListingAsStat(const std::wstring& base, const std::vector<ListingCase>& cases) {
    FolderListings listings;
    for (const auto& c : cases) listings.Expect(base + c.path);
    listings.Start();
    listings.WaitUntilListed();
    for (const auto& c : cases) {
        const std::wstring full = base + c.path;
        const size_t statsBefore = listings.StatCount();
        const LocalFileInfo listed = listings.Query(full);
        const LocalFileInfo statted = StatLocalFile(full);
        EXPECT_EQ(statted.kind, c.kind) << c.what;
        EXPECT_EQ(listed.kind, statted.kind) << c.what;
        EXPECT_EQ(listed.size, statted.size) << c.what;
        EXPECT_EQ(listed.writeSeconds, statted.writeSeconds) << c.what;
        EXPECT_EQ(listings.StatCount() == statsBefore, c.fromListing) << c.what;
        // What an open file says of itself must be what the stat says, or
        // nothing; every file the listing vouches for says it.
        LocalFileInfo described;
        if (LocalFileReader(full).Describe(described)) {
            EXPECT_EQ(described, statted) << c.what;
        } else {
            EXPECT_FALSE(c.kind == LocalFileKind::Regular && c.fromListing) << c.what;
        }
    }
}

TEST_F(WinIntegrity, ListingAnswersAsThePerFileStat) {
    const fs::path r = root;
    auto put = [&](const fs::path& p, const std::string& content, int64_t seconds, int64_t ticks = 0) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        SetWriteTime(p, seconds, ticks);
    };
    put(r / L"plain.bin", "abc", 1700000000, 9999999);
    put(r / L"exact.bin", "exact", 1700000001);
    put(r / L"empty.bin", "", 1600000000, 5000000);
    put(r / L"attrs.bin", "read-only and hidden", 1650000000);
    put(r / L"y2040.bin", "past 2^31", 2200000000, 1);
    put(r / L"UPPER.BIN", "case", 1700000002);
    put(r / L"Sub" / L"inner.bin", "nested", 1700000003);
    put(r / L"\u00e7" / L"\u00e3o.bin", "Latin", 1700000004);
    put(r / L"\u65e5\u672c" / L"\u30d5\u30a1\u30a4\u30eb.bin", "BMP", 1700000005);
    put(r / L"emoji" / L"\U0001F600.dat", "surrogates", 1700000006);
    put(r / L"a long file name.text", "has a short name", 1700000007);
    // Out of the C runtime's 32-bit range or close to its ends: left to the stat.
    put(r / L"y1960.bin", "before 1970", -315619200);
    put(r / L"epoch.bin", "first second", 0, 5000000);
    put(r / L"y2106.bin", "last 32-bit second", 0xFFFFFFFFll);
    put(r / L"y2200.bin", "far", 7258118400);
    fs::create_directories(r / L"folder.bin");
    SetFileAttributesW((r / L"attrs.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // A read-only file would keep the fixture from removing the folder.
    struct Writable {
        fs::path file;
        ~Writable() { SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL); }
    } writable{r / L"attrs.bin"};
    // Beyond 32 bits of size without writing it: the high half of the listed size counts.
    {
        HANDLE h = CreateFileW((r / L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = (5ll << 30) + 3;
        EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
    }
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW((r / L"a long file name.text").c_str(), shortName, MAX_PATH), 0u);
    const std::wstring shortLeaf = fs::path(shortName).filename().wstring();

    const std::vector<ListingCase> cases = {
        {"file, time with a fraction of a second", L"plain.bin", LocalFileKind::Regular, true},
        {"file, time on a whole second", L"exact.bin", LocalFileKind::Regular, true},
        {"empty file", L"empty.bin", LocalFileKind::Regular, true},
        {"read-only hidden file", L"attrs.bin", LocalFileKind::Regular, true},
        {"time past 2038", L"y2040.bin", LocalFileKind::Regular, true},
        {"size past 4 GiB", L"big.bin", LocalFileKind::Regular, true},
        {"file in a folder", L"Sub\\inner.bin", LocalFileKind::Regular, true},
        {"forward slash", L"Sub/inner.bin", LocalFileKind::Regular, true},
        {"folder spelled in another case", L"sub\\inner.bin", LocalFileKind::Regular, true},
        {"Latin letters", L"\u00e7\\\u00e3o.bin", LocalFileKind::Regular, true},
        {"Japanese letters", L"\u65e5\u672c\\\u30d5\u30a1\u30a4\u30eb.bin", LocalFileKind::Regular, true},
        {"outside the BMP", L"emoji\\\U0001F600.dat", LocalFileKind::Regular, true},
        {"file name spaced", L"a long file name.text", LocalFileKind::Regular, true},
        {"folder where a file is expected", L"folder.bin", LocalFileKind::NotRegular, true},
        {"name in another case", L"upper.bin", LocalFileKind::Regular, false},
        {"name in mixed case", L"Upper.Bin", LocalFileKind::Regular, false},
        {"short name", shortLeaf, LocalFileKind::Regular, shortLeaf == L"a long file name.text"},
        {"time before 1970", L"y1960.bin", LocalFileKind::Regular, false},
        {"time in the first second", L"epoch.bin", LocalFileKind::Regular, false},
        {"time on the last 32-bit second", L"y2106.bin", LocalFileKind::Regular, false},
        {"time past 2106", L"y2200.bin", LocalFileKind::Regular, false},
        {"missing file", L"missing.bin", LocalFileKind::Missing, false},
        {"missing folder", L"nowhere\\x.bin", LocalFileKind::Missing, false},
        {"file where a folder is expected", L"plain.bin\\x.bin", LocalFileKind::Missing, false},
    };
    ExpectListingAsStat(Base(), cases);
}

TEST_F(WinIntegrity, ListingAnswersAsThePerFileStatThroughLinks) {
    const fs::path r = root;
    fs::create_directories(r / L"Sub");
    std::ofstream(r / L"target.bin", std::ios::binary) << "link target";
    std::ofstream(r / L"Sub" / L"inner.bin", std::ios::binary) << "inside";
    SetWriteTime(r / L"target.bin", 1700000000, 1234567);
    if (!UnderWine()) GTEST_SKIP() << "links and names that differ only in case are made by Wine's Linux side";
    // The C++ library's folder removal does not know links: they go the way they came.
    struct Unlink {
        fs::path at;
        ~Unlink() { RunUnixShell(at, "rm -f link.bin absolute.bin link-dir dangling.bin twin.bin TWIN.BIN"); }
    } unlink{r};
    // Also two names that differ only in letter case, which Windows cannot make.
    RunUnixShell(r,
                 "ln -s target.bin link.bin && ln -s Sub link-dir && ln -s nowhere dangling.bin && "
                 "ln -s \"$PWD/target.bin\" absolute.bin && printf lower > twin.bin && printf UPPER! > TWIN.BIN");
    const std::vector<ListingCase> cases = {
        {"link to a file", L"link.bin", LocalFileKind::Regular, true},
        {"absolute link to a file", L"absolute.bin", LocalFileKind::Regular, true},
        {"link to a folder", L"link-dir", LocalFileKind::NotRegular, false},
        {"file through a linked folder", L"link-dir\\inner.bin", LocalFileKind::Regular, true},
        {"dangling link", L"dangling.bin", LocalFileKind::Missing, false},
        {"twin in lower case", L"twin.bin", LocalFileKind::Regular, true},
        {"twin in upper case", L"TWIN.BIN", LocalFileKind::Regular, true},
        {"twin in neither case", L"Twin.bin", LocalFileKind::Regular, false},
    };
    ExpectListingAsStat(Base(), cases);
}

TEST_F(WinIntegrity, EachVerificationReadsTheFoldersAnew) {
    std::string list = Put("dir/a.bin", "first") + Put("dir/b.bin", "bee");
    const std::string later = Put("dir/later.bin", "not yet");
    fs::remove(root / L"dir" / L"later.bin");
    FileIntegritySystem fis(Base());
    fis.LoadManifest(list + later);
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"dir/later.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 2u);

    std::ofstream(root / L"dir" / L"a.bin", std::ios::binary | std::ios::app) << " and more";
    std::ofstream(root / L"dir" / L"later.bin", std::ios::binary) << "not yet";
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"dir/a.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 2u);
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), Strings{"dir/a.bin"});
    EXPECT_EQ(fis.LastHashedCount(), 0u);
}

// Hundreds of files of every size, most hashed by helper threads: the same
// judgement as each file hashed alone, and a cache that vouches for them after.
TEST_F(WinIntegrity, ManyFilesAreEachJudgedAsAlone) {
    std::mt19937 rng(5);
    std::string list;
    Strings fetched;
    size_t present = 0;
    for (int i = 0; i < 300; ++i) {
        const size_t size = i % 50 == 0 ? (3u << 19) + static_cast<size_t>(i) : rng() % 140000;
        std::string content(size, '\0');
        for (auto& c : content) c = static_cast<char>(rng());
        const std::string rel = std::string("d") + char('0' + i % 7) + "/\u00e7" + std::to_string(i) + ".bin";
        std::string line = Put(rel, content);
        if (i % 13 == 4) {
            fs::remove(fs::path(Base() + Utf8ToWString(rel)));
            fetched.push_back(rel);
        } else {
            ++present;
            if (i % 11 == 3) {
                line = rel + "," + std::to_string(size) + ",0,0123456789abcdef\n";
                fetched.push_back(rel);
            }
        }
        list += line;
    }
    std::sort(fetched.begin(), fetched.end());
    FileIntegritySystem fis(Base());
    fis.LoadManifest(list);
    EXPECT_EQ(Paths(fis.VerifyFiles(true, {})), fetched);
    EXPECT_EQ(fis.LastHashedCount(), present);
    // A hash handed to the wrong file would now be vouched for by the cache.
    EXPECT_EQ(Paths(fis.VerifyFiles(false, {})), fetched);
    EXPECT_EQ(fis.LastHashedCount(), 0u);
}

TEST_F(WinIntegrity, ListPathsMatchTheDiskInAnyLetterCase) {
    std::string list = Put("Data/File.bin", "mixed case on disk");
    const std::string entry = list.substr(list.find(','));
    FileIntegritySystem fis(Base());
    fis.LoadManifest("data/file.bin" + entry + "DATA/FILE.BIN" + entry + "Data/File.bin" + entry);
    EXPECT_TRUE(fis.VerifyFiles(false, {}).empty());
    EXPECT_EQ(fis.LastHashedCount(), 3u);
}

TEST_F(WinIntegrity, HashReadsEveryChunkAndSharesAsAStreamDoes) {
    std::mt19937_64 rng(11);
    const std::wstring file = Base() + L"h.bin";
    for (size_t n : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{3 * 65536 + 7}}) {
        std::string bytes(n, '\0');
        for (auto& b : bytes) b = static_cast<char>(rng());
        std::ofstream(fs::path(file), std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char expected[17];
        snprintf(expected, sizeof expected, "%016llx",
                 static_cast<unsigned long long>(XXH64(bytes.data(), bytes.size(), 0)));
        EXPECT_EQ(FileIntegritySystem::ComputeFileHash(file), expected) << n << " bytes";
    }
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash(root.wstring()), "") << "a folder";

    // Another writer that shares reading is no obstacle; one that holds delete access is.
    const std::string digest = FileIntegritySystem::ComputeFileHash(file);
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash(file), digest);
    CloseHandle(writer);
    HANDLE deleter = CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(deleter, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileIntegritySystem::ComputeFileHash(file), "");
    CloseHandle(deleter);
}

TEST_F(WinIntegrity, PathThatIsNotUtf8Throws) {
    FileIntegritySystem fis(Base());
    fis.LoadManifest("bad\xFF.bin,1,0,h\n");
    EXPECT_THROW(fis.VerifyFiles(false, {}), std::exception);
    fis.LoadManifest("ok.bin,1,0,h\n");
    EXPECT_EQ(fis.VerifyFiles(false, {}).size(), 1u);
}

// Leftovers of an ended run are found through the folder listings by their
// exact names, in a folder whose name is not ASCII either, and removed; the
// cache file is replaced whole, or not at all when the old one cannot go.
TEST_F(WinIntegrity, LeftoversGoAndTheCacheFileIsReplacedWhole) {
    auto at = [&](const std::string& rel) { return fs::path(Base() + Utf8ToWString(rel)); };
    auto write = [&](const std::string& rel, const std::string& content) {
        std::ofstream(at(rel), std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    };
    const std::string list = Put("dados/\xC3\xA7\xC3\xA3o.pak", "new") + Put("outro.pak", "x");
    const Strings leftovers{"dados/\xC3\xA7\xC3\xA3o.pak.part", "dados/\xC3\xA7\xC3\xA3o.pak.bak", "outro.pak.part"};
    for (const std::string& rel : leftovers) write(rel, "left");
    FileIntegritySystem fis(Base());
    fis.LoadManifest(list);
    EXPECT_TRUE(fis.VerifyFiles(false, {}, nullptr, true).empty());
    EXPECT_EQ(fis.LastLeftoversRemoved(), leftovers.size());
    for (const std::string& rel : leftovers) EXPECT_FALSE(fs::exists(at(rel))) << rel;

    const std::wstring cachePath = Base() + L"launcher_cache.dat";
    write("launcher_cache.dat", std::string(4, '\0'));
    ASSERT_TRUE(fis.SaveLocalCache(cachePath));
    EXPECT_FALSE(fs::exists(cachePath + L".tmp"));
    FileIntegritySystem reread(Base());
    ASSERT_TRUE(reread.LoadLocalCache(cachePath));
    reread.LoadManifest(list);
    EXPECT_TRUE(reread.VerifyFiles(false, {}).empty());
    EXPECT_EQ(reread.LastHashedCount(), 0u) << "the saved cache did not vouch for the files";

    // Held open by a program that does not let it be deleted or replaced.
    const std::string before = [&] {
        std::ifstream in(fs::path(cachePath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    HANDLE holder = CreateFileW(cachePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    fis.LoadManifest(Put("terceiro.pak", "3"));
    fis.VerifyFiles(false, {});
    EXPECT_FALSE(fis.SaveLocalCache(cachePath));
    CloseHandle(holder);
    std::ifstream in(fs::path(cachePath), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    EXPECT_FALSE(fs::exists(cachePath + L".tmp"));
}

}  // namespace
