#pragma once
// A form that can be dragged by its background and by its plain pictures, labels and panels.

#include "ui/Obj_CommForm.h"

class TCommLangForm : public TCommForm {
public:
    explicit TCommLangForm(TComponent* owner) : TCommForm(owner) {}
    std::wstring ClassName() const override { return L"TCommLangForm"; }

    bool bMouseDownToMoveClient() const { return FbMouseDownToMoveClient; }
    // Switches dragging by the background on or off: the form's own mouse-down event and that
    // of every owned component whose class is one of the drag-handle classes get the move
    // handler (pictures only while they have no click handler).
    void SetbMouseDownToMoveClient(bool value);
    // Mouse-down handler that starts the system's interactive move of the window.
    void MouseDownToMoveClient(TObject* sender, TMouseButton button, TShiftState shift, int x,
                               int y);

protected:
    bool FbMouseDownToMoveClient = false;
};
