// Where the typed password goes on a password login: the password typed into
// the login panel's field through Dear ImGui's input, the button pressed on a
// headless frame, the signed exchange with a loopback server of this process,
// and every block the C++ heap and Dear ImGui get back meanwhile looked into
// before it is freed. Freed memory cannot be read afterwards, so this program
// replaces operator delete and Dear ImGui's allocator and searches each block
// first; the blocks Dear ImGui still holds after the login are searched too.
#include "support/LoopbackServer.h"
// winsock2 before windows.h
#include <windows.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
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

// The marker as typed, or as UTF-16 (Dear ImGui queues typed characters so).
bool HoldsMarker(const unsigned char* p, size_t n) {
    static const std::string wide = [] {
        std::string w;
        for (const char* c = kMarker; *c; ++c) w += std::string{*c, '\0'};
        return w;
    }();
    for (const std::string& m : {std::string(kMarker), wide})
        for (size_t i = 0; i + m.size() <= n; ++i)
            if (std::memcmp(p + i, m.data(), m.size()) == 0) return true;
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

// Dear ImGui's blocks while they are held, with their sizes.
std::map<void*, size_t> g_imguiBlocks;

void* ImGuiAlloc(size_t size, void*) {
    void* p = std::malloc(size);
    if (p) g_imguiBlocks[p] = size;
    return p;
}

void ImGuiFree(void* p, void*) {
    if (!p) return;
    auto it = g_imguiBlocks.find(p);
    if (it != g_imguiBlocks.end()) {
        if (g_watchedThread.load(std::memory_order_relaxed) == GetCurrentThreadId() &&
            HoldsMarker(static_cast<const unsigned char*>(p), it->second))
            ++g_blocksWithPassword;
        g_imguiBlocks.erase(it);
    }
    std::free(p);
}

int ImGuiBlocksWithPassword() {
    int n = 0;
    for (const auto& [p, size] : g_imguiBlocks) n += HoldsMarker(static_cast<const unsigned char*>(p), size);
    return n;
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
// Either way no block given back holds it, while the request did carry it;
// after the login that succeeds Dear ImGui holds it nowhere either.
TEST(PasswordWipe, NoFreedBlockHoldsThePasswordAfterALogin) {
    struct Case {
        const char* name;
        std::string answer;  // to the challenge and to the signed post alike
        bool loggedIn;
    } cases[] = {
        {"accepted", R"({"challenge_id":"c-1","salt":"s","difficulty":0,"token":"tok","userId":5})", true},
        {"refused", R"({"challenge_id":"c-1","salt":"s","difficulty":0,"error":"Senha incorreta."})", false},
    };
    ImGui::SetAllocatorFunctions(ImGuiAlloc, ImGuiFree, nullptr);
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

        double t = 1.0;
        auto frame = [&](ImVec2 mouse, bool down) {
            imgui.BeginFrame(t += 1.0 / 60, mouse, down);
            ui.RenderLoginPanel(ImGui::GetBackgroundDrawList(), 425, 449, 569, 112, 0.0f);
            imgui.EndFrame();
        };
        // The SENHA field takes focus and the typed characters. With the e-mail
        // filled, its placeholder is the one text in the placeholder colour.
        frame(ImVec2(-1e6f, -1e6f), false);
        const auto form = ColoursOfFrame();
        const auto hint = form.find(IM_COL32(160, 140, 175, 140));
        ASSERT_NE(hint, form.end());
        const ImVec2 field((hint->second.min.x + hint->second.max.x) / 2,
                           (hint->second.min.y + hint->second.max.y) / 2);
        frame(field, false);
        frame(field, true);
        frame(field, false);
        ImGui::GetIO().AddInputCharactersUTF8(kPassword);
        for (int i = 0; i < 3; ++i) frame(field, false);
        ASSERT_STREQ(ui.passwordBuf, kPassword);
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
        if (c.loggedIn) {
            EXPECT_EQ(ImGuiBlocksWithPassword(), 0) << "Dear ImGui's blocks that hold the password";
        }
    }
}
