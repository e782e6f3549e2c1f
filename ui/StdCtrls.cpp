#include "ui/StdCtrls.h"

#include <commctrl.h>

// ---- TLabel

TLabel::TLabel(TComponent* owner, TWinControl* parent) : TControl(owner, parent) {
    autoSize_ = true;
}

void TLabel::SetAutoSize(bool on) {
    autoSize_ = on;
    AdjustSize();
}

void TLabel::SetCaption(const std::wstring& caption) {
    TControl::SetCaption(caption);
    AdjustSize();
}

void TLabel::SetFont(const TFont& font) {
    TControl::SetFont(font);
    AdjustSize();
}

void TLabel::SetMaxWidth(int pixels) {
    maxWidth_ = pixels;
    AdjustSize();
}

void TLabel::ScaleToDpi() {
    TControl::ScaleToDpi();
    AdjustSize();
}

void TLabel::AdjustSize() {
    if (!autoSize_)
        return;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    // An empty caption still measures one blank, so that the label keeps its line height.
    std::wstring text = Caption().empty() ? std::wstring(L" ") : Caption();
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (maxWidth_ > 0 && r.right > maxWidth_)
        r.right = maxWidth_;
    SetBounds(Left(), Top(), r.right, r.bottom);
}

void TLabel::Paint(HDC dc) {
    RECT r{0, 0, Width(), Height()};
    // High contrast: the system's text colour on its window colour, whatever the layout says.
    const bool contrast = HighContrastOn();
    if (!Transparent || contrast)
        FillWithColor(dc, r, contrast ? clWindow : Color);
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    const COLORREF text = contrast ? (Enabled() ? clWindowText : clGrayText)
                                   : (Enabled() ? Font().Color() : clGrayText);
    SetTextColor(dc, ResolveColor(text));
    // "&" is drawn as it is; a text too long for the label ends with "...".
    const UINT flags = DT_EXPANDTABS | DT_NOPREFIX | DT_END_ELLIPSIS |
                       (Alignment == TAlignment::taCenter ? DT_CENTER : DT_LEFT);
    DrawTextW(dc, Caption().c_str(), static_cast<int>(Caption().size()), &r, flags);
    SelectObject(dc, old);
}

// ---- TImage

TImage::TImage(TComponent* owner, TWinControl* parent) : TControl(owner, parent) {
    SetBounds(Left(), Top(), Scaled(105), Scaled(105));
}

void TImage::SetPicture(const TPicture& picture) {
    picture_ = picture;
    PictureChanged();
}

void TImage::LoadPngFromMemory(const void* data, std::size_t size) {
    picture_.LoadPngFromMemory(data, size);
    PictureChanged();
}

void TImage::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on)
        PictureChanged();
}

bool TImage::CanAutoSize(int& width, int& height) {
    if (picture_.Width() > 0 && picture_.Height() > 0) {
        width = Scaled(picture_.Width());
        height = Scaled(picture_.Height());
    }
    return true;
}

void TImage::PictureChanged() {
    if (autoSize_ && picture_.Width() > 0 && picture_.Height() > 0)
        SetBounds(Left(), Top(), Scaled(picture_.Width()), Scaled(picture_.Height()));
    Invalidate();
}

void TImage::Paint(HDC dc) {
    RECT dest = Stretch ? RECT{0, 0, Width(), Height()}
                        : RECT{0, 0, Scaled(picture_.Width()), Scaled(picture_.Height())};
    picture_.Draw(dc, dest, Dpi());
}

// ---- TPanel

TPanel::TPanel(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    CreateHandle(nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                 parent->Handle());
}

// ---- TTabSheet and TPageControl

TTabSheet::TTabSheet(TComponent* owner, TPageControl* pageControl)
    : TWinControl(owner, pageControl), pageControl_(pageControl) {
    SetBounds(0, 0, pageControl->ClientWidth(), pageControl->ClientHeight());
    // Pages carry identifiers 1000 + index, so that tools can tell which one is shown.
    CreateHandle(nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, pageControl->Handle(),
                 1000 + static_cast<int>(pageControl->pages_.size()));
    TControl::SetVisible(false);
    pageControl->pages_.push_back(this);
}

TPageControl::TPageControl(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    CreateHandle(nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                 parent->Handle());
}

void TPageControl::SetActivePage(TTabSheet* page) {
    active_ = page;
    // Show the new page before hiding the others so that the area never flashes empty.
    if (page)
        page->SetVisible(true);
    for (TTabSheet* p : pages_)
        if (p != page)
            p->SetVisible(false);
    // Screen readers read the window's elements afresh: the page's are others now.
    if (HWND window = RootContainer()->Handle())
        NotifyWinEvent(EVENT_OBJECT_REORDER, window, OBJID_CLIENT, CHILDID_SELF);
}

void TPageControl::SetBounds(int left, int top, int width, int height) {
    TWinControl::SetBounds(left, top, width, height);
    for (TTabSheet* p : pages_)
        p->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

// ---- TEdit

TEdit::TEdit(TComponent* owner, TWinControl* parent, bool readOnly) : TWinControl(owner, parent) {
    CreateHandle(L"EDIT",
                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | ES_AUTOHSCROLL |
                     (readOnly ? ES_READONLY : 0),
                 WS_EX_CLIENTEDGE, parent->Handle());
}

std::wstring TEdit::Text() const {
    const int length = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(Handle(), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void TEdit::SetText(const std::wstring& text) {
    SetCaption(text);
}

// ---- TProgressBar

TProgressBar::TProgressBar(TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    CreateHandle(PROGRESS_CLASSW, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, parent->Handle());
    SetRange(0, 100);
}

void TProgressBar::SetRange(int minimum, int maximum) {
    SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(minimum),
                 static_cast<LPARAM>(maximum));
}

void TProgressBar::SetPosition(int position) {
    position_ = position;
    SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// ---- TTimer

namespace {
constexpr wchar_t kTimerWindowClass[] = L"TToolkitTimer";
constexpr UINT_PTR kTimerId = 1;
} // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &TimerWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTimerWindowClass;
        RegisterClassExW(&wc);
        registered = true;
    }
    // A message-only window of its own: the timer fires whether or not any form is shown.
    window_ = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTimer::~TTimer() {
    if (window_) {
        KillTimer(window_, kTimerId);
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Update();
}

void TTimer::SetInterval(unsigned interval) {
    interval_ = interval;
    Update();
}

void TTimer::Update() {
    KillTimer(window_, kTimerId);
    if (enabled_ && interval_ > 0)
        SetTimer(window_, kTimerId, interval_, nullptr);
}

LRESULT CALLBACK TTimer::TimerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        auto* self = reinterpret_cast<TTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && self->enabled_ && self->OnTimer) {
            try {
                self->OnTimer(self);
            } catch (...) {
                HandleToolkitException();
            }
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
