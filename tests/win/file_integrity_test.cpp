// What differs on Windows: UTF-16 paths, "\" separators, drives, device names,
// share modes and the C runtime's number parsing.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "patch/FileIntegritySystem.h"
#include "patch/HttpTransport.h"

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

TEST_F(WinIntegrity, PathThatIsNotUtf8Throws) {
    FileIntegritySystem fis(Base());
    fis.LoadManifest("bad\xFF.bin,1,0,h\n");
    EXPECT_THROW(fis.VerifyFiles(false, {}), std::exception);
    fis.LoadManifest("ok.bin,1,0,h\n");
    EXPECT_EQ(fis.VerifyFiles(false, {}).size(), 1u);
}

}  // namespace
