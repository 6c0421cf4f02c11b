// Swapping a download over a game file that carries the read-only attribute,
// as a folder copied from a disc or unpacked from some archives does. Windows
// refuses to replace or delete such a file, and a copy keeps the attribute.
// Under Wine the swap itself goes through, so what these cases look at is what
// the swap leaves: the file's attributes and any backup.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "patch/DownloadEngine.h"

namespace fs = std::filesystem;

namespace {

bool ReadOnly(const fs::path& p) {
    const DWORD attributes = GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

void SetReadOnly(const fs::path& p, bool on) {
    const DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(p.c_str(), on ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY);
}

void Write(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary | std::ios::trunc) << s; }

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ReadOnlyInstall : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vrenn_ro_" + std::to_string(GetCurrentProcessId()));
        Clear();
        fs::create_directories(dir);
    }
    void TearDown() override { Clear(); }
    // Read-only files do not go away until the attribute does.
    void Clear() {
        std::error_code ec;
        if (!fs::exists(dir, ec)) return;
        for (const auto& e : fs::directory_iterator(dir, ec)) SetReadOnly(e.path(), false);
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

}  // namespace

TEST_F(ReadOnlyInstall, SwapLeavesNormalAttributesAndNoBackup) {
    struct Case {
        const char* name;
        bool readOnlyFile;  // the game file in place
        bool staleBackup;   // a read-only ".bak" left by an earlier run
        bool partThere;     // false: the swap fails and the old file is restored
    } cases[] = {
        {"read-only game file replaced", true, false, true},
        {"read-only backup left by an earlier run", false, true, true},
        {"both", true, true, true},
        {"failed swap restores the read-only file", true, false, false},
    };
    const fs::path finalPath = dir / "data.pak";
    const fs::path backup = dir / "data.pak.bak";
    const fs::path part = dir / "data.pak.part";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clear();
        fs::create_directories(dir);
        Write(finalPath, "old");
        if (c.readOnlyFile) SetReadOnly(finalPath, true);
        if (c.staleBackup) {
            Write(backup, "stale");
            SetReadOnly(backup, true);
        }
        if (c.partThere) Write(part, "new");

        std::string error;
        EXPECT_EQ(InstallDownloadedFile(part.wstring(), finalPath.wstring(), error), c.partThere);
        EXPECT_EQ(error, c.partThere ? "" : "Falha ao substituir o arquivo baixado.");
        EXPECT_EQ(Read(finalPath), c.partThere ? "new" : "old");
        EXPECT_FALSE(ReadOnly(finalPath));
        EXPECT_FALSE(fs::exists(backup)) << "read-only: " << ReadOnly(backup);
        EXPECT_FALSE(fs::exists(part));
    }
}
