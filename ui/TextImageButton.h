#pragma once
// The window's picture push button: a windowless control drawn from its state pictures
// (normal, hover, pressed), an optional disabled picture and an optional small icon at its
// left, with its caption painted over the picture.

#include "ui/Controls.h"
#include "ui/Picture.h"

class TTextImageButton : public TControl {
public:
    // 75 by 25 pixels, every holder empty, no event assigned.
    TTextImageButton(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TTextImageButton"; }

    // The holders; writing into them directly (as form data and branding do) changes neither
    // the size nor the shown picture.
    TPicture& Bitmap() { return Bmp; }
    TPicture& BitmapOver() { return MOver; }
    TPicture& BitmapDown() { return MDown; }
    TPicture& BitmapDisabled() { return BmpDAble; }
    TPicture& aSmallIcon() { return FSmallIcon; }
    // The picture shown now: a copy of the normal, hover or pressed one.
    const TPicture& ShownPicture() const { return ActualBmp; }

    // The setters repaint at once, so the control must be on its parent already.
    // Takes the normal picture: it is shown, and the control takes its size.
    void SetBitmap(const TPicture& picture);
    void SetBitmapOver(const TPicture& picture);
    void SetBitmapDown(const TPicture& picture);
    void SetBitmapDisabled(const TPicture& picture);
    void SetaSmallIcon(const TPicture& picture);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);

    // Where the shown picture is drawn, in control coordinates.
    RECT PictureRect() const;

    // The control's own events (the base's stay unassigned); the properties name the fields.
    TNotifyEvent& OnClick = BtnClick;
    TMouseEvent& OnMouseDown = OnMDown;
    TMouseEvent& OnMouseUp = OnMUp;
    TKeyEvent& OnKeyDown = FOnKeyDown;
    TKeyEvent& OnKeyUp = FOnKeyUp;

    void Dispatch(TMessage& message) override;
    void Paint(HDC dc) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Click() override;

protected:
    bool CanAutoSize(int& width, int& height) override;

private:
    void Show(const TPicture& picture);
    void PictureChanged();
    void KeyMessage(TMessage& message, const TKeyEvent& handler);

    TPicture Bmp, MOver, MDown, BmpDAble, FSmallIcon, ActualBmp;
    bool FStretch = false;
    bool FProportional = false;
    bool FDrawing = false;
    // The canvas brush: the button face, until the first caption is drawn, which leaves it
    // clear for every later paint.
    const COLORREF FBrushColor = clBtnFace;
    bool FBrushClear = false;

    TNotifyEvent BtnClick;
    TMouseEvent OnMDown;
    TMouseEvent OnMUp;
    TKeyEvent FOnKeyDown;
    TKeyEvent FOnKeyUp;
};
