#include "ui/Obj_CommLangForm.h"

#include <array>

void TCommLangForm::SetbMouseDownToMoveClient(bool value) {
    FbMouseDownToMoveClient = value;
    TMouseEvent handler;
    if (value)
        handler = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
            MouseDownToMoveClient(sender, button, shift, x, y);
        };
    OnMouseDown = handler;

    // Exact class names: a derived class (such as the close button's) is not a drag handle.
    static const std::array<const wchar_t*, 6> kReplaced = {L"TbsSkinTextLabel", L"TbsSkinTabSheet",
                                                            L"TbsSkinStdLabel",  L"TPanel",
                                                            L"TGroupBox",        L"TLabel"};
    for (TComponent* component : Components()) {
        const std::wstring name = component->ClassName();
        auto* control = dynamic_cast<TControl*>(component);
        if (!control)
            continue;
        if (name == L"TImage") {
            if (!control->OnClick)
                control->OnMouseDown = handler;
            continue;
        }
        for (const wchar_t* replaced : kReplaced)
            if (name == replaced) {
                control->OnMouseDown = handler;
                break;
            }
    }
}

void TCommLangForm::MouseDownToMoveClient(TObject*, TMouseButton, TShiftState, int, int) {
    ReleaseCapture();
    // SC_MOVE combined with the caption hit-test code: the system moves the window with the
    // pointer until the button is released, as when a caption bar is dragged.
    SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}
