#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/Startup.h"

namespace fs = std::filesystem;

TEST(CrashLine, CodeAndAddressInLowerCaseHexWithOnePrefixEach) {
    EXPECT_EQ(CrashLine(0xC0000005, reinterpret_cast<void*>(0x7FF6ABCD1234ULL)),
              "CRASH DETECTADO! Código de Exceção: 0xc0000005 no endereço: 0x7ff6abcd1234");
    EXPECT_EQ(CrashLine(0x80000003, nullptr), "CRASH DETECTADO! Código de Exceção: 0x80000003 no endereço: 0x0");
}

class BackupCleanup : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vrenn_backup_" + std::to_string(GetCurrentProcessId()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        bak = dir / "VrennOnlineLauncher.exe.bak";
        std::ofstream(bak) << "old build";
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        fs::remove_all(dir);
    }
    // A top-level window with the given title, visible or not, pumped while we wait.
    void MakeWindow(const wchar_t* title, bool visible) {
        window = CreateWindowExW(0, L"STATIC", title, WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
    }
    // Pumps until done() holds or the time is up; true when done() held.
    template <typename Done>
    bool PumpUntil(Done done, std::chrono::milliseconds ms) {
        auto end = std::chrono::steady_clock::now() + ms;
        while (std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            if (done()) return true;
            Sleep(10);
        }
        return done();
    }
    void PumpFor(std::chrono::milliseconds ms) {
        PumpUntil([] { return false; }, ms);
    }
    std::wstring ExeDir() const { return dir.wstring() + L"/"; }
    fs::path dir, bak;
    HWND window = nullptr;
};

TEST_F(BackupCleanup, RemovesBackupWhenTitledWindowIsVisible) {
    const wchar_t* title = L"Vrenn Backup Test Visible";
    MakeWindow(title, true);
    ScheduleBackupCleanup(ExeDir(), title, std::chrono::milliseconds(200));
    EXPECT_TRUE(fs::exists(bak));  // not before the delay
    EXPECT_TRUE(PumpUntil([&] { return !fs::exists(bak); }, std::chrono::seconds(30)));
}

TEST_F(BackupCleanup, KeepsBackupWhenWindowHiddenOrMissing) {
    const wchar_t* title = L"Vrenn Backup Test Hidden";
    MakeWindow(title, false);
    ScheduleBackupCleanup(ExeDir(), title, std::chrono::milliseconds(100));
    ScheduleBackupCleanup(ExeDir(), L"No Such Window Title", std::chrono::milliseconds(100));
    PumpFor(std::chrono::milliseconds(1000));
    EXPECT_TRUE(fs::exists(bak));
}

TEST_F(BackupCleanup, MissingBackupIsIgnored) {
    fs::remove(bak);
    const wchar_t* title = L"Vrenn Backup Test NoFile";
    MakeWindow(title, true);
    ScheduleBackupCleanup(ExeDir(), title, std::chrono::milliseconds(50));
    PumpFor(std::chrono::milliseconds(600));
    EXPECT_FALSE(fs::exists(bak));
}
