#include "ui/ImgBtn.h"

TImgBtn::TImgBtn(TComponent* owner, TWinControl* parent) : TImage(owner, parent) {}

void TImgBtn::ShowStatePicture() {
    const TPicture& shown = !Enabled() && !PicDisabled.Empty() ? PicDisabled
                            : hover_ && !PicUp.Empty()         ? PicUp
                                                               : Pic;
    SetPicture(shown);
    Repaint();
}

void TImgBtn::SetEnabled(bool enabled) {
    TImage::SetEnabled(enabled);
    ShowStatePicture();
}

void TImgBtn::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TImage::MouseDown(button, shift, x, y);
    if (button == TMouseButton::mbLeft && Enabled() && !PicDown.Empty()) {
        SetPicture(PicDown);
        Repaint();
    }
}

void TImgBtn::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TImage::MouseUp(button, shift, x, y);
    ShowStatePicture();
}

void TImgBtn::MouseEnter() {
    hover_ = true;
    if (Enabled())
        ShowStatePicture();
}

void TImgBtn::MouseLeave() {
    hover_ = false;
    if (Enabled())
        ShowStatePicture();
}
