// The application object: the error text rule, the default title, and processing pending
// messages without losing a quit request.

#include "sys/MessageBoxes.h"
#include "ui/Forms.h"

#include <gtest/gtest.h>

TEST(ApplicationTest, ErrorTextGetsAPeriodUnlessItEndsInOneOrBelow) {
    struct {
        const wchar_t* message;
        const wchar_t* shown;
    } cases[] = {
        {L"Resource zipfile not found", L"Resource zipfile not found."},
        {L"Done.", L"Done."},
        {L"Insufficient disk space!", L"Insufficient disk space!"}, // '!' lies below '.'
        {L"Size 100-", L"Size 100-"},                               // '-' lies below '.'
        {L"path C:\\x\\", L"path C:\\x\\."},
        {L"\u4E2D\u6587", L"\u4E2D\u6587."},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorTextForDisplay(c.message), c.shown) << "for \"" << c.message << "\"";
}

TEST(ApplicationTest, DefaultTitleIsTheFileNameUpToItsFirstDot) {
    struct {
        const wchar_t* path;
        const wchar_t* title;
    } cases[] = {
        {L"C:\\Setup\\setup.exe", L"setup"},     {L"C:\\Setup\\SETUP.EXE", L"Setup"},
        {L"C:\\a.b\\My.App.exe", L"My"},         {L"D:unin.exe", L"unin"},
        {L"C:\\x\\NoExtension", L"Noextension"},
        {L"C:\\Setup\\MySETUP.Tool.EXE", L"Mysetup"},
        {L"D:X.exe", L"X"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultMessageTitle(c.path), c.title) << "for " << c.path;
}

namespace {
int gDispatched = 0;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP)
        ++gDispatched;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
} // namespace

TEST(ApplicationTest, ProcessMessagesDispatchesAllAndKeepsTheQuitRequest) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ApplicationTestWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    TApplication application;
    gDispatched = 0;
    for (int i = 0; i < 3; ++i)
        PostMessageW(window, WM_APP, 0, 0);
    application.ProcessMessages();
    EXPECT_EQ(gDispatched, 3);
    EXPECT_FALSE(application.Terminated());

    PostMessageW(window, WM_APP, 0, 0);
    PostQuitMessage(7);
    application.ProcessMessages();
    EXPECT_TRUE(application.Terminated());
    // The quit request is still there for the loop that owns it.
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    DestroyWindow(window);
}
