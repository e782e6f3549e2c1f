#pragma once
// A control's font: face, character height in pixels of the layout (at 96 DPI), weight and
// colour, drawn at the DPI of the window it is on. The GDI font is made on demand and cached
// until a property changes.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

// The system colours the layout uses, kept as markers and resolved when drawing.
constexpr COLORREF clWindowText = 0x80000008;
constexpr COLORREF clGrayText = 0x80000011;
constexpr COLORREF clWindow = 0x80000005;
constexpr COLORREF clBtnFace = 0x8000000F;
constexpr COLORREF clWhite = RGB(255, 255, 255);
constexpr COLORREF clBlack = RGB(0, 0, 0);

// Turns a colour that may name a system colour into an RGB value.
COLORREF ResolveColor(COLORREF color);

// Whether the user has a high-contrast theme on: then texts are drawn in the system's window
// text colour on its window colour instead of the layout's colours. Asked of the system once
// and kept until RefreshHighContrast (the window calls it when the system's settings change),
// unless OverrideHighContrast has given the answer.
bool HighContrastOn();
void RefreshHighContrast();

// Fills `area` of `dc` with `color` (which may name a system colour).
void FillWithColor(HDC dc, const RECT& area, COLORREF color);
// Fixes HighContrastOn's answer (nullopt: the system's again). For tests: Wine reports the
// setting as always off.
void OverrideHighContrast(std::optional<bool> on);

class TFont {
public:
    TFont() = default;
    TFont(std::wstring name, int height, COLORREF color = clWindowText, bool bold = false)
        : name_(std::move(name)), height_(height), color_(color), bold_(bold) {}
    TFont(const TFont& other)
        : name_(other.name_), height_(other.height_), color_(other.color_), bold_(other.bold_),
          dpi_(other.dpi_) {}
    TFont& operator=(const TFont& other) {
        name_ = other.name_;
        height_ = other.height_;
        color_ = other.color_;
        bold_ = other.bold_;
        dpi_ = other.dpi_;
        handle_.reset();
        return *this;
    }

    const std::wstring& Name() const { return name_; }
    int Height() const { return height_; }
    COLORREF Color() const { return color_; }
    bool Bold() const { return bold_; }
    void SetColor(COLORREF color) { color_ = color; }
    int Dpi() const { return dpi_; }
    void SetDpi(int dpi) {
        if (dpi != dpi_)
            handle_.reset();
        dpi_ = dpi;
    }
    // The character height in device pixels at the font's DPI.
    int PixelHeight() const { return MulDiv(height_, dpi_, 96); }

    // The GDI font; owned by this object.
    HFONT Handle() const;

private:
    struct TFontHandle {
        HFONT font;
        explicit TFontHandle(HFONT f) : font(f) {}
        TFontHandle(const TFontHandle&) = delete;
        TFontHandle& operator=(const TFontHandle&) = delete;
        ~TFontHandle() { DeleteObject(font); }
    };
    std::wstring name_ = L"Microsoft YaHei UI";
    int height_ = 12;
    COLORREF color_ = clWindowText;
    bool bold_ = false;
    int dpi_ = 96;
    mutable std::unique_ptr<TFontHandle> handle_;
};
