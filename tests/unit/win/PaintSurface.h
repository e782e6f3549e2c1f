#pragma once
// A 32-bit surface in memory that the toolkit's containers paint into, read back pixel by pixel:
// what a window would show, without a screen.

#include "ui/Controls.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

class TPaintSurface {
public:
    TPaintSurface(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~TPaintSurface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    TPaintSurface(const TPaintSurface&) = delete;
    TPaintSurface& operator=(const TPaintSurface&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // `container`'s background and windowless children, with its top left at x, y.
    void PaintContainer(TWinControl& container, int x, int y) {
        const int saved = SaveDC(dc_);
        SetViewportOrgEx(dc_, x, y, nullptr);
        IntersectClipRect(dc_, 0, 0, container.ClientWidth(), container.ClientHeight());
        container.PaintChildren(dc_, RECT{0, 0, container.ClientWidth(), container.ClientHeight()});
        RestoreDC(dc_, saved);
        GdiFlush();
    }

    COLORREF At(int x, int y) const {
        const std::uint32_t px = static_cast<const std::uint32_t*>(bits_)[y * width_ + x];
        return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    void* bits_ = nullptr;
    HGDIOBJ old_;
};

// Within 8 in every channel: the same colour, give or take blending and rounding.
inline bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 8 &&
           std::abs(GetGValue(a) - GetGValue(b)) <= 8 && std::abs(GetBValue(a) - GetBValue(b)) <= 8;
}
