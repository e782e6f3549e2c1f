#include "ui/Controls.h"
#include "sys/Win32Handle.h"

#include <windowsx.h>

#include <algorithm>

const wchar_t kToolkitWindowClass[] = L"TToolkitWindow";

namespace {
TToolkitErrorHandler errorHandler = nullptr;
} // namespace

void SetToolkitErrorHandler(TToolkitErrorHandler handler) {
    errorHandler = handler;
}

void HandleToolkitException() {
    if (errorHandler)
        errorHandler();
}

namespace {

void RegisterToolkitClass() {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    // Double clicks are delivered as such so that controls can tell the second press apart.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kToolkitWindowClass;
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    RegisterClassExW(&wc);
    registered = true;
}

TShiftState ShiftFromKeys(WPARAM keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT)
        s |= ssShift;
    if (keys & MK_CONTROL)
        s |= ssCtrl;
    if (keys & MK_LBUTTON)
        s |= ssLeft;
    if (keys & MK_RBUTTON)
        s |= ssRight;
    if (keys & MK_MBUTTON)
        s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    return s;
}

TMouseButton ButtonOf(UINT msg) {
    switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
        return TMouseButton::mbRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
        return TMouseButton::mbMiddle;
    default:
        return TMouseButton::mbLeft;
    }
}

// A point in a mouse message's position field (16-bit signed coordinates).
LPARAM PointToLParam(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                      static_cast<WORD>(static_cast<short>(y)));
}

} // namespace

TWMMouse MouseMessage(const TMessage& message) {
    TWMMouse mouse;
    mouse.Msg = message.Msg;
    mouse.Keys = message.WParam;
    mouse.XPos = static_cast<short>(GET_X_LPARAM(message.LParam));
    mouse.YPos = static_cast<short>(GET_Y_LPARAM(message.LParam));
    mouse.Result = message.Result;
    return mouse;
}

TShiftState KeyDataToShiftState(LPARAM keyData) {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0)
        s |= ssCtrl;
    // The context code: set while Alt is held.
    if (keyData & (LPARAM(1) << 29))
        s |= ssAlt;
    return s;
}

// ---- TComponent

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    // Owned components go first, newest first, so that children never outlive parents.
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

// ---- TControl

TControl::TControl(TComponent* owner, TWinControl* parent) : TComponent(owner), parent_(parent) {
    if (parent_) {
        font_ = parent_->Font();
        parent_->AddChild(this);
    }
}

TControl::~TControl() {
    if (parent_)
        parent_->RemoveChild(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (autoSize_)
        CanAutoSize(width, height);
    if (left == left_ && top == top_ && width == width_ && height == height_)
        return;
    if (!IsWindowed())
        Invalidate();
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (!IsWindowed())
        Invalidate();
}

int TControl::Dpi() const {
    return parent_ ? parent_->Dpi() : 96;
}

void TControl::SetLayoutBounds(int left, int top, int width, int height) {
    layout_ = RECT{left, top, width, height};
    hasLayout_ = true;
    SetBounds(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
}

void TControl::ScaleToDpi() {
    SetFont(TFont(font_));
    if (hasLayout_)
        SetBounds(Scaled(layout_.left), Scaled(layout_.top), Scaled(layout_.right),
                  Scaled(layout_.bottom));
}

void TControl::SetAlign(TAlign align) {
    align_ = align;
    if (parent_)
        parent_->Realign();
}

void TControl::SetVisible(bool visible) {
    if (visible_ == visible)
        return;
    visible_ = visible;
    if (parent_ && !visible && parent_->hovered_ == this)
        parent_->hovered_ = nullptr;
    if (parent_ && !visible && parent_->captured_ == this)
        parent_->captured_ = nullptr;
    if (!IsWindowed() && parent_ && parent_->Handle()) {
        RECT r = BoundsRect();
        InvalidateRect(parent_->Handle(), &r, FALSE);
    }
}

void TControl::SetEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    Invalidate();
}

void TControl::SetCaption(const std::wstring& caption) {
    if (caption_ == caption)
        return;
    caption_ = caption;
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetFont(const TFont& font) {
    font_ = font;
    font_.SetDpi(Dpi()); // the layout gives fonts at 96 DPI
    Invalidate();
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    Dispatch(message);
    return message.Result;
}

void TControl::Dispatch(TMessage& message) {
    const UINT msg = message.Msg;
    const int x = GET_X_LPARAM(message.LParam), y = GET_Y_LPARAM(message.LParam);
    switch (msg) {
    case CM_TEXTCHANGED:
        Invalidate();
        break;
    case CM_MOUSEENTER:
        MouseEnter();
        break;
    case CM_MOUSELEAVE:
        MouseLeave();
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (msg == WM_LBUTTONDOWN)
            clickPending_ = true;
        MouseDown(ButtonOf(msg), ShiftFromKeys(message.WParam), x, y);
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        // The second press of a double click does not click again.
        if (msg == WM_LBUTTONDBLCLK)
            clickPending_ = false;
        MouseDown(ButtonOf(msg), ShiftFromKeys(message.WParam) | ssDouble, x, y);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        // A click is a left press on the control and a release inside it.
        if (msg == WM_LBUTTONUP && clickPending_) {
            clickPending_ = false;
            if (x >= 0 && y >= 0 && x < width_ && y < height_ && enabled_)
                Click();
        }
        MouseUp(ButtonOf(msg), ShiftFromKeys(message.WParam), x, y);
        break;
    case WM_MOUSEMOVE:
        MouseMove(ShiftFromKeys(message.WParam), x, y);
        break;
    case WM_CANCELMODE:
        // The container lost the mouse before the release: that press will never click.
        clickPending_ = false;
        break;
    default:
        break;
    }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TControl::Click() {
    if (OnClick)
        OnClick(this);
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_)
            return false;
    return true;
}

bool TControl::Focused() const {
    const TControl* root = this;
    while (root->parent_)
        root = root->parent_;
    return static_cast<const TWinControl*>(root)->focused_ == this && root != this;
}

void TControl::Press() {
    if (enabled_ && Showing())
        Click();
}

void TControl::Invalidate() {
    if (IsWindowed()) {
        HWND h = static_cast<TWinControl*>(this)->Handle();
        if (h)
            InvalidateRect(h, nullptr, FALSE);
        return;
    }
    if (parent_ && parent_->Handle() && visible_) {
        RECT r = BoundsRect();
        InvalidateRect(parent_->Handle(), &r, FALSE);
    }
}

void TControl::Repaint() {
    Invalidate();
    HWND h = IsWindowed() ? static_cast<TWinControl*>(this)->Handle()
                          : (parent_ ? parent_->Handle() : nullptr);
    if (h)
        UpdateWindow(h);
}

// ---- TWinControl

TWinControl::TWinControl(TComponent* owner, TWinControl* parent) : TControl(owner, parent) {}

TWinControl::~TWinControl() {
    // Children are owned by the form, not by their parent; detach them so that they do not
    // reach back into a destroyed container.
    for (TControl* c : children_)
        c->parent_ = nullptr;
    children_.clear();
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TWinControl::CreateHandle(LPCWSTR className, DWORD style, DWORD exStyle, HWND parentWindow,
                               int controlId) {
    const bool own = className == nullptr;
    if (own) {
        RegisterToolkitClass();
        className = kToolkitWindowClass;
    }
    hwnd_ = CreateWindowExW(exStyle, className, Caption().c_str(), style, Left(), Top(), Width(),
                            Height(), parentWindow,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_)
        return;
    if (own) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWndProc));
    }
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
}

int TWinControl::ClientWidth() const {
    if (!hwnd_)
        return Width();
    RECT r;
    GetClientRect(hwnd_, &r);
    return r.right;
}

int TWinControl::ClientHeight() const {
    if (!hwnd_)
        return Height();
    RECT r;
    GetClientRect(hwnd_, &r);
    return r.bottom;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    TControl::SetBounds(left, top, width, height);
    if (hwnd_)
        MoveWindow(hwnd_, Left(), Top(), Width(), Height(), TRUE);
    Realign();
}

void TWinControl::SetVisible(bool visible) {
    TControl::SetVisible(visible);
    if (hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD))
        ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool enabled) {
    TControl::SetEnabled(enabled);
    if (hwnd_)
        EnableWindow(hwnd_, enabled);
}

void TWinControl::SetCaption(const std::wstring& caption) {
    TControl::SetCaption(caption);
    if (hwnd_)
        SetWindowTextW(hwnd_, caption.c_str());
}

void TWinControl::SetFont(const TFont& font) {
    TControl::SetFont(font);
    if (hwnd_)
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
}

void TWinControl::ScaleToDpi() {
    TControl::ScaleToDpi();
    Realign();
}

void TWinControl::AddChild(TControl* child) {
    children_.push_back(child);
}

void TWinControl::RemoveChild(TControl* child) {
    children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
    if (hovered_ == child)
        hovered_ = nullptr;
    if (captured_ == child)
        captured_ = nullptr;
}

void TWinControl::Realign() {
    const int w = ClientWidth(), h = ClientHeight();
    for (TControl* c : children_) {
        if (c->Align() == TAlign::alTop)
            c->SetBounds(0, 0, w, c->Height());
        else if (c->Align() == TAlign::alBottom)
            c->SetBounds(0, h - c->Height(), w, c->Height());
    }
}

TControl* TWinControl::ControlAtPos(POINT p, bool allowDisabled) const {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        TControl* c = *it;
        if (c->IsWindowed() || !c->Visible() || (!allowDisabled && !c->Enabled()))
            continue;
        RECT r = c->BoundsRect();
        if (PtInRect(&r, p))
            return c;
    }
    return nullptr;
}

void TWinControl::PaintChildren(HDC dc, const RECT& area) {
    FillWithColor(dc, area, HighContrastOn() ? clWindow : Color);
    for (TControl* c : children_) {
        if (c->IsWindowed() || !c->Visible())
            continue;
        RECT bounds = c->BoundsRect(), overlap;
        if (!IntersectRect(&overlap, &bounds, &area))
            continue;
        const int saved = SaveDC(dc);
        POINT origin;
        OffsetViewportOrgEx(dc, c->Left(), c->Top(), &origin);
        IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        c->Paint(dc);
        RestoreDC(dc, saved);
        if (c->Focused() && RootContainer()->focusCues_) {
            // Inside the control's edge, so that the next control's paint never covers it.
            RECT cue = bounds;
            InflateRect(&cue, -Scaled(2), -Scaled(2));
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, RGB(255, 255, 255));
            DrawFocusRect(dc, &cue);
        }
    }
}

TWinControl* TWinControl::RootContainer() {
    TWinControl* root = this;
    while (root->Parent())
        root = root->Parent();
    return root;
}

void TWinControl::FocusControl(TControl* control, bool byKeyboard) {
    TWinControl* root = RootContainer();
    if (root != this) {
        root->FocusControl(control, byKeyboard);
        return;
    }
    const bool cuesChanged = byKeyboard && !focusCues_;
    if (byKeyboard)
        focusCues_ = true;
    if (control == focused_ && !cuesChanged)
        return;
    TControl* previous = focused_;
    focused_ = control;
    // The system's focus: the edit box's own window, or this window for a windowless control.
    HWND wanted =
        control && control->IsWindowed() ? static_cast<TWinControl*>(control)->Handle() : hwnd_;
    if (wanted && GetFocus() != wanted && IsWindowVisible(hwnd_))
        SetFocus(wanted);
    if (previous && previous != control)
        previous->Invalidate();
    if (control)
        control->Invalidate();
    if (previous != control)
        FocusChanged(control);
}

void TWinControl::ContainerMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TControl::MouseDown(button, shift, x, y);
}

void TWinControl::SetHovered(TControl* control) {
    if (control == hovered_)
        return;
    TControl* previous = hovered_;
    hovered_ = control;
    if (previous)
        previous->Perform(CM_MOUSELEAVE, 0, 0);
    if (control)
        control->Perform(CM_MOUSEENTER, 0, 0);
}

void TWinControl::HandleMousePress(UINT msg, WPARAM wParam, LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    TControl* target = ControlAtPos(p, false);
    if (!target) {
        const bool isDouble =
            msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
        ContainerMouseDown(ButtonOf(msg), ShiftFromKeys(wParam) | (isDouble ? ssDouble : 0), p.x,
                           p.y);
        return;
    }
    captured_ = target;
    SetCapture(hwnd_);
    if (target->TabStop && (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK))
        FocusControl(target, false);
    target->Perform(msg, wParam, PointToLParam(p.x - target->Left(), p.y - target->Top()));
}

void TWinControl::HandleMouseRelease(UINT msg, WPARAM wParam, LPARAM lParam) {
    TControl* target = captured_;
    if (!target) {
        // The pressed control went away (hidden by its own press, say): the window must not
        // keep the pointer, or no other window would see it move.
        if (GetCapture() == hwnd_)
            ReleaseCapture();
        return;
    }
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    captured_ = nullptr;
    if (GetCapture() == hwnd_)
        ReleaseCapture();
    target->Perform(msg, wParam, PointToLParam(p.x - target->Left(), p.y - target->Top()));
}

void TWinControl::HandleMouseMove(WPARAM wParam, LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!trackingLeave_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd_, 0};
        trackingLeave_ = TrackMouseEvent(&tme) != FALSE;
    }
    if (captured_) {
        captured_->Perform(WM_MOUSEMOVE, wParam,
                           PointToLParam(p.x - captured_->Left(), p.y - captured_->Top()));
        return;
    }
    SetHovered(ControlAtPos(p, true));
    if (hovered_)
        hovered_->Perform(WM_MOUSEMOVE, wParam,
                          PointToLParam(p.x - hovered_->Left(), p.y - hovered_->Top()));
}

LRESULT TWinControl::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        const RECT area = ps.rcPaint;
        const int w = area.right - area.left, h = area.bottom - area.top;
        if (w > 0 && h > 0) {
            // One off-screen surface per paint: no flicker, and stacking order is exact.
            const TMemoryDC memory(CreateCompatibleDC(dc));
            const TGdiObject surface(CreateCompatibleBitmap(dc, w, h));
            HGDIOBJ old = SelectObject(memory.Get(), surface.Get());
            SetViewportOrgEx(memory.Get(), -area.left, -area.top, nullptr);
            PaintChildren(memory.Get(), area);
            SetViewportOrgEx(memory.Get(), 0, 0, nullptr);
            BitBlt(dc, area.left, area.top, w, h, memory.Get(), 0, 0, SRCCOPY);
            SelectObject(memory.Get(), old);
        }
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        HandleMousePress(msg, wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        HandleMouseRelease(msg, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        HandleMouseMove(wParam, lParam);
        return 0;
    case WM_WINDOWPOSCHANGED:
        // A top-level window moved by the system (dragged, say) keeps its recorded position,
        // so that a later resize through SetBounds does not move it back.
        if (!(GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD)) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(pos->flags & SWP_NOMOVE))
                TControl::SetBounds(pos->x, pos->y, Width(), Height());
        }
        break;
    case WM_MOUSELEAVE:
        trackingLeave_ = false;
        if (!captured_)
            SetHovered(nullptr);
        return 0;
    case WM_CAPTURECHANGED:
        // Another window took the mouse mid-press: the pressed control will see no release,
        // so it is told, or it would stay pressed.
        if (reinterpret_cast<HWND>(lParam) != hwnd_ && captured_) {
            TControl* pressed = captured_;
            captured_ = nullptr;
            pressed->Perform(WM_CANCELMODE, 0, 0);
        }
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd_) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(hwnd_, &p);
            TControl* c = ControlAtPos(p, true);
            SetCursor(LoadCursorW(nullptr, c && c->Cursor ? c->Cursor : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        // The read-only path box keeps the window colour rather than the dialog grey.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    default:
        break;
    }
    return DefaultProc(msg, wParam, lParam);
}

LRESULT CALLBACK TWinControl::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TWinControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->WndProc(msg, wParam, lParam);
    } catch (...) {
        HandleToolkitException();
        return 0;
    }
}
