#pragma once
// The few WebView2 runtime interfaces the launcher calls, declared here with
// the runtime's published slot order and interface identifiers. Slots the
// launcher never calls are reserved by placeholders so that the used ones
// land at their numbers; placeholders are never called.
#include <windows.h>
#include <eventtoken.h>
#include <unknwn.h>

inline constexpr GUID IID_ICoreWebView2Environment = {
    0xb96d755e, 0x0319, 0x4e92, {0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc}};
inline constexpr GUID IID_ICoreWebView2Controller = {
    0x4d00c0d1, 0x9434, 0x4eb6, {0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f}};
inline constexpr GUID IID_ICoreWebView2 = {
    0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
inline constexpr GUID IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler = {
    0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
inline constexpr GUID IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler = {
    0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
inline constexpr GUID IID_ICoreWebView2WebMessageReceivedEventHandler = {
    0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
inline constexpr GUID IID_ICoreWebView2WebMessageReceivedEventArgs = {
    0x0f99a40c, 0xe962, 0x4207, {0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49}};

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2EnvironmentOptions;

#define WV2_RESERVED(name) virtual HRESULT STDMETHODCALLTYPE name() = 0

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* result) = 0;  // 3
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* result) = 0;  // 3
};

struct ICoreWebView2WebMessageReceivedEventHandler : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2WebMessageReceivedEventArgs* args) = 0;  // 3
};

struct ICoreWebView2Environment : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;  // 3
    WV2_RESERVED(CreateWebResourceResponse);                                                        // 4
    WV2_RESERVED(get_BrowserVersionString);                                                         // 5
    WV2_RESERVED(add_NewBrowserVersionAvailable);                                                   // 6
    WV2_RESERVED(remove_NewBrowserVersionAvailable);                                                // 7
};

struct ICoreWebView2Controller : public IUnknown {
    WV2_RESERVED(get_IsVisible);                                                      // 3
    virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;              // 4
    WV2_RESERVED(get_Bounds);                                                         // 5
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;                    // 6
    WV2_RESERVED(get_ZoomFactor);                                                     // 7
    WV2_RESERVED(put_ZoomFactor);                                                     // 8
    WV2_RESERVED(add_ZoomFactorChanged);                                              // 9
    WV2_RESERVED(remove_ZoomFactorChanged);                                           // 10
    WV2_RESERVED(SetBoundsAndZoomFactor);                                             // 11
    WV2_RESERVED(MoveFocus);                                                          // 12
    WV2_RESERVED(add_MoveFocusRequested);                                             // 13
    WV2_RESERVED(remove_MoveFocusRequested);                                          // 14
    WV2_RESERVED(add_GotFocus);                                                       // 15
    WV2_RESERVED(remove_GotFocus);                                                    // 16
    WV2_RESERVED(add_LostFocus);                                                      // 17
    WV2_RESERVED(remove_LostFocus);                                                   // 18
    WV2_RESERVED(add_AcceleratorKeyPressed);                                          // 19
    WV2_RESERVED(remove_AcceleratorKeyPressed);                                       // 20
    WV2_RESERVED(get_ParentWindow);                                                   // 21
    WV2_RESERVED(put_ParentWindow);                                                   // 22
    WV2_RESERVED(NotifyParentWindowPositionChanged);                                  // 23
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                    // 24
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;  // 25
};

struct ICoreWebView2 : public IUnknown {
    WV2_RESERVED(get_Settings);                                          // 3
    WV2_RESERVED(get_Source);                                            // 4
    virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;         // 5
    WV2_RESERVED(NavigateToString);                                      // 6
    WV2_RESERVED(add_NavigationStarting);                                // 7
    WV2_RESERVED(remove_NavigationStarting);                             // 8
    WV2_RESERVED(add_ContentLoading);                                    // 9
    WV2_RESERVED(remove_ContentLoading);                                 // 10
    WV2_RESERVED(add_SourceChanged);                                     // 11
    WV2_RESERVED(remove_SourceChanged);                                  // 12
    WV2_RESERVED(add_HistoryChanged);                                    // 13
    WV2_RESERVED(remove_HistoryChanged);                                 // 14
    WV2_RESERVED(add_NavigationCompleted);                               // 15
    WV2_RESERVED(remove_NavigationCompleted);                            // 16
    WV2_RESERVED(add_FrameNavigationStarting);                           // 17
    WV2_RESERVED(remove_FrameNavigationStarting);                        // 18
    WV2_RESERVED(add_FrameNavigationCompleted);                          // 19
    WV2_RESERVED(remove_FrameNavigationCompleted);                       // 20
    WV2_RESERVED(add_ScriptDialogOpening);                               // 21
    WV2_RESERVED(remove_ScriptDialogOpening);                            // 22
    WV2_RESERVED(add_PermissionRequested);                               // 23
    WV2_RESERVED(remove_PermissionRequested);                            // 24
    WV2_RESERVED(add_ProcessFailed);                                     // 25
    WV2_RESERVED(remove_ProcessFailed);                                  // 26
    WV2_RESERVED(AddScriptToExecuteOnDocumentCreated);                   // 27
    WV2_RESERVED(RemoveScriptToExecuteOnDocumentCreated);                // 28
    WV2_RESERVED(ExecuteScript);                                         // 29
    WV2_RESERVED(CapturePreview);                                        // 30
    WV2_RESERVED(Reload);                                                // 31
    WV2_RESERVED(PostWebMessageAsJson);                                  // 32
    WV2_RESERVED(PostWebMessageAsString);                                // 33
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                             EventRegistrationToken* token) = 0;  // 34
    virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) = 0;  // 35
};

struct ICoreWebView2WebMessageReceivedEventArgs : public IUnknown {
    WV2_RESERVED(get_Source);                                                          // 3
    virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* webMessageAsJson) = 0;  // 4
    WV2_RESERVED(TryGetWebMessageAsString);                                            // 5
};

#undef WV2_RESERVED

// The loader's one export, looked up at run time.
using CreateCoreWebView2EnvironmentWithOptionsFn = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);
