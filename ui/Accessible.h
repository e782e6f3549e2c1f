#pragma once
// The form's client area as screen readers see it (Microsoft Active Accessibility): one
// accessible object for the window, whose children are the controls a user can see now, each a
// simple element (child ids 1..n, numbered afresh on every call in reading order: the header,
// the shown page, then the custom-install row). Buttons, labels, the path box and the shown
// progress bar are listed; decorative pictures are not. Everything is read live from the
// toolkit on each call; the object holds nothing but the form, and answers RPC_E_DISCONNECTED
// once the form has gone. oleacc.dll is loaded from the system folder when first asked for.

#include <windows.h>

#include <oleacc.h>

class TForm;
class TControl;

class TFormAccessibility {
public:
    explicit TFormAccessibility(TForm& form);
    // Cuts the accessible object off from the form: clients holding it get RPC_E_DISCONNECTED.
    ~TFormAccessibility();
    TFormAccessibility(const TFormAccessibility&) = delete;
    TFormAccessibility& operator=(const TFormAccessibility&) = delete;

    // Answers WM_GETOBJECT for the client area, and carries out a press that a client asked for
    // (posted, so that the client's call returns before the workflow runs). False for every
    // other message, and for the object ids the system answers itself.
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Raises the focus event for the control that has just taken the focus (none: the window).
    void FocusChanged(TControl* focused);

private:
    TForm& form_;
    // Made on the first request; it outlives this holder only as a disconnected object.
    class TClientAccessible* object_ = nullptr;
};
