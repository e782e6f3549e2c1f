#include "ui/TextImageButton.h"

TTextImageButton::TTextImageButton(TComponent* owner, TWinControl* parent)
    : TControl(owner, parent) {
    SetBounds(Left(), Top(), 75, 25);
}

void TTextImageButton::SetBitmap(const TPicture& picture) {
    Bmp = picture;
    ActualBmp = picture;
    SetBounds(Left(), Top(), picture.Width(), picture.Height());
    Repaint();
}

void TTextImageButton::SetBitmapOver(const TPicture& picture) {
    MOver = picture;
    Repaint();
}

void TTextImageButton::SetBitmapDown(const TPicture& picture) {
    MDown = picture;
    Repaint();
}

void TTextImageButton::SetStretch(bool value) {
    if (FStretch == value)
        return;
    FStretch = value;
    Invalidate();
}

void TTextImageButton::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on)
        SetBounds(Left(), Top(), Width(), Height());
}

bool TTextImageButton::CanAutoSize(int& width, int& height) {
    if (Bmp.Width() > 0 && Bmp.Height() > 0) {
        width = Bmp.Width();
        height = Bmp.Height();
    }
    return true;
}

void TTextImageButton::Show(const TPicture& picture) {
    ActualBmp = picture;
    Repaint();
}

void TTextImageButton::Paint(HDC dc) {
    if (ActualBmp.Empty())
        ActualBmp = Bmp;
    RECT picture = FStretch ? RECT{0, 0, Width(), Height()}
                            : RECT{0, 0, ActualBmp.Width(), ActualBmp.Height()};
    if (!Enabled() && !BmpDAble.Empty())
        BmpDAble.Draw(dc, RECT{0, 0, BmpDAble.Width(), BmpDAble.Height()});
    else
        ActualBmp.Draw(dc, picture);

    if (Caption().empty())
        return;
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Enabled() ? ResolveColor(Font().Color()) : clBlack);
    RECT text{0, 0, Width(), Height()};
    DrawTextW(dc, Caption().c_str(), static_cast<int>(Caption().size()), &text,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOCLIP);
    SelectObject(dc, old);
}

void TTextImageButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button != TMouseButton::mbLeft || !Enabled())
        return;
    TControl::MouseDown(button, shift, x, y);
    if (!MDown.Empty())
        Show(MDown);
}

void TTextImageButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (button != TMouseButton::mbLeft || !Enabled())
        return;
    TControl::MouseUp(button, shift, x, y);
    if (!MOver.Empty())
        Show(MOver);
}

void TTextImageButton::MouseEnter() {
    if (Enabled() && !MOver.Empty())
        Show(MOver);
}

void TTextImageButton::MouseLeave() {
    if (Enabled() && !Bmp.Empty())
        Show(Bmp);
}

void TTextImageButton::Click() {
    Repaint();
    if (Enabled())
        TControl::Click();
}
