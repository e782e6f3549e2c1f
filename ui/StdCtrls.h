#pragma once
// The toolkit's plain controls: labels and pictures (windowless), and the header panel, the
// page container with its pages, the edit box and the progress bar (windowed).

#include "ui/Controls.h"
#include "ui/Picture.h"

#include <cstddef>

enum class TAlignment { taLeftJustify, taCenter };

// A text that sizes itself to its caption and font when AutoSize is on.
class TLabel : public TControl {
public:
    TLabel(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TLabel"; }

    bool Transparent = true;
    COLORREF Color = clWindow;
    TAlignment Alignment = TAlignment::taLeftJustify;
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }
    // The widest the label may grow, in pixels (0: no limit). A longer text ends with "...".
    void SetMaxWidth(int pixels);

    void SetCaption(const std::wstring& caption) override;
    void SetFont(const TFont& font) override;
    void ScaleToDpi() override;
    void Paint(HDC dc) override;

private:
    void AdjustSize();
    int maxWidth_ = 0;
};

// Shows a picture at its own size from the top left, or stretched over the control. A new
// image is 105 by 105 pixels.
class TImage : public TControl {
public:
    TImage(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TImage"; }

    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    // Replaces the picture; with AutoSize on the control takes the picture's size.
    void SetPicture(const TPicture& picture);
    // Decodes PNG bytes into the picture (see TPicture::LoadPngFromMemory).
    void LoadPngFromMemory(const void* data, std::size_t size);

    bool Stretch = false;
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }
    void Paint(HDC dc) override;

protected:
    bool CanAutoSize(int& width, int& height) override;
    virtual void PictureChanged();

private:
    TPicture picture_;
};

// A windowed container with a plain background.
class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TPanel"; }
};

class TPageControl;

// One page of a page container; covers the container's whole area (no tabs are drawn).
class TTabSheet : public TWinControl {
public:
    TTabSheet(TComponent* owner, TPageControl* pageControl);
    std::wstring ClassName() const override { return L"TTabSheet"; }
    // What Enter presses while this page is shown and nothing else has the focus.
    TControl* DefaultControl = nullptr;
    TPageControl* PageControl() const { return pageControl_; }

private:
    TPageControl* pageControl_;
};

// Holds pages and shows exactly one of them, the active page.
class TPageControl : public TWinControl {
public:
    TPageControl(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TPageControl"; }

    const std::vector<TTabSheet*>& Pages() const { return pages_; }
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* page);
    void SetBounds(int left, int top, int width, int height) override;

private:
    friend class TTabSheet;
    std::vector<TTabSheet*> pages_;
    TTabSheet* active_ = nullptr;
};

// A single-line edit box (the system's own control).
class TEdit : public TWinControl {
public:
    TEdit(TComponent* owner, TWinControl* parent, bool readOnly);
    std::wstring ClassName() const override { return L"TEdit"; }
    std::wstring Text() const;
    void SetText(const std::wstring& text);
};

// A horizontal progress bar (the system's own control), range 0 to 100 unless changed.
class TProgressBar : public TWinControl {
public:
    TProgressBar(TComponent* owner, TWinControl* parent);
    std::wstring ClassName() const override { return L"TProgressBar"; }
    int Position() const { return position_; }
    void SetPosition(int position);
    void SetRange(int minimum, int maximum);

private:
    int position_ = 0;
};

// A window timer: raises OnTimer every Interval milliseconds while enabled.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    std::wstring ClassName() const override { return L"TTimer"; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned interval);
    TNotifyEvent OnTimer;
    // The window that receives the timer's WM_TIMER ticks.
    HWND Handle() const { return window_; }

private:
    static LRESULT CALLBACK TimerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Update();
    HWND window_ = nullptr;
    bool enabled_ = false;
    unsigned interval_ = 1000;
};
