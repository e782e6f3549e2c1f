#include "ui/TextImageButton.h"

#include <algorithm>

namespace {

// Clears a flag when the scope ends, also when drawing throws.
class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagGuard() { flag_ = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

TTextImageButton::TTextImageButton(TComponent* owner, TWinControl* parent)
    : TControl(owner, parent) {
    SetBounds(Left(), Top(), Scaled(75), Scaled(25));
}

void TTextImageButton::SetBitmap(const TPicture& picture) {
    Bmp = picture;
    ActualBmp = picture;
    SetBounds(Left(), Top(), Scaled(picture.Width()), Scaled(picture.Height()));
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

void TTextImageButton::SetBitmapDisabled(const TPicture& picture) {
    BmpDAble = picture;
    Repaint();
}

void TTextImageButton::SetaSmallIcon(const TPicture& picture) {
    FSmallIcon = picture;
    Repaint();
}

void TTextImageButton::SetStretch(bool value) {
    if (FStretch == value)
        return;
    FStretch = value;
    PictureChanged();
}

void TTextImageButton::SetProportional(bool value) {
    FProportional = value;
    PictureChanged();
}

void TTextImageButton::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on)
        SetBounds(Left(), Top(), Width(), Height());
}

bool TTextImageButton::CanAutoSize(int& width, int& height) {
    if (Bmp.Width() > 0 && Bmp.Height() > 0) {
        width = Scaled(Bmp.Width());
        height = Scaled(Bmp.Height());
    }
    return true;
}

RECT TTextImageButton::PictureRect() const {
    const int cw = Width(), ch = Height();
    int w = Scaled(ActualBmp.Width()), h = Scaled(ActualBmp.Height());
    if (FStretch || (FProportional && (w > cw || h > ch))) {
        if (FProportional && w > 0 && h > 0) {
            const double aspect = static_cast<double>(w) / h;
            if (w > h) {
                w = cw;
                h = static_cast<int>(cw / aspect);
                if (h > ch) {
                    h = ch;
                    w = static_cast<int>(ch * aspect);
                }
            } else {
                h = ch;
                w = static_cast<int>(ch * aspect);
                if (w > cw) {
                    w = cw;
                    h = static_cast<int>(cw / aspect);
                }
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    const int dx = (cw - w) / 2, dy = (ch - h) / 2;
    return RECT{dx, dy, dx + w, dy + h};
}

void TTextImageButton::PictureChanged() {
    if (autoSize_ && ActualBmp.Width() > 0 && ActualBmp.Height() > 0)
        SetBounds(Left(), Top(), Scaled(ActualBmp.Width()), Scaled(ActualBmp.Height()));
    bool opaque = false;
    if (!ActualBmp.Empty()) {
        const RECT r = PictureRect();
        opaque = !ActualBmp.Transparent() && r.left <= 0 && r.top <= 0 && r.right >= Width() &&
                 r.bottom >= Height();
    }
    ControlStyle = opaque ? (ControlStyle | csOpaque) : (ControlStyle & ~csOpaque);
    if (!FDrawing)
        Invalidate();
}

void TTextImageButton::Show(const TPicture& picture) {
    ActualBmp = picture;
    Repaint();
}

void TTextImageButton::Paint(HDC dc) {
    if (ActualBmp.Empty())
        ActualBmp = Bmp;
    if (!FBrushClear)
        FillWithColor(dc, RECT{0, 0, Width(), Height()}, FBrushColor);
    TFlagGuard drawing(FDrawing);

    const int dpi = Dpi();
    // High contrast: a plain face in the system's colours, framed, instead of the pictures.
    const bool contrast = HighContrastOn();
    if (contrast) {
        RECT all{0, 0, Width(), Height()};
        FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
        FrameRect(dc, &all, GetSysColorBrush(Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    } else if (Enabled() || BmpDAble.Empty()) {
        ActualBmp.Draw(dc, PictureRect(), dpi);
        if (!FSmallIcon.Empty()) {
            const int iconWidth = Scaled(FSmallIcon.Width()),
                      iconHeight = Scaled(FSmallIcon.Height());
            const int top = std::max(0, (Scaled(ActualBmp.Height()) - iconHeight) / 2 + Scaled(1));
            const int left = Scaled(10);
            FSmallIcon.Draw(dc, RECT{left, top, left + iconWidth, top + iconHeight}, dpi);
        }
    } else {
        // The disabled picture gives the control its size; the small icon is left out.
        const int width = Scaled(BmpDAble.Width()), height = Scaled(BmpDAble.Height());
        SetBounds(Left(), Top(), width, height);
        BmpDAble.Draw(dc, RECT{0, 0, width, height}, dpi);
    }

    HGDIOBJ oldFont = SelectObject(dc, Font().Handle());
    if (contrast)
        SetTextColor(dc, GetSysColor(Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    else
        SetTextColor(dc, Enabled() ? ResolveColor(Font().Color()) : clBlack);
    const std::wstring& caption = Caption();
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    const int top = (Height() - extent.cy) / 2;
    int left = (Width() - extent.cx) / 2;
    const int iconSpace = Scaled(FSmallIcon.Width()) + Scaled(16);
    if (!FSmallIcon.Empty() && left < iconSpace)
        left = iconSpace;
    if (!caption.empty()) {
        FBrushClear = true;
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        RECT text{left, top, left + extent.cx, top + extent.cy};
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX);
        SetBkMode(dc, oldMode);
    }
    SelectObject(dc, oldFont);
}

void TTextImageButton::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case WM_KEYDOWN:
        KeyMessage(message, FOnKeyDown);
        break;
    case WM_KEYUP:
        KeyMessage(message, FOnKeyUp);
        break;
    default:
        TControl::Dispatch(message);
        break;
    }
}

void TTextImageButton::KeyMessage(TMessage& message, const TKeyEvent& handler) {
    if ((ControlStyle & csNoStdEvents) || !handler)
        return;
    WORD key = LOWORD(message.WParam);
    handler(this, key, KeyDataToShiftState(message.LParam));
    message.WParam = (message.WParam & ~WPARAM(0xFFFF)) | key;
}

void TTextImageButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TControl::MouseDown(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !Enabled())
        return;
    if (OnMDown)
        OnMDown(this, button, shift, x, y);
    if (!MDown.Empty())
        Show(MDown);
}

void TTextImageButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TControl::MouseUp(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !Enabled())
        return;
    if (OnMUp)
        OnMUp(this, button, shift, x, y);
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
    // The pressed picture stays up while the handler runs (installing runs inside it).
    Repaint();
    if (Enabled() && BtnClick)
        BtnClick(this);
}
