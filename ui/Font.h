#pragma once
// A control's font: face, character height in pixels, weight and colour. The GDI font is made
// on demand and cached until a property changes.

#include <windows.h>

#include <memory>
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

class TFont {
public:
    TFont() = default;
    TFont(std::wstring name, int height, COLORREF color = clWindowText, bool bold = false)
        : name_(std::move(name)), height_(height), color_(color), bold_(bold) {}
    TFont(const TFont& other)
        : name_(other.name_), height_(other.height_), color_(other.color_), bold_(other.bold_) {}
    TFont& operator=(const TFont& other) {
        name_ = other.name_;
        height_ = other.height_;
        color_ = other.color_;
        bold_ = other.bold_;
        handle_.reset();
        return *this;
    }

    const std::wstring& Name() const { return name_; }
    int Height() const { return height_; }
    COLORREF Color() const { return color_; }
    bool Bold() const { return bold_; }
    void SetColor(COLORREF color) { color_ = color; }

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
    mutable std::unique_ptr<TFontHandle> handle_;
};
