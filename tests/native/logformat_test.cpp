#include <gtest/gtest.h>

#include "app/ConfigText.h"
#include "app/LogFormat.h"

TEST(LogFormat, EscapeTable) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {"a\"b", "a\\\"b"},
        {"a\\b", "a\\\\b"},
        {std::string("\x01\x1b\x1f", 3), "\\u0001\\u001b\\u001f"},
        {std::string("\0", 1), "\\u0000"},
        {"\x7f", "\x7f"},
        {"Exceção", "Exceção"},
        {"/", "/"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeJsonLog(c.in), c.out) << c.in;
}

TEST(LogFormat, LineAndRecord) {
    EXPECT_EQ(FormatLogLine("2026-12-09 06:23:41.075", "INFO", "Olá \"x\""),
              "[2026-12-09 06:23:41.075] [INFO] Olá \"x\"\n");
    EXPECT_EQ(FormatLogRecord("ERROR", "q\"b\\t\tn\nc\x01", "2026-01-02 03:04:05.006"),
              "{\"level\":\"ERROR\",\"message\":\"q\\\"b\\\\t\\tn\\nc\\u0001\",\"timestamp\":\"2026-01-02 03:04:05.006\"}");
}

TEST(LogFormat, TimestampPadsMilliseconds) {
    EXPECT_EQ(FormatLogTimestamp(2026, 12, 9, 6, 23, 41, 5), "2026-12-09 06:23:41.005");
    EXPECT_EQ(FormatLogTimestamp(2026, 1, 2, 3, 4, 5, 0), "2026-01-02 03:04:05.000");
    EXPECT_EQ(FormatLogTimestamp(2026, 1, 2, 3, 4, 5, 999), "2026-01-02 03:04:05.999");
}

TEST(LogFormat, OnlyExactUpperCaseErrorLevelsArePosted) {
    EXPECT_TRUE(IsRemoteLevel("ERROR"));
    EXPECT_TRUE(IsRemoteLevel("FATAL"));
    for (const char* level : {"INFO", "WARN", "error", "fatal", "Error", "ERROR ", ""}) EXPECT_FALSE(IsRemoteLevel(level));
}

TEST(StartupText, ExeDirFromModulePath) {
    EXPECT_EQ(ExeDirFromModulePath(L"D:\\Jogos\\X\\VrennOnlineLauncher.exe"), L"D:\\Jogos\\X/");
    EXPECT_EQ(ExeDirFromModulePath(L"/opt/x/launcher.exe"), L"/opt/x/");
    EXPECT_EQ(ExeDirFromModulePath(L"C:\\a/b\\c.exe"), L"C:\\a/b/");
    EXPECT_EQ(ExeDirFromModulePath(L"launcher.exe"), L"launcher.exe/");
}
