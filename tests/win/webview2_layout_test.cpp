// The declared runtime interfaces put each method the launcher calls at the
// slot the runtime's binary interface has it, and carry the published IIDs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "ui/WebView2.h"

namespace {
// With this compiler a pointer to a virtual member holds 1 + the slot's byte offset.
template <typename PMF>
long Slot(PMF pmf) {
    uintptr_t raw = 0;
    std::memcpy(&raw, &pmf, sizeof(raw));
    return static_cast<long>((raw - 1) / sizeof(void*));
}

std::string Text(const GUID& g) {
    wchar_t buf[64];
    StringFromGUID2(g, buf, 64);
    std::string out;
    for (wchar_t* p = buf; *p; ++p) out += static_cast<char>(*p);
    return out;
}
}  // namespace

TEST(WebView2Layout, UsedMethodsSitAtTheirSlots) {
    EXPECT_EQ(Slot(&ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler::Invoke), 3);
    EXPECT_EQ(Slot(&ICoreWebView2CreateCoreWebView2ControllerCompletedHandler::Invoke), 3);
    EXPECT_EQ(Slot(&ICoreWebView2WebMessageReceivedEventHandler::Invoke), 3);
    EXPECT_EQ(Slot(&ICoreWebView2Environment::CreateCoreWebView2Controller), 3);
    EXPECT_EQ(Slot(&ICoreWebView2Controller::put_IsVisible), 4);
    EXPECT_EQ(Slot(&ICoreWebView2Controller::put_Bounds), 6);
    EXPECT_EQ(Slot(&ICoreWebView2Controller::Close), 24);
    EXPECT_EQ(Slot(&ICoreWebView2Controller::get_CoreWebView2), 25);
    EXPECT_EQ(Slot(&ICoreWebView2::Navigate), 5);
    EXPECT_EQ(Slot(&ICoreWebView2::add_WebMessageReceived), 34);
    EXPECT_EQ(Slot(&ICoreWebView2WebMessageReceivedEventArgs::get_WebMessageAsJson), 4);
}

TEST(WebView2Layout, InterfaceIdentifiers) {
    EXPECT_EQ(Text(IID_ICoreWebView2Environment), "{B96D755E-0319-4E92-A296-23436F46A1FC}");
    EXPECT_EQ(Text(IID_ICoreWebView2Controller), "{4D00C0D1-9434-4EB6-8078-8697A560334F}");
    EXPECT_EQ(Text(IID_ICoreWebView2), "{76ECEACB-0462-4D94-AC83-423A6793775E}");
    EXPECT_EQ(Text(IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler),
              "{4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D}");
    EXPECT_EQ(Text(IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler),
              "{6C4819F3-C9B7-4260-8127-C9F5BDE7F68C}");
    EXPECT_EQ(Text(IID_ICoreWebView2WebMessageReceivedEventHandler), "{57213F19-00E6-49FA-8E07-898EA01ECBD2}");
    EXPECT_EQ(Text(IID_ICoreWebView2WebMessageReceivedEventArgs), "{0F99A40C-E962-4207-9E92-E3D542EFF849}");
}
