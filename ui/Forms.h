#pragma once
// Top-level forms and the application object: title, main form, message loop, processing of
// pending messages and the error handler that reports what reached the loop.

#include "ui/Controls.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

class TFormAccessibility;

// A borderless top-level window that owns its taskbar button.
class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    // Disconnects the window's accessible object first: clients holding it get an error.
    ~TForm() override;
    std::wstring ClassName() const override { return L"TForm"; }

    // Shows the window; the first time it is centred on the screen.
    void Show();
    // Closing the main form ends the message loop (and so the program).
    void Close();
    void SetClientHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    // The window's height in layout units (at 96 DPI), kept across changes of DPI.
    void SetLayoutHeight(int height);

    // The DPI of the monitor the window is on (96 for an unscaled one).
    int Dpi() const override { return dpi_; }
    // Lays the whole window out again for `dpi`: fonts, positions, sizes, pictures.
    void ApplyDpi(int dpi);
    // Keeps its screen position: only the size is scaled.
    void ScaleToDpi() override;

    // The control Esc presses. Every way of closing the window that is not the program's own
    // (Alt+F4, the system menu, the taskbar's "Close window") presses it too, and does nothing
    // while it is disabled. Without one, those close the window.
    TControl* CancelControl = nullptr;
    // The controls that take the focus, in the order Tab visits them; those not showing, not
    // enabled or outside the window's client area are passed over.
    std::vector<TControl*> TabOrder;
    // The keyboard's part of the message loop, for messages to this window or its children:
    // Tab and Shift+Tab move the focus, Enter presses the focused button or else the shown
    // page's default control, Space presses the focused button, Esc the cancel control.
    // True when the message has been handled and must not be dispatched.
    bool PreTranslateKey(const MSG& msg);

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Tells screen readers which control has the focus now.
    void FocusChanged(TControl* focused) override;
    // Called once the window has been laid out for a new DPI, for what the program places
    // itself (texts that follow other texts, say).
    virtual void DpiChanged() {}

private:
    // The controls of TabOrder that can take the focus now.
    std::vector<TControl*> FocusableControls() const;
    void MoveFocus(bool forward);
    // The shown page's default control, when there is one that can be pressed.
    TControl* DefaultControl() const;
    // Whether the control lies at least partly inside the client area.
    bool InClientArea(const TControl& control) const;

    bool shownOnce_ = false;
    // The client area as screen readers see it (ui/Accessible.h).
    std::unique_ptr<TFormAccessibility> accessibility_;
    int dpi_ = 96;
    // The control Space went down on: the press happens when the key comes up.
    TControl* spacePressed_ = nullptr;
};

class TApplication {
public:
    TApplication();

    // Restricts nothing itself; readies COM (single-threaded), the common controls and the
    // picture decoder. Call once before any form is created.
    void Initialize();

    // The title of every message box (sys/MessageBoxes.h holds it): by default the
    // executable's file name up to its first ".", every character after the first in lower
    // case; the product's title once the settings are read.
    std::wstring Title() const;
    void SetTitle(const std::wstring& title);

    // Whether Run shows the main form before dispatching messages.
    bool ShowMainForm = true;

    TForm* MainForm() const { return mainForm_; }
    void SetMainForm(TForm* form) { mainForm_ = form; }

    // Dispatches messages until a quit is requested; shows the main form first when asked.
    void Run();
    // Requests the end of the message loop.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Dispatches every pending message, then returns; a quit request met on the way is kept.
    void ProcessMessages();

    // A modal box with one OK button under the application title, owned by the main form
    // while it is visible; returns the pressed id. Shows nothing and returns IDOK while boxes
    // are suppressed (SetMessageBoxesSuppressed, for runs that nobody can answer).
    int ShowMessage(const std::wstring& text, UINT flags = MB_OK);
    // Shows the error icon, the title and the error's text with the "." rule applied.
    void ShowException(const std::wstring& message);
    // Reports the exception being handled (call from a catch block).
    void HandleException();

private:
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
};

extern TApplication* Application;

// The error text as it is shown: "." appended unless the text ends in a character whose code
// is at most that of ".".
std::wstring ErrorTextForDisplay(const std::wstring& message);
// True when the process's window station is visible, that is, when a user can see and answer
// a message box; false under a service's invisible window station.
bool WindowStationIsVisible();
