// The per-user store against the real registry and DPAPI of the Wine prefix,
// each test inside its own redirected HKEY_CURRENT_USER.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/RegistrySandbox.h"
#include "ui/CredentialStore.h"
#include "ui/UIManager.h"

namespace {

const wchar_t kKey[] = L"Software\\VrennOnlineLauncher";

class Store : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sandbox.Active()); }

    static void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Type and bytes of a stored value; type 0 when it is missing.
    static std::pair<DWORD, std::vector<unsigned char>> GetRaw(const wchar_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {0, {}};
        DWORD type = 0, size = 0;
        std::vector<unsigned char> data;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        } else {
            type = 0;
        }
        RegCloseKey(key);
        return {type, data};
    }
    static bool Contains(const std::vector<unsigned char>& hay, const std::string& needle) {
        return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
    }

    RegistrySandbox sandbox;
};

TEST_F(Store, NothingSavedGivesAnEmptyFormAndTheDefaultScale) {
    std::string login = "keep", second = "keep";
    EXPECT_FALSE(LoadCredentialsRegistry(login, second));
    DeleteCredentialsRegistry();  // a missing key is not an error
    UIManager ui(nullptr);
    EXPECT_STREQ(ui.emailBuf, "");
    EXPECT_STREQ(ui.passwordBuf, "");
    EXPECT_FALSE(ui.rememberMe);
    EXPECT_EQ(ui.newsFontScale, 1.0f);
}

TEST_F(Store, CredentialsRoundTripAsProtectedBlobs) {
    SaveCredentialsRegistry("jogadora@vrenn.test", "s3nh4 çom acento");
    for (const wchar_t* name : {L"username", L"token"}) {
        auto [type, bytes] = GetRaw(name);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
        EXPECT_FALSE(bytes.empty());
    }
    EXPECT_FALSE(Contains(GetRaw(L"username").second, "jogadora"));
    EXPECT_FALSE(Contains(GetRaw(L"token").second, "s3nh4"));

    std::string login, second;
    ASSERT_TRUE(LoadCredentialsRegistry(login, second));
    EXPECT_EQ(login, "jogadora@vrenn.test");
    EXPECT_EQ(second, "s3nh4 çom acento");

    UIManager ui(nullptr);
    EXPECT_STREQ(ui.emailBuf, "jogadora@vrenn.test");
    EXPECT_STREQ(ui.passwordBuf, "s3nh4 çom acento");
    EXPECT_TRUE(ui.rememberMe);

    DeleteCredentialsRegistry();
    EXPECT_EQ(GetRaw(L"username").first, 0u);
    EXPECT_EQ(GetRaw(L"token").first, 0u);
    EXPECT_FALSE(LoadCredentialsRegistry(login, second));
    UIManager after(nullptr);
    EXPECT_STREQ(after.emailBuf, "");
    EXPECT_FALSE(after.rememberMe);
}

TEST_F(Store, EmptySecondTextStillLoadsTheLogin) {
    // The login-page and Google flows remember the login with an empty second text.
    SaveCredentialsRegistry("usuario", "");
    std::string login, second = "caller";
    ASSERT_TRUE(LoadCredentialsRegistry(login, second));
    EXPECT_EQ(login, "usuario");
    EXPECT_EQ(second, "");
}

TEST_F(Store, UnusableUsernameValuesCountAsMissing) {
    const std::vector<unsigned char> token = EncryptCredential("segredo");
    const std::vector<unsigned char> emptyLogin = EncryptCredential("");
    ASSERT_FALSE(emptyLogin.empty());
    const wchar_t text[] = L"plain";
    const unsigned char garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
    } cases[] = {
        {"REG_SZ", REG_SZ, text, sizeof(text)},
        {"zero-size binary", REG_BINARY, nullptr, 0},
        {"blob of an empty text", REG_BINARY, emptyLogin.data(), static_cast<DWORD>(emptyLogin.size())},
        {"bytes that do not unprotect", REG_BINARY, garbage, sizeof(garbage)},
    };
    for (const Case& c : cases) {
        SetRaw(L"token", REG_BINARY, token.data(), static_cast<DWORD>(token.size()));
        SetRaw(L"username", c.type, c.data, c.size);
        std::string login, second;
        EXPECT_FALSE(LoadCredentialsRegistry(login, second)) << c.what;
        UIManager ui(nullptr);
        EXPECT_FALSE(ui.rememberMe) << c.what;
        EXPECT_STREQ(ui.emailBuf, "") << c.what;
    }
}

TEST_F(Store, MissingTokenLeavesTheCallersText) {
    const std::vector<unsigned char> login = EncryptCredential("so-login");
    SetRaw(L"username", REG_BINARY, login.data(), static_cast<DWORD>(login.size()));
    std::string name, second = "as passed";
    ASSERT_TRUE(LoadCredentialsRegistry(name, second));
    EXPECT_EQ(name, "so-login");
    EXPECT_EQ(second, "as passed");
}

TEST_F(Store, LongSavedCredentialsAreCutToTheFormBuffers) {
    const std::string login(200, 'l');
    const std::string password(300, 'p');
    SaveCredentialsRegistry(login, password);
    UIManager ui(nullptr);
    EXPECT_EQ(std::string(ui.emailBuf), login.substr(0, 127));
    EXPECT_EQ(std::string(ui.passwordBuf), password.substr(0, 255));
    EXPECT_TRUE(ui.rememberMe);
}

TEST_F(Store, ProtectionRoundTripsAndRejectsForeignBytes) {
    const std::string secret("bytes\0with nul", 14);
    const std::vector<unsigned char> blob = EncryptCredential(secret);
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(DecryptCredential(blob.data(), static_cast<uint32_t>(blob.size())), secret);
    std::vector<unsigned char> damaged = blob;
    damaged[damaged.size() / 2] ^= 0x5A;
    EXPECT_EQ(DecryptCredential(damaged.data(), static_cast<uint32_t>(damaged.size())), "");
    EXPECT_EQ(DecryptCredential(nullptr, 0), "");
}

TEST_F(Store, WipeBufferZeroesExactlyTheGivenBytes) {
    char buf[8];
    std::memset(buf, 'x', sizeof(buf));
    WipeBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 8), std::string("\0\0\0\0\0xxx", 8));
    WipeBuffer(buf + 5, 0);
    EXPECT_EQ(buf[5], 'x');
    WipeBuffer(nullptr, 8);  // nothing happens
}

TEST_F(Store, RegStringIsStoredAsWideTextWithItsTerminator) {
    SaveRegString(L"probe", "1.25");
    auto [type, bytes] = GetRaw(L"probe");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes.size(), 10u);  // (4 units + 1) * 2
    std::string back;
    ASSERT_TRUE(LoadRegString(L"probe", back));
    EXPECT_EQ(back, "1.25");
}

TEST_F(Store, RegStringReaderTakesShortTextsOnly) {
    const DWORD number = 7;
    struct Case {
        const char* what;
        std::string text;  // written with SaveRegString unless raw
        bool rawDword;
        bool loads;
    } cases[] = {
        {"63 units fit with the terminator", std::string(63, 'a'), false, true},
        {"64 units do not", std::string(64, 'a'), false, false},
        {"empty text", "", false, false},
        {"not REG_SZ", "", true, false},
    };
    for (const Case& c : cases) {
        if (c.rawDword)
            SetRaw(L"probe", REG_DWORD, &number, sizeof(number));
        else
            SaveRegString(L"probe", c.text);
        std::string out = "untouched";
        EXPECT_EQ(LoadRegString(L"probe", out), c.loads) << c.what;
        EXPECT_EQ(out, c.loads ? c.text : "untouched") << c.what;
    }
    std::string out;
    EXPECT_FALSE(LoadRegString(L"absent", out));
}

TEST_F(Store, NewsScaleIsTakenOnlyWithinItsRange) {
    struct Case {
        const char* stored;
        float scale;
    } cases[] = {
        {"1.25", 1.25f}, {"0.85", 1.0f}, {"1.5", 1.0f}, {"abc", 1.0f}, {"", 1.0f},  {"1.2x", 1.2f},
        {"0.90", 0.9f},  {"1.40", 1.4f}, {" 1.3", 1.3f}, {"nan", 1.0f}, {"1e99", 1.0f},
    };
    UIManager ui(nullptr);
    for (const Case& c : cases) {
        SaveRegString(L"newsFontScale", c.stored);
        ui.newsFontScale = 0.5f;
        ui.LoadNewsFontScale();
        EXPECT_EQ(ui.newsFontScale, c.scale) << "stored: '" << c.stored << "'";
    }
}

TEST_F(Store, NewsScaleIsSavedWithTwoDecimals) {
    UIManager ui(nullptr);
    struct Case {
        float scale;
        const char* text;
    } cases[] = {{1.1f, "1.10"}, {0.9f, "0.90"}, {1.35f, "1.35"}, {1.4f, "1.40"}};
    for (const Case& c : cases) {
        ui.newsFontScale = c.scale;
        ui.SaveNewsFontScale();
        std::string text;
        ASSERT_TRUE(LoadRegString(L"newsFontScale", text));
        EXPECT_EQ(text, c.text);
        UIManager next(nullptr);
        EXPECT_FLOAT_EQ(next.newsFontScale, c.scale);
    }
}

}  // namespace
