#include "ui/Forms.h"
#include "sys/MessageBoxes.h"

#include "sys/Error.h"
#include "ui/Accessible.h"
#include "ui/Picture.h"
#include "ui/StdCtrls.h"

#include <commctrl.h>

#include <algorithm>
#include <objbase.h>

TApplication* Application = nullptr;

std::wstring ErrorTextForDisplay(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.')
        return message + L".";
    return message;
}

bool WindowStationIsVisible() {
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return true; // when nothing says otherwise, assume someone is there to answer
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// ---- TForm

namespace {

#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

// The DPI the window is shown at: its monitor's (Windows 10 and later), else the system's.
int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace

TForm::TForm(TComponent* owner) : TWinControl(owner, nullptr) {
    TControl::SetBounds(0, 0, 600, 400);
    CreateHandle(nullptr, WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW,
                 nullptr);
    dpi_ = WindowDpi(Handle());
    SetLayoutBounds(0, 0, 600, 400);
}

void TForm::SetLayoutHeight(int height) {
    layout_.bottom = height;
    hasLayout_ = true;
    SetBounds(Left(), Top(), Scaled(layout_.right), Scaled(height));
}

void TForm::ScaleToDpi() {
    SetFont(TFont(Font()));
    if (hasLayout_)
        SetBounds(Left(), Top(), Scaled(layout_.right), Scaled(layout_.bottom));
}

void TForm::ApplyDpi(int dpi) {
    dpi_ = dpi;
    ScaleToDpi();
    // Owned controls come in the order they were made, containers before what they hold.
    for (TComponent* component : Components())
        if (auto* control = dynamic_cast<TControl*>(component))
            control->ScaleToDpi();
    Realign();
    for (TComponent* component : Components())
        if (auto* container = dynamic_cast<TWinControl*>(component))
            container->Realign();
    DpiChanged();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

TForm::~TForm() = default;

void TForm::Show() {
    if (!shownOnce_) {
        shownOnce_ = true;
        // Centred on the work area of the primary screen, for the size it has now.
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const int left = work.left + (work.right - work.left - Width()) / 2;
        const int top = work.top + (work.bottom - work.top - Height()) / 2;
        SetBounds(left, top, Width(), Height());
    }
    TControl::SetVisible(true);
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
}

void TForm::Close() {
    if (Application && Application->MainForm() == this) {
        ShowWindow(Handle(), SW_HIDE);
        Application->Terminate();
        return;
    }
    TControl::SetVisible(false);
    ShowWindow(Handle(), SW_HIDE);
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!accessibility_)
        accessibility_ = std::make_unique<TFormAccessibility>(*this);
    if (LRESULT answer = 0; accessibility_->HandleMessage(msg, wParam, lParam, answer))
        return answer;
    switch (msg) {
    case WM_CLOSE:
        // Closing from outside is the close button's press, with its rule.
        if (CancelControl)
            CancelControl->Press();
        else
            Close();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: the suggested place, and the layout at the new
        // DPI (whose size is the suggested one).
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        TControl::SetBounds(suggested->left, suggested->top, Width(), Height());
        SetWindowPos(Handle(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(LOWORD(wParam));
        return 0;
    }
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // A contrast theme switched on or off, or other system colours: painted afresh.
        RefreshHighContrast();
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        break;
    case WM_COMMAND:
        // The edit box took the focus itself (clicked, say): the window's focus follows.
        if (HIWORD(wParam) == EN_SETFOCUS)
            for (TControl* c : Children())
                if (c->IsWindowed() &&
                    static_cast<TWinControl*>(c)->Handle() == reinterpret_cast<HWND>(lParam))
                    FocusControl(c, false);
        break;
    default:
        break;
    }
    return TWinControl::WndProc(msg, wParam, lParam);
}

void TForm::FocusChanged(TControl* focused) {
    if (!accessibility_)
        accessibility_ = std::make_unique<TFormAccessibility>(*this);
    accessibility_->FocusChanged(focused);
}

bool TForm::InClientArea(const TControl& control) const {
    RECT r = control.BoundsRect();
    for (const TWinControl* p = control.Parent(); p && p != this; p = p->Parent())
        OffsetRect(&r, p->Left(), p->Top());
    const RECT client{0, 0, ClientWidth(), ClientHeight()};
    RECT overlap;
    return IntersectRect(&overlap, &r, &client) != FALSE;
}

std::vector<TControl*> TForm::FocusableControls() const {
    std::vector<TControl*> focusable;
    for (TControl* c : TabOrder)
        if (c->TabStop && c->Enabled() && c->Showing() && InClientArea(*c))
            focusable.push_back(c);
    return focusable;
}

void TForm::MoveFocus(bool forward) {
    const std::vector<TControl*> focusable = FocusableControls();
    if (focusable.empty())
        return;
    const auto at = std::find(focusable.begin(), focusable.end(), FocusedControl());
    std::size_t next;
    if (at == focusable.end())
        next = forward ? 0 : focusable.size() - 1;
    else {
        const std::size_t i = static_cast<std::size_t>(at - focusable.begin());
        next = forward ? (i + 1) % focusable.size() : (i + focusable.size() - 1) % focusable.size();
    }
    FocusControl(focusable[next], true);
}

TControl* TForm::DefaultControl() const {
    for (TComponent* component : Components()) {
        const auto* page = dynamic_cast<const TTabSheet*>(component);
        if (page && page->Showing() && page->DefaultControl && page->DefaultControl->Enabled() &&
            page->DefaultControl->Showing())
            return page->DefaultControl;
    }
    return nullptr;
}

bool TForm::PreTranslateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP)
        return false;
    if (msg.hwnd != Handle() && !IsChild(Handle(), msg.hwnd))
        return false;
    const bool down = msg.message == WM_KEYDOWN;
    TControl* focused = FocusedControl();
    // A windowless button with the focus; the edit box keeps its own keys but Tab and Enter.
    TControl* button = focused && !focused->IsWindowed() && focused->TabStop &&
                               focused->Enabled() && focused->Showing()
                           ? focused
                           : nullptr;
    switch (msg.wParam) {
    case VK_TAB:
        if (down)
            MoveFocus(GetKeyState(VK_SHIFT) >= 0);
        return true;
    case VK_RETURN:
        if (down) {
            TControl* target = button ? button : DefaultControl();
            if (target) {
                FocusControl(target, false);
                target->Press();
            }
        }
        return true;
    case VK_SPACE:
        if (!button)
            return false;
        if (down)
            spacePressed_ = button;
        else if (spacePressed_ == button) {
            spacePressed_ = nullptr;
            button->Press();
        }
        return true;
    case VK_ESCAPE:
        if (down && CancelControl)
            CancelControl->Press();
        return true;
    default:
        return false;
    }
}

// ---- TApplication

TApplication::TApplication() {
    SetToolkitErrorHandler([] {
        if (Application)
            Application->HandleException();
    });
}

void TApplication::Initialize() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The common controls come from the system folder (version 6 through the manifest).
    HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (comctl) {
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<InitFn>(GetProcAddress(comctl, "InitCommonControlsEx"));
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        if (init)
            init(&icc);
    }
    StartPictureDecoder();
}

void TApplication::Run() {
    if (mainForm_ && ShowMainForm && !terminated_)
        mainForm_->Show();
    MSG msg;
    while (!terminated_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (mainForm_ && mainForm_->PreTranslateKey(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    terminated_ = true;
}

void TApplication::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Keep the quit request for the loop that owns it.
            terminated_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (mainForm_ && mainForm_->PreTranslateKey(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring TApplication::Title() const {
    return MessageTitle();
}

void TApplication::SetTitle(const std::wstring& title) {
    SetMessageTitle(title);
}

int TApplication::ShowMessage(const std::wstring& text, UINT flags) {
    HWND owner = mainForm_ && IsWindowVisible(mainForm_->Handle()) ? mainForm_->Handle() : nullptr;
    return ShowMessageBox(owner, text, flags);
}

void TApplication::ShowException(const std::wstring& message) {
    ShowMessage(ErrorTextForDisplay(message), MB_OK | MB_ICONERROR);
}

void TApplication::HandleException() {
    try {
        throw;
    } catch (const EInstallerError& e) {
        ShowException(e.Message());
    } catch (const std::exception& e) {
        std::string what = e.what();
        ShowException(std::wstring(what.begin(), what.end()));
    } catch (...) {
        ShowException(L"Unexpected error");
    }
}
