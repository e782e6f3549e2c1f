#pragma once
// The window's close button: a picture control with pictures for the normal, hover, pressed
// and disabled states.

#include "ui/StdCtrls.h"

class TImgBtn : public TImage {
public:
    TImgBtn(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TImgBtn"; }

    TPicture Pic, PicUp, PicDown, PicDisabled;
    bool Supported = false;

    void SetEnabled(bool enabled) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    // Shows the picture that matches the current state.
    void ShowStatePicture();

private:
    bool hover_ = false;
};
