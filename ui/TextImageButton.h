#pragma once
// The window's picture push button: a windowless control drawn from its state pictures
// (normal, hover, pressed) with its caption painted over the picture.

#include "ui/Controls.h"
#include "ui/Picture.h"

class TTextImageButton : public TControl {
public:
    TTextImageButton(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TTextImageButton"; }

    // The holders; writing into them directly changes neither the size nor the shown picture.
    TPicture& Bitmap() { return Bmp; }
    TPicture& BitmapOver() { return MOver; }
    TPicture& BitmapDown() { return MDown; }
    TPicture& BitmapDisabled() { return BmpDAble; }

    // Takes the normal picture: it is shown at once and the control takes its size.
    void SetBitmap(const TPicture& picture);
    void SetBitmapOver(const TPicture& picture);
    void SetBitmapDown(const TPicture& picture);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    void SetAutoSize(bool on);

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

    TPicture Bmp, MOver, MDown, BmpDAble, ActualBmp;
    bool FStretch = false;
};
