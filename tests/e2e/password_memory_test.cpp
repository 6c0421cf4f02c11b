// The typed password in the launcher's memory, looked for from outside: the
// password typed with real keys, the login, and then every readable byte of
// the launcher process searched for what is left of it anywhere (as typed, as
// UTF-16 and as escaped in the request body).
#include <gtest/gtest.h>

#include <optional>

#include "support/Harness.h"
#include "support/LauncherWorld.h"
#include "support/ProcessMemory.h"

using namespace e2e;

namespace {

// A quote makes the body escape it, so the escaped form differs from the typed one.
const TestAccount kBia{"bia@vrenn.test", "Qm4\"senha-de-memoria", 5151, "http://127.0.0.1:5107/web/",
                       nlohmann::json::array({
                           {{"serverId", 3}, {"serverName", "Ondrel Norte"}, {"serverIp", "10.0.0.3"},
                            {"serverPort", 7000}, {"status", "Online"}, {"isNew", false}},
                           {{"serverId", 4}, {"serverName", "Ondrel Sul"}, {"serverIp", "10.0.0.4"},
                            {"serverPort", 7100}, {"status", "Online"}, {"isNew", false}},
                       })};

// Any ten characters of the password in a row: as typed, as UTF-16 and as the
// request body escapes it.
std::vector<Needle> PasswordForms(const std::string& password, const std::string& name = "password") {
    std::string escaped;
    for (char c : password) {
        if (c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return {{name + " UTF-8", password, 10}, {name + " UTF-16", Utf16Le(password), 20},
            {name + " escaped", escaped, 10}};
}

// The running launcher's process, to be searched.
class LauncherMemory {
public:
    explicit LauncherMemory(const LauncherWorld& w)
        : pid(FindProcessByProgram(WinPath(w.game / "VrennOnlineLauncher.exe"))) {}
    bool Found() const { return pid.has_value(); }
    std::vector<MemoryHit> Search(const std::vector<Needle>& needles) const {
        size_t read = 0;
        auto hits = SearchProcessMemory(*pid, needles, &read);
        // A Wine process with a Direct3D device maps hundreds of MiB: much less means a failed read.
        EXPECT_GT(read, size_t{64} << 20) << "the process memory was not read";
        return hits;
    }

private:
    std::optional<pid_t> pid;
};

std::vector<Needle> operator+(std::vector<Needle> a, const std::vector<Needle>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

// Typed with real keys and sent with Return: once the login is through, the
// launcher's memory holds the password nowhere, nor after "SAIR".
TEST(PasswordMemory, TypedPasswordIsGoneAfterTheLoginAndAfterSignOut) {
    LauncherWorld w("PasswordMemoryTyped");
    w.AddAccount(kBia);
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    const LauncherMemory memory(w);
    ASSERT_TRUE(memory.Found());
    const auto forms = PasswordForms(kBia.password);

    TypeInto(w, layout::kEmailY, kBia.username);
    TypeInto(w, layout::kPasswordY, kBia.password);
    // The search sees the password where it must be: in the field.
    ASSERT_FALSE(memory.Search(forms).empty()) << "the typed password is not found in the field";

    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(w.AuthVerdicts()[0].value("ok", false)) << w.AuthVerdicts()[0].dump();
    ASSERT_TRUE(WaitForCardSelected(w.Window(), 0, 2, 15s));
    auto hits = memory.Search(forms);
    EXPECT_TRUE(hits.empty()) << "after the login:\n" << Describe(hits);

    w.Click(layout::kLogoutX, layout::kLogoutY);
    ASSERT_TRUE(WaitUntil([&] { return LoginButtonShown(w, CaptureScreen()); }, 15s, 250ms));
    hits = memory.Search(forms);
    EXPECT_TRUE(hits.empty()) << "after SAIR:\n" << Describe(hits);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

// A refused password stays in the field; the player selects it, types the
// right one over it, checks "LEMBRAR DE MIM" and signs in: neither password is
// left (no text to revert to, no undo of the one typed over, none in the
// store's protection). The next start fills the field from the store, and the
// login with it leaves no copy either.
TEST(PasswordMemory, RetypedAndRememberedPasswordsAreGoneAfterTheirLogins) {
    const std::string wrong = "Errada\"-primeira-tentativa";
    // Longer than the refused password: typed after it, its copy of the field
    // left behind outgrows the password's, whose block goes back to the heap.
    TestAccount bia = kBia;
    bia.username = "bia.memoria.longa@vrenn.test";
    LauncherWorld w("PasswordMemoryRetyped");
    w.AddAccount(bia);
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    std::optional<LauncherMemory> memory(w);
    ASSERT_TRUE(memory->Found());
    const auto forms = PasswordForms(kBia.password) + PasswordForms(wrong, "refused password");

    TypeInto(w, layout::kPasswordY, wrong);
    TypeInto(w, layout::kEmailY, bia.username);
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_FALSE(w.AuthVerdicts()[0].value("ok", true));
    ASSERT_TRUE(WaitUntil([&] { return !memory->Search(PasswordForms(wrong)).empty(); }, 10s, 500ms))
        << "a refused password stays in the field";

    w.Click(layout::kFieldX, layout::kPasswordY);
    PressKey("ctrl+a");
    TypeText(kBia.password);
    // Shorter than the refused one: the field shows the new password alone.
    const int typed = static_cast<int>(kBia.password.size());
    EXPECT_TRUE(WaitUntil(
        [&] {
            const int width = FieldTextWidth(w, layout::kPasswordY);
            return width >= 7 * (typed - 1) && width < 7 * (typed + 1);
        },
        20s, 100ms));
    w.Click(layout::kRememberX, layout::kRememberY);
    ASSERT_TRUE(WaitUntil([&] { return RememberChecked(w); }, 10s, 100ms));
    w.Click(layout::kFieldX, layout::kLoginButtonY);
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    ASSERT_TRUE(w.AuthVerdicts()[1].value("ok", false)) << w.AuthVerdicts()[1].dump();
    EXPECT_EQ(w.AuthBodies().at(1).value("Password", ""), kBia.password);
    ASSERT_TRUE(WaitForCardSelected(w.Window(), 0, 2, 15s));
    auto hits = memory->Search(forms);
    EXPECT_TRUE(hits.empty()) << "after the login:\n" << Describe(hits);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    ASSERT_TRUE(w.Launcher().WaitExit(60s).has_value());

    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    memory.emplace(w);
    ASSERT_TRUE(memory->Found());
    ASSERT_FALSE(memory->Search(PasswordForms(kBia.password)).empty())
        << "the remembered password is not in the field";
    w.Click(layout::kFieldX, layout::kLoginButtonY);
    ASSERT_TRUE(w.WaitForVerdicts(3, 60s));
    ASSERT_TRUE(w.AuthVerdicts()[2].value("ok", false)) << w.AuthVerdicts()[2].dump();
    ASSERT_TRUE(WaitForCardSelected(w.Window(), 0, 2, 15s));
    hits = memory->Search(forms);
    EXPECT_TRUE(hits.empty()) << "after the login with the remembered password:\n" << Describe(hits);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}
