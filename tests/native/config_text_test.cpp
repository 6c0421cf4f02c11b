// Reading the launcher configuration by text search, and the self-update script text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ConfigText.h"
#include "app/UpdateScript.h"

TEST(ConfigText, ConfigUrlDropsEveryTrailingSlash) {
    struct Case {
        std::string base, url;
    } cases[] = {
        {"http://127.0.0.1:5001", "http://127.0.0.1:5001/api/launcher/config"},
        {"http://127.0.0.1:5001/", "http://127.0.0.1:5001/api/launcher/config"},
        {"http://127.0.0.1:5001//", "http://127.0.0.1:5001/api/launcher/config"},
        {"https://h.example/base/", "https://h.example/base/api/launcher/config"},
        {"", "/api/launcher/config"},
        {"///", "/api/launcher/config"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetConfigUrl(c.base), c.url) << c.base;
}

TEST(ConfigText, ParseJsonStringTakesTheNextQuotedTextAfterTheColon) {
    struct Case {
        const char* why;
        std::string json, key, value;
    } cases[] = {
        {"plain", R"({"patchServerUrl":"http://a:1"})", "patchServerUrl", "http://a:1"},
        {"spaces around the colon", R"({"k" :  "v"})", "k", "v"},
        {"empty value", R"({"k":""})", "k", ""},
        {"missing key", R"({"other":"v"})", "k", ""},
        {"key only as a prefix of another key", R"({"kk":"v"})", "k", ""},
        {"number value takes the next key's name", R"({"k":5,"next":"v"})", "k", "next"},
        {"true value takes the next key's name", R"({"k":true,"n":"v"})", "k", "n"},
        {"null value takes the next key's name", R"({"k":null,"n":"v"})", "k", "n"},
        {"non-string value and nothing after", R"({"k":5})", "k", ""},
        {"escaped quote ends the value, backslash kept", R"({"k":"ab\"cd"})", "k", "ab\\"},
        {"escapes stay undecoded", R"({"k":"http:\/\/x\u00e9"})", "k", "http:\\/\\/x\\u00e9"},
        {"first occurrence wins, even nested", R"({"o":{"k":"inner"},"k":"outer"})", "k", "inner"},
        {"first occurrence wins, even as another key's value", R"({"a":"k","b":"wrong","k":"right"})", "k", "wrong"},
        {"no colon after the key", R"(["k"])", "k", ""},
        {"no closing quote", R"({"k":"abc)", "k", ""},
        {"not JSON at all", "<html>erro 500</html>", "k", ""},
        {"UTF-8 bytes copied unchanged", R"({"k":"versão"})", "k", "versão"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseJsonString(c.json, c.key), c.value) << c.why;
}

TEST(ConfigText, GoogleSectionDecision) {
    struct Case {
        const char* why;
        std::string json;
        bool enabled;
    } cases[] = {
        {"exact false", R"({"googleOAuthEnabled":false,"googleClientId":"id"})", false},
        {"exact true", R"({"googleOAuthEnabled":true})", true},
        {"false wins over a later true", R"({"googleOAuthEnabled":true,"x":{"googleOAuthEnabled":false}})", false},
        {"space after the colon: client id decides (set)", R"({"googleOAuthEnabled": false,"googleClientId":"id"})",
         true},
        {"space after the colon: client id decides (unset)", R"({"googleOAuthEnabled": true})", false},
        {"space before the colon: client id decides", R"({"googleOAuthEnabled" :false,"googleClientId":"id"})", true},
        {"quoted \"false\" is not the boolean", R"({"googleOAuthEnabled":"false","googleClientId":"id"})", true},
        {"only a client id", R"({"googleClientId":"123.apps"})", true},
        {"empty client id", R"({"googleClientId":""})", false},
        {"client id that is not a string reads the next key", R"({"googleClientId":0,"n":"v"})", true},
        {"nothing about Google", R"({"patchServerUrl":"http://a"})", false},
        {"\"falsey\" still begins with :false", R"({"googleOAuthEnabled":falsey,"googleClientId":"id"})", false},
    };
    for (const auto& c : cases) EXPECT_EQ(GoogleSectionEnabled(c.json), c.enabled) << c.why;
}

TEST(ConfigText, UpdateOrderedByPlainTextInequalityWithADownloadUrl) {
    struct Case {
        std::string version, url;
        bool update;
    } cases[] = {
        {"2.0", "http://h/new.exe", false},
        {"2.1", "http://h/new.exe", true},
        {"1.9", "http://h/new.exe", true},  // a downgrade too
        {"2.00", "http://h/new.exe", true},
        {"2.0.0", "http://h/new.exe", true},
        {"2.0 ", "http://h/new.exe", true},
        {" 2.0", "http://h/new.exe", true},
        {"2.1", "", false},
        {"", "http://h/new.exe", false},
        {"", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SelfUpdateWanted(c.version, c.url), c.update) << "'" << c.version << "' '" << c.url << "'";
}

TEST(UpdateScript, TwentyFiveLinesEachEndedByALineFeed) {
    const std::string text = kUpdateScriptText;
    EXPECT_EQ(text.size(), 994u);
    EXPECT_EQ(text.find('\r'), std::string::npos);  // text mode adds the CR on disk
    ASSERT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    const std::vector<std::string> expected{
        "$ErrorActionPreference = 'Stop'",
        "$root = Split-Path -Parent $MyInvocation.MyCommand.Path",
        "$old = Join-Path $root 'VrennOnlineLauncher.exe'",
        "$new = Join-Path $root 'VrennOnlineLauncher_new.exe'",
        "$bak = Join-Path $root 'VrennOnlineLauncher.exe.bak'",
        "Start-Sleep -Seconds 1",
        "if (Test-Path -LiteralPath $bak) { Remove-Item -LiteralPath $bak -Force }",
        "if (Test-Path -LiteralPath $old) { Move-Item -LiteralPath $old $bak -Force }",
        "if (-not (Test-Path -LiteralPath $new)) {",
        "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }",
        "    exit 1",
        "}",
        "try {",
        "    Move-Item -LiteralPath $new $old -Force",
        "} catch {",
        "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }",
        "    exit 1",
        "}",
        "$proc = Start-Process -FilePath $old -PassThru",
        "Start-Sleep -Seconds 3",
        "if ($proc.HasExited -and $proc.ExitCode -ne 0) {",
        "    if (Test-Path -LiteralPath $bak) { Move-Item -LiteralPath $bak $old -Force }",
        "    exit 1",
        "}",
        "# O backup fica guardado ate o launcher confirmar inicializacao saudavel.",
    };
    EXPECT_EQ(lines, expected);
}

// PowerShell reads a plain path as a wildcard pattern: in a folder such as
// "[BR] Vrenn" every test would be false and the script would exit without
// swapping. Each cmdlet that finds a file names it literally.
TEST(UpdateScript, EveryFileTheScriptTestsMovesOrRemovesIsNamedLiterally) {
    const std::string text = kUpdateScriptText;
    size_t uses = 0;
    for (const std::string cmdlet : {"Test-Path ", "Move-Item ", "Remove-Item "}) {
        for (size_t at = text.find(cmdlet); at != std::string::npos; at = text.find(cmdlet, at + 1)) {
            ++uses;
            EXPECT_EQ(text.compare(at + cmdlet.size(), 13, "-LiteralPath "), 0)
                << text.substr(at, text.find('\n', at) - at);
        }
    }
    EXPECT_EQ(uses, 12u);
    EXPECT_EQ(text.find(" -Path "), std::string::npos);
}

TEST(UpdateScript, CommandLineQuotesTheScriptPathBesideTheLauncher) {
    EXPECT_EQ(UpdateCommandLine(L"D:\\Jogos\\Vrenn Online/"),
              L"powershell.exe -NoProfile -ExecutionPolicy Bypass -File \"D:\\Jogos\\Vrenn Online/update.ps1\"");
    EXPECT_EQ(UpdateScriptPath(L"C:\\X/"), L"C:\\X/update.ps1");
}

TEST(UpdateScript, HashTextLowerCasesAsciiLettersOnly) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"ABCDEF0123456789", "abcdef0123456789"},
        {"abcdef", "abcdef"},
        {" AB ", " ab "},
        {"\xC3\x89", "\xC3\x89"},  // bytes above 0x7F untouched
        {"@[`{", "@[`{"},          // neighbours of the letter ranges
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(AsciiLower(c.in), c.out) << c.in;
}
