#pragma once
// The window's close button: a picture control that shows its normal, hover, pressed or
// disabled picture according to the pointer, the left button and its enabled state, and that
// can flash by alternating the hover and pressed pictures.

#include "ui/StdCtrls.h"

#include <cstdint>
#include <memory>

// An event of the close button: the mouse message being handled (for enter and leave the
// notification itself, whose position fields carry nothing).
using TOnMouseEvent = std::function<void(TWMMouse& Msg)>;

class TImgBtn : public TImage {
public:
    TImgBtn(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TImgBtn"; }

    // The holders; writing into them directly (as form data does) shows nothing.
    TPicture& Pic() { return FPic; }
    TPicture& PicUp() { return FPicUp; }
    TPicture& PicDown() { return FPicDown; }
    TPicture& PicDisabled() { return FPicDisabled; }
    // Shows the picture and keeps it as the normal one.
    void SetPic(const TPicture& picture);
    // Keep the picture for their state; the shown picture does not change.
    void SetPicUp(const TPicture& picture) { FPicUp = picture; }
    void SetPicDown(const TPicture& picture) { FPicDown = picture; }
    void SetPicDisabled(const TPicture& picture) { FPicDisabled = picture; }

    // Picture switching and the control's own four events; clicks work either way.
    bool& Supported = FSupported;

    bool Flashed() const { return FFlashed; }
    // Starts or stops flashing; neither the tick count nor the shown picture is reset.
    void SetFlashed(bool value);
    // The timer whose ticks flash the button (500 ms).
    const TTimer& FlashTimer() const { return *FFlashTimer; }

    // The control's own events; the base's enter, leave, press and release ones stay unassigned.
    TOnMouseEvent& OnMouseEnter = FOnMouseEnter;
    TOnMouseEvent& OnMouseLeave = FOnMouseLeave;
    TOnMouseEvent& OnMouseDown = FOnMouseDown;
    TOnMouseEvent& OnMouseUp = FOnMouseUp;

    void SetEnabled(bool enabled) override;
    void Dispatch(TMessage& message) override;

private:
    void CMMouseEnter(TMessage& message);
    void CMMouseLeave(TMessage& message);
    void WMLButtonDown(TMessage& message);
    void WMLButtonUp(TMessage& message);
    void FlashTick();
    static void Raise(const TOnMouseEvent& handler, TMessage& message);

    TPicture FPic, FPicUp, FPicDown, FPicDisabled;
    bool FEntered = false;
    bool FDown = false;
    bool FSupported = true;
    bool FFlashed = false;
    std::unique_ptr<TTimer> FFlashTimer;
    std::int32_t FFlashTimes = 0;

    TOnMouseEvent FOnMouseEnter;
    TOnMouseEvent FOnMouseLeave;
    TOnMouseEvent FOnMouseDown;
    TOnMouseEvent FOnMouseUp;
};
