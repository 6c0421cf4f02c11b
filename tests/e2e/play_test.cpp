// Signing in and starting the game from the window, with real mouse and
// keyboard input on the test display: the stand-in server holds the accounts,
// the stand-in client reports how it was started.
//
// Status texts are read by their glyphs: each scene shows news cards whose
// titles are the texts expected in the footer, and the footer's pixels must
// form exactly the same glyphs as the title's (both use the body font at its
// own size).
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <optional>
#include <regex>

#include "BuildConfig.h"
#include "support/Harness.h"
#include "support/LauncherWorld.h"

using namespace e2e;

namespace {

const char* kTitle = "Vrenn Ondrel - Launcher Oficial";

// Window-relative points of the 1024 x 615 window with the 13-px default font.
namespace spot {
using namespace layout;
}  // namespace spot

const Rgb kErrorColour{255, 97, 117};
const Rgb kStatusColour{205, 188, 219};  // (209, 191, 222) at alpha 250 over the footer

const TestAccount kAna{"ana@vrenn.test", "s3nha forte", 4242, "http://127.0.0.1:5107/web/",
                       nlohmann::json::array({
                           {{"serverId", 7}, {"serverName", "Ondrel Norte"}, {"serverIp", "10.0.0.7"},
                            {"serverPort", "7000"}, {"status", "Online"}, {"isNew", true}},
                           {{"serverId", 9}, {"serverName", "Ondrel Sul & Leste"}, {"serverIp", "10.0.0.9"},
                            {"serverPort", 7100}, {"status", "Cheio"}, {"isNew", false}},
                       })};

::testing::AssertionResult FooterShowsTitle(const LauncherWorld& w, int card, Rgb colour) {
    return e2e::FooterShowsTitle(w.Window(), card, colour, 15s);
}

bool ErrorDot(const LauncherWorld& w) { return e2e::ErrorDot(w.Window()); }

void SetRemember(LauncherWorld& w, bool checked) {
    if (RememberChecked(w) != checked) w.Click(spot::kRememberX, spot::kRememberY);
    EXPECT_TRUE(WaitUntil([&] { return RememberChecked(w) == checked; }, 10s, 100ms));
}

void SignIn(LauncherWorld& w, const std::string& email, const std::string& password) {
    TypeInto(w, spot::kEmailY, email);
    TypeInto(w, spot::kPasswordY, password);
    PressKey("Return");
}

// Signs in and waits for the server panel with the first of two servers chosen.
void SignInToTwoServers(LauncherWorld& w, const TestAccount& account) {
    SignIn(w, account.username, account.password);
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(e2e::WaitForCardSelected(w.Window(), 0, 2, 15s));
}

bool CardSelected(const LauncherWorld& w, const Image& shot, int i) { return e2e::CardSelected(w.Window(), shot, i); }

bool WaitForCardSelected(const LauncherWorld& w, int selected, int count) {
    return e2e::WaitForCardSelected(w.Window(), selected, count, 15s);
}

std::string Md5Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
    return HexOf(std::string(reinterpret_cast<char*>(digest), len));
}

// A session token the stand-in server issued for this user ("random.mac").
bool IssuedFor(const std::string& token, int64_t userId) {
    size_t dot = token.find('.');
    if (dot == std::string::npos) return false;
    std::string key = std::string(VRENN_SECRET_PART1) + VRENN_SECRET_PART2 + VRENN_SECRET_PART3;
    std::string msg = "session\n" + std::to_string(userId) + "\n" + token.substr(0, dot);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(msg.data()),
         msg.size(), mac, &len);
    return token.substr(dot + 1) == HexOf(std::string(reinterpret_cast<char*>(mac), len));
}

}  // namespace

TEST(Play, MainRoadFromSignInToTheGameAndBack) {
    LauncherWorld w("PlayMainRoad");
    w.AddAccount(kAna);
    w.InstallClient(5000);
    // The file-mapping archive and its MD5-named companion fill one launch parameter.
    const std::string archive = "filemapping archive bytes";
    fs::path mapping = w.game / "VrennServer" / "www" / "zurezezera" / "zadedoro";
    WriteFile(mapping / "filemapping.xml.gz", archive);
    WriteFile(mapping / (Md5Hex(archive) + ".xml.gz"), "companion");
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();

    SignIn(w, kAna.username, kAna.password);
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    EXPECT_EQ(w.AuthVerdicts()[0].value("kind", ""), "login");
    ASSERT_TRUE(w.AuthVerdicts()[0].value("ok", false)) << w.AuthVerdicts()[0].dump();

    // The account's two servers, the first one chosen.
    ASSERT_TRUE(WaitForCardSelected(w, 0, 2));
    w.Click(spot::kCardX, spot::CardY(1));
    ASSERT_TRUE(WaitForCardSelected(w, 1, 2));
    w.Click(spot::kCardX, spot::kStartY);

    ASSERT_TRUE(WaitUntil([&] { return w.ClientReport().has_value(); }, 60s, 100ms)) << w.Launcher().Log();
    nlohmann::json report = *w.ClientReport();

    // The refresh presented the login's token and the client got a new one.
    auto verdicts = w.AuthVerdicts();
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[1].value("kind", ""), "refresh");
    EXPECT_TRUE(verdicts[1].value("ok", false));
    const std::string loginToken = verdicts[1].value("token", "");
    const std::string token = report["env"].value("VRENN_TOKEN", "");
    EXPECT_TRUE(IssuedFor(loginToken, 4242));
    EXPECT_TRUE(IssuedFor(token, 4242)) << token;
    EXPECT_NE(token, loginToken);

    EXPECT_EQ(report["env"]["VRENN_USERID"], "4242");
    EXPECT_EQ(report["env"]["VRENN_USERNAME"], kAna.username);
    EXPECT_EQ(report["env"]["VRENN_WEBROOT"], kAna.webRootUrl);

    std::string commandLine = report.value("commandLine", "");
    std::smatch t;
    ASSERT_TRUE(std::regex_search(commandLine, t, std::regex("&;t=([0-9]+)&;"))) << commandLine;
    long long sent = std::stoll(t[1].str());
    long long now = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    EXPECT_LE(std::llabs(now - sent), 600);
    const std::string expected =
        // The launcher's folder ends in "/" after its backslash path.
        "\"" + WinPath(w.game) + "/VrennClient.exe\" \"login_type=3&;username=ana@vrenn.test&;ip=10.0.0.9&;" +
        "ports=7100&;userid=4242&;signature=" + token + "&;serverid=9&;servername=Ondrel+Sul+&+Leste&;t=" +
        t[1].str() +
        "&;tarvok_userid=0&;from_zone=9001&;from_aid=0&;fatigue=1&;agent=&;from_adid=&;from_agent=&;"
        "from_agentuid=&;language=2&;pf=&;pfkey=&;openkey=&;app_user_source=&;app_contract_id=&;invkey=&;"
        "itime=&;iopenid=&;app_custom=&;proleid=0&;pserverid=&;music=&;filemapping_md5=" +
        Md5Hex(archive) + "&;\" \"" + kAna.webRootUrl + "\"";
    EXPECT_EQ(commandLine, expected);

    // While the game runs the launcher is still there, with its window hidden.
    EXPECT_TRUE(WaitUntil([] { return !FindWindowRect(kTitle, true).has_value(); }, 5s, 100ms));
    EXPECT_TRUE(FindWindowRect(kTitle, false).has_value());
    EXPECT_FALSE(w.Launcher().WaitExit(0ms).has_value());

    auto code = w.Launcher().WaitExit(90s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    auto lines = w.Launcher().LogMessages();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "INFO Encerrando launcher (Exit 0).");
}

// Characters outside every ANSI code page, typed on the keyboard, reach both
// fields as they are: the login sends them as the UTF-8 they were typed in.
TEST(Play, CharactersOutsideTheAnsiCodePageAreTypedAsTheyAre) {
    LauncherWorld w("PlayUnicodeTyping");
    TestAccount ana = kAna;
    ana.username = "\u4E2D\u0151@vrenn.test";
    ana.password = "s\u0151nha \u4E2D";
    w.AddAccount(ana);
    ExtraKeys keys({0x4E2D, 0x0151});
    ASSERT_TRUE(keys.Ok());
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();

    // Each character is one glyph (the fallback one where the font has none), 7 px wide.
    auto typeInto = [&](int y, const std::string& text, int characters) {
        w.Click(spot::kFieldX, y);
        TypeText(text);
        EXPECT_TRUE(WaitUntil([&] { return FieldTextWidth(w, y) >= 7 * (characters - 1); }, 20s, 100ms)) << text;
    };
    typeInto(spot::kEmailY, ana.username, 13);
    typeInto(spot::kPasswordY, ana.password, 7);
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    auto bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].value("Username", ""), ana.username);
    EXPECT_EQ(bodies[0].value("Password", ""), ana.password);
    EXPECT_TRUE(w.AuthVerdicts()[0].value("ok", false));
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(Play, WrongPasswordShowsTheMappedErrorAndKeepsThePassword) {
    LauncherWorld w("PlayWrongPassword");
    w.AddAccount(kAna);
    // The stand-in server words a refused login "E-mail ou senha incorretos.", which
    // the status rules turn into the wrong-credentials text.
    w.SetNews(NewsShowing({"EMAIL OU SENHA INCORRETOS."}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();

    SignIn(w, kAna.username, "errada");
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    EXPECT_FALSE(w.AuthVerdicts()[0].value("ok", true));
    EXPECT_TRUE(FooterShowsTitle(w, 0, kErrorColour));
    EXPECT_TRUE(ErrorDot(w));

    // Still on the login panel, the password still typed: Return sends it again.
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    auto bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 2u);
    for (const auto& b : bodies) {
        EXPECT_EQ(b.value("Username", ""), kAna.username);
        EXPECT_EQ(b.value("Password", ""), "errada");
    }
    EXPECT_FALSE(w.AuthVerdicts()[1].value("ok", true));
    EXPECT_TRUE(w.Registry().empty());  // no credentials stored, none deleted into existence
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(Play, RememberMeStoresBothFieldsAndUncheckingItDeletesThem) {
    LauncherWorld w("PlayRememberMe");
    w.AddAccount(kAna);
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    EXPECT_FALSE(RememberChecked(w));
    TypeInto(w, spot::kEmailY, kAna.username);
    TypeInto(w, spot::kPasswordY, kAna.password);
    SetRemember(w, true);
    w.Click(spot::kFieldX, spot::kLoginButtonY);
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(w.AuthVerdicts()[0].value("ok", false));

    // Two DPAPI blobs: the e-mail and the password as typed.
    std::map<std::string, RegValue> reg;
    ASSERT_TRUE(WaitUntil([&] { return (reg = w.Registry()).count("token") > 0; }, 20s, 250ms));
    EXPECT_EQ(reg["username"].type, 3u);
    EXPECT_EQ(reg["token"].type, 3u);
    EXPECT_EQ(reg["username"].text, HexOf(kAna.username));
    EXPECT_EQ(reg["token"].text, HexOf(kAna.password));
    EXPECT_TRUE(w.Launcher().CloseWindow());
    ASSERT_TRUE(w.Launcher().WaitExit(60s).has_value());

    // Next start: the box is checked and both fields are filled, so Return alone
    // signs in with them.
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    EXPECT_TRUE(RememberChecked(w));
    EXPECT_GT(FieldTextWidth(w, spot::kEmailY), 0);
    EXPECT_GT(FieldTextWidth(w, spot::kPasswordY), 0);
    SetRemember(w, false);
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    EXPECT_TRUE(w.AuthVerdicts()[1].value("ok", false));
    auto bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[1].value("Username", ""), kAna.username);
    EXPECT_EQ(bodies[1].value("Password", ""), kAna.password);
    EXPECT_TRUE(WaitUntil([&] { return w.Registry().empty(); }, 20s, 250ms));
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

// Ana signs in with "LEMBRAR DE MIM" checked, up to the server panel; the news
// carry the glyphs of the sign-out's status.
static void SignInRemembered(LauncherWorld& w) {
    w.AddAccount(kAna);
    w.SetNews(NewsShowing({"Sessão encerrada."}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    TypeInto(w, spot::kEmailY, kAna.username);
    TypeInto(w, spot::kPasswordY, kAna.password);
    SetRemember(w, true);
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(WaitForCardSelected(w, 0, 2));
}

TEST(Play, LogoutRefillsStoredFieldsOrWipesThePassword) {
    LauncherWorld w("PlayLogout");
    ASSERT_NO_FATAL_FAILURE(SignInRemembered(w));

    // Remembered: "SAIR" puts the stored e-mail and password back.
    w.Click(spot::kLogoutX, spot::kLogoutY);
    EXPECT_TRUE(FooterShowsTitle(w, 0, kStatusColour));
    EXPECT_FALSE(ErrorDot(w));
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    auto bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[1].value("Username", ""), kAna.username);
    EXPECT_EQ(bodies[1].value("Password", ""), kAna.password);
    EXPECT_FALSE(w.Registry().empty());  // "SAIR" keeps what is stored

    // Not remembered: the login deletes the stored values, "SAIR" wipes the
    // password and keeps the e-mail.
    ASSERT_TRUE(WaitForCardSelected(w, 0, 2));
    w.Click(spot::kLogoutX, spot::kLogoutY);
    EXPECT_TRUE(FooterShowsTitle(w, 0, kStatusColour));
    SetRemember(w, false);
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(3, 60s));
    ASSERT_TRUE(WaitForCardSelected(w, 0, 2));
    EXPECT_TRUE(w.Registry().empty());
    w.Click(spot::kLogoutX, spot::kLogoutY);
    EXPECT_TRUE(FooterShowsTitle(w, 0, kStatusColour));
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(4, 60s));
    bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 4u);
    EXPECT_EQ(bodies[3].value("Username", ""), kAna.username);
    EXPECT_EQ(bodies[3].value("Password", ""), "");
    EXPECT_FALSE(w.AuthVerdicts()[3].value("ok", true));
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

// A Return pressed on the server panel, or still held down when "SAIR" is
// clicked, is no fresh press: the player stays on the login panel, and only
// the next press signs in again.
TEST(Play, SignOutWaitsForAFreshReturnPress) {
    LauncherWorld w("PlaySignOutReturn");
    // Remembered, so "SAIR" refills both fields and a stray login would succeed.
    ASSERT_NO_FATAL_FAILURE(SignInRemembered(w));

    // The login panel under the sign-out's status, in one frame: a login in
    // the panel's first frame would have put its own status there.
    auto signedOut = [&](bool remembered) {
        return WaitUntil(
            [&] {
                Image shot = CaptureScreen();
                return LoginButtonShown(w, shot) && RememberChecked(w, shot) == remembered &&
                       FooterShowsTitleIn(w.Window(), shot, 0, kStatusColour);
            },
            15s, 250ms);
    };
    size_t logins = 1;
    for (bool held : {false, true}) {
        SCOPED_TRACE(held ? "held down through SAIR" : "pressed on the server panel");
        std::optional<HeldKey> key;
        if (held)
            key.emplace("Return");
        else
            PressKey("Return");
        w.Click(spot::kLogoutX, spot::kLogoutY);
        ASSERT_TRUE(signedOut(true)) << "not left on the login panel; logins: " << w.AuthVerdicts().size();
        if (held) {
            key->Release();
            // Input is handled in order: once the box shows the click made after
            // the release, the launcher has seen the key up.
            w.Click(spot::kRememberX, spot::kRememberY);
            ASSERT_TRUE(signedOut(false));
        }
        EXPECT_EQ(w.AuthVerdicts().size(), logins) << "signed in again without a fresh press";

        PressKey("Return");
        ASSERT_TRUE(w.WaitForVerdicts(++logins, 60s));
        EXPECT_TRUE(w.AuthVerdicts().back().value("ok", false));
        ASSERT_TRUE(WaitForCardSelected(w, 0, 2));
        EXPECT_EQ(w.AuthVerdicts().size(), logins) << "one press, one login";
    }
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(Play, RefusedRefreshReturnsToTheLoginPanelWithExpiredSession) {
    LauncherWorld w("PlayRefusedRefresh");
    w.AddAccount(kAna);
    w.InstallClient(0);
    w.SetNews(NewsShowing({"SESSÃO EXPIRADA. FAÇA LOGIN DE NOVO."}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    SignIn(w, kAna.username, kAna.password);
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(WaitForCardSelected(w, 0, 2));

    w.RevokeUser(kAna.userId);
    w.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    EXPECT_EQ(w.AuthVerdicts()[1].value("kind", ""), "refresh");
    EXPECT_FALSE(w.AuthVerdicts()[1].value("ok", true));
    EXPECT_TRUE(FooterShowsTitle(w, 0, kErrorColour));
    EXPECT_TRUE(ErrorDot(w));
    EXPECT_FALSE(w.ClientReport().has_value());

    // Back on the login panel with the password wiped.
    PressKey("Return");
    ASSERT_TRUE(w.WaitForVerdicts(3, 60s));
    auto bodies = w.AuthBodies();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[2].value("Username", ""), kAna.username);
    EXPECT_EQ(bodies[2].value("Password", ""), "");
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}

TEST(Play, MissingClientShowsNotFoundAndKeepsTheSession) {
    LauncherWorld w("PlayMissingClient");
    w.AddAccount(kAna);
    w.SetNews(NewsShowing({"JOGO NÃO ENCONTRADO. REINSTALE O LAUNCHER."}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    ASSERT_NO_FATAL_FAILURE(SignInToTwoServers(w, kAna));

    w.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    EXPECT_TRUE(w.AuthVerdicts()[1].value("ok", false));
    EXPECT_TRUE(FooterShowsTitle(w, 0, kErrorColour));
    EXPECT_TRUE(FindWindowRect(kTitle, true).has_value());

    // The session stayed: with the client in place the same button starts it.
    w.InstallClient(0);
    w.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(WaitUntil([&] { return w.ClientReport().has_value(); }, 60s, 100ms)) << w.Launcher().Log();
    auto verdicts = w.AuthVerdicts();
    ASSERT_EQ(verdicts.size(), 3u);
    EXPECT_EQ(verdicts[2].value("kind", ""), "refresh");
    EXPECT_TRUE(verdicts[2].value("ok", false));
    // It presented the token the first refresh returned, not the login's.
    EXPECT_NE(verdicts[2].value("token", ""), verdicts[1].value("token", ""));
    EXPECT_TRUE(IssuedFor(verdicts[2].value("token", ""), 4242));
    nlohmann::json report = *w.ClientReport();
    EXPECT_EQ(report["env"]["VRENN_USERID"], "4242");
    EXPECT_NE(report.value("commandLine", "").find("&;serverid=7&;servername=Ondrel+Norte&;"), std::string::npos);
    EXPECT_TRUE(w.Launcher().WaitExit(90s).has_value());
}

// A server name with a double quote would re-split the game's command line:
// no client starts, the player is told why and the log names the value; the
// session stays, and a server whose name can be passed starts.
TEST(Play, ServerNameThatWouldReSplitTheCommandLineStartsNoClient) {
    LauncherWorld w("PlayUnsafeServerName");
    TestAccount ana = kAna;
    ana.servers[0]["serverName"] = "Ondrel \"Norte\"";
    w.AddAccount(ana);
    w.InstallClient(0);
    w.SetNews(NewsShowing({"DADOS INVÁLIDOS PARA O JOGO. CONTATE O SUPORTE."}));
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    ASSERT_NO_FATAL_FAILURE(SignInToTwoServers(w, ana));

    w.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(w.WaitForVerdicts(2, 60s));
    EXPECT_TRUE(FooterShowsTitle(w, 0, kErrorColour));
    EXPECT_TRUE(ErrorDot(w));
    EXPECT_FALSE(w.ClientReport().has_value()) << w.ClientReport()->dump();
    EXPECT_TRUE(FindWindowRect(kTitle, true).has_value());
    auto lines = w.Launcher().LogMessages();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERROR [PatchManager] Jogo não iniciado: servername contém aspas duplas."),
              lines.end())
        << w.Launcher().Log();

    w.Click(spot::kCardX, spot::CardY(1));
    ASSERT_TRUE(WaitForCardSelected(w, 1, 2));
    w.Click(spot::kCardX, spot::kStartY);
    ASSERT_TRUE(WaitUntil([&] { return w.ClientReport().has_value(); }, 60s, 100ms)) << w.Launcher().Log();
    EXPECT_NE(w.ClientReport()->value("commandLine", "").find("&;servername=Ondrel+Sul+&+Leste&;"),
              std::string::npos);
    EXPECT_TRUE(w.Launcher().WaitExit(90s).has_value());
}

TEST(Play, ServerCardsStayInsideTheListWhenScrolled) {
    LauncherWorld w("PlayScrolledList");
    TestAccount many = kAna;
    many.servers = nlohmann::json::array();
    for (int i = 1; i <= 9; ++i)
        many.servers.push_back({{"serverId", i}, {"serverName", "Servidor " + std::to_string(i)},
                                {"serverIp", "10.0.0." + std::to_string(i)}, {"serverPort", 7000 + i},
                                {"status", "Online"}, {"isNew", false}});
    w.AddAccount(many);
    w.StartServer();
    ASSERT_TRUE(w.StartLauncher()) << w.Launcher().Log();
    SignIn(w, many.username, many.password);
    ASSERT_TRUE(w.WaitForVerdicts(1, 60s));
    ASSERT_TRUE(WaitForCardSelected(w, 0, 1));

    // One wheel notch (65 px) lifts the selected first card out of the list, to
    // where the column's title is: none of its bright outline may show there.
    MouseMove(w.Window().x + spot::kCardX, w.Window().y + spot::CardY(3));
    Shell("xdotool click 5");
    w.ParkMouse();
    auto brightPink = [](Rgb p) { return p.r > 150 && p.g < 110 && p.b > 150; };
    ASSERT_TRUE(WaitUntil([&] { return !CardSelected(w, CaptureScreen(), 0); }, 15s, 250ms));
    Image shot = CaptureScreen();
    EXPECT_EQ(CutMask(shot, w.OnScreen({600, 118, 300, 44}), brightPink).Count(), 0);
    EXPECT_TRUE(w.Launcher().CloseWindow());
    EXPECT_TRUE(w.Launcher().WaitExit(60s).has_value());
}
