#include "ui/Forms.h"
#include "sys/RunLog.h"

#include "sys/Error.h"
#include "ui/Picture.h"

#include <commctrl.h>
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

void HandleToolkitException() {
    if (Application)
        Application->HandleException();
}

// ---- TForm

TForm::TForm(TComponent* owner) : TWinControl(owner, nullptr) {
    TControl::SetBounds(0, 0, 600, 400);
    CreateHandle(nullptr, WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW,
                 nullptr);
}

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
    if (msg == WM_CLOSE) {
        Close();
        return 0;
    }
    return TWinControl::WndProc(msg, wParam, lParam);
}

// ---- TApplication

TApplication::TApplication() = default;

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
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int TApplication::ShowMessage(const std::wstring& text, UINT flags) {
    if (RunLogOpen())
        LogLine(L"message" + std::wstring(SuppressMessageBoxes ? L" (not shown): " : L": ") + text);
    if (SuppressMessageBoxes)
        return IDOK;
    HWND owner = mainForm_ && IsWindowVisible(mainForm_->Handle()) ? mainForm_->Handle() : nullptr;
    return MessageBoxW(owner, text.c_str(), title_.c_str(), flags);
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
