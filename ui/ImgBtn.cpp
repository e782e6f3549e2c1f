#include "ui/ImgBtn.h"

TImgBtn::TImgBtn(TComponent* owner, TWinControl* parent)
    : TImage(owner, parent), FFlashTimer(std::make_unique<TTimer>(nullptr)) {
    FFlashTimer->SetInterval(500);
    FFlashTimer->SetEnabled(false);
    FFlashTimer->OnTimer = [this](TObject*) { FlashTick(); };
}

void TImgBtn::SetPic(const TPicture& picture) {
    SetPicture(picture);
    FPic = picture;
}

void TImgBtn::SetFlashed(bool value) {
    FFlashed = value;
    FFlashTimer->SetEnabled(value);
}

void TImgBtn::SetEnabled(bool enabled) {
    SetPicture(enabled || FPicDisabled.Empty() ? FPic : FPicDisabled);
    FDown = false;
    FEntered = false;
    Repaint();
    TImage::SetEnabled(enabled);
}

void TImgBtn::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case CM_MOUSEENTER:
        CMMouseEnter(message);
        break;
    case CM_MOUSELEAVE:
        CMMouseLeave(message);
        break;
    case WM_LBUTTONDOWN:
        WMLButtonDown(message);
        break;
    case WM_LBUTTONUP:
        WMLButtonUp(message);
        break;
    case WM_CANCELMODE:
        // The press lost the mouse and will see no release: it is over, or the button would
        // stay pressed (and stop flashing) until the next one.
        TImage::Dispatch(message);
        FDown = false;
        if (FSupported && FEntered && !FPicUp.Empty())
            SetPicture(FPicUp);
        break;
    default:
        TImage::Dispatch(message);
        break;
    }
}

void TImgBtn::Raise(const TOnMouseEvent& handler, TMessage& message) {
    if (!handler)
        return;
    TWMMouse mouse = MouseMessage(message);
    handler(mouse);
    message.Result = mouse.Result;
}

void TImgBtn::CMMouseEnter(TMessage& message) {
    if (!FSupported)
        return;
    FEntered = true;
    if (!FPic.Empty())
        SetPicture(FDown ? FPicDown : FPicUp);
    Raise(FOnMouseEnter, message);
}

void TImgBtn::CMMouseLeave(TMessage& message) {
    if (!FSupported)
        return;
    FEntered = false;
    if (!FPic.Empty())
        SetPicture(FPic);
    Raise(FOnMouseLeave, message);
}

void TImgBtn::WMLButtonDown(TMessage& message) {
    TImage::Dispatch(message);
    if (!FSupported)
        return;
    FDown = true;
    if (FEntered && !FPicDown.Empty())
        SetPicture(FPicDown);
    Raise(FOnMouseDown, message);
}

void TImgBtn::WMLButtonUp(TMessage& message) {
    // The base clicks first, so the click handler runs before the hover picture is back.
    TImage::Dispatch(message);
    if (!FSupported)
        return;
    FDown = false;
    if (FEntered && !FPicUp.Empty())
        SetPicture(FPicUp);
    Raise(FOnMouseUp, message);
}

void TImgBtn::FlashTick() {
    if (FDown)
        return;
    // Counted in unsigned arithmetic: the count wraps instead of overflowing, and its parity
    // keeps alternating.
    FFlashTimes = static_cast<std::int32_t>(static_cast<std::uint32_t>(FFlashTimes) + 1u);
    SetPicture(FFlashTimes % 2 != 0 ? FPicUp : FPicDown);
}
