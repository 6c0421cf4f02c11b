// Where the typed password goes on a password login: the login panel's button
// pressed on a headless frame, the signed exchange with a loopback server of
// this process, and every block the C++ heap gets back meanwhile looked into
// before it is freed. Freed memory cannot be read afterwards, so this program
// replaces operator delete and searches each block first.
#include "support/LoopbackServer.h"
// winsock2 before windows.h
#include <windows.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "support/HeadlessImGui.h"
#include "support/RegistrySandbox.h"
#include "ui/UIManager.h"

namespace {

// A quote and a backslash make the body escape the password; the marker is
// what is searched for, in the typed and in the escaped form alike.
const char kPassword[] = "S3nha \"7f3a9cQ\" \\ bem longa";
const char kMarker[] = "7f3a9cQ";

// Only the thread that presses the button is watched: the loopback server's
// own threads hold the request they received, password included.
std::atomic<DWORD> g_watchedThread{0};
std::atomic<int> g_blocksWithPassword{0};

bool HoldsMarker(const unsigned char* p, size_t n) {
    const size_t m = sizeof(kMarker) - 1;
    for (size_t i = 0; i + m <= n; ++i)
        if (std::memcmp(p + i, kMarker, m) == 0) return true;
    return false;
}

void LookBeforeFree(void* p) {
    if (!p) return;
    if (g_watchedThread.load(std::memory_order_relaxed) == GetCurrentThreadId()) {
        const size_t n = _msize(p);
        if (n != static_cast<size_t>(-1) && HoldsMarker(static_cast<const unsigned char*>(p), n))
            ++g_blocksWithPassword;
    }
    std::free(p);
}

}  // namespace

// The default operator new takes its blocks from malloc, so _msize knows their size.
void operator delete(void* p) noexcept { LookBeforeFree(p); }
void operator delete[](void* p) noexcept { LookBeforeFree(p); }
void operator delete(void* p, std::size_t) noexcept { LookBeforeFree(p); }
void operator delete[](void* p, std::size_t) noexcept { LookBeforeFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { LookBeforeFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { LookBeforeFree(p); }

namespace {

std::string HttpAnswer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

// Both outcomes: a login that succeeds (and stores the password, "LEMBRAR DE
// MIM" checked) and one the server refuses (the field gets the password back).
// Either way no block given back holds it, while the request did carry it.
TEST(PasswordWipe, NoFreedBlockHoldsThePasswordAfterALogin) {
    struct Case {
        const char* name;
        std::string answer;  // to the challenge and to the signed post alike
        bool loggedIn;
    } cases[] = {
        {"accepted", R"({"challenge_id":"c-1","salt":"s","difficulty":0,"token":"tok","userId":5})", true},
        {"refused", R"({"challenge_id":"c-1","salt":"s","difficulty":0,"error":"Senha incorreta."})", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistrySandbox sandbox;
        ASSERT_TRUE(sandbox.Active());
        Loopback server(Loopback::Mode::Answer, HttpAnswer(c.answer));
        PatchManager pm(L"C:\\", server.Url(""));
        HeadlessImGui imgui;
        // Built without a PatchManager, so no news fetch or patch run starts.
        UIManager ui(nullptr);
        ui.patchManager = &pm;
        ui.googleEnabled = false;
        ui.rememberMe = true;
        std::strcpy(ui.emailBuf, "ana@vrenn.test");
        std::strcpy(ui.passwordBuf, kPassword);

        double t = 1.0;
        auto frame = [&](ImVec2 mouse, bool down) {
            imgui.BeginFrame(t += 1.0 / 60, mouse, down);
            ui.RenderLoginPanel(ImGui::GetBackgroundDrawList(), 425, 449, 569, 112, 0.0f);
            imgui.EndFrame();
        };
        // "ENTRAR NA CONTA" is the panel's one primary button.
        frame(ImVec2(-1e6f, -1e6f), false);
        const auto colours = ColoursOfFrame();
        const auto button = colours.find(IM_COL32(135, 26, 152, 255));
        ASSERT_NE(button, colours.end());
        const ImVec2 centre((button->second.min.x + button->second.max.x) / 2,
                            (button->second.min.y + button->second.max.y) / 2);
        frame(centre, false);
        g_blocksWithPassword = 0;
        g_watchedThread = GetCurrentThreadId();
        frame(centre, true);
        frame(centre, false);
        g_watchedThread = 0;

        EXPECT_EQ(ui.loggedIn, c.loggedIn);
        server.Stop();
        const auto received = server.Received();
        ASSERT_EQ(received.size(), 2u) << "no challenge and signed post";
        EXPECT_NE(received[1].find(R"("Password":"S3nha \"7f3a9cQ\" \\ bem longa")"), std::string::npos)
            << received[1];
        EXPECT_EQ(std::string(ui.passwordBuf), c.loggedIn ? "" : kPassword);
        EXPECT_EQ(g_blocksWithPassword.load(), 0) << "blocks freed with the password still in them";
    }
}
