#include "ui/Font.h"
#include "sys/Win32Handle.h"

#include "ui/FontFallback.h"

COLORREF ResolveColor(COLORREF color) {
    if (color & 0x80000000)
        return GetSysColor(static_cast<int>(color & 0xFF));
    return color;
}

namespace {
std::optional<bool> contrastOverride;
std::optional<bool> contrastOfSystem; // asked at the first paint after a settings change
} // namespace

void RefreshHighContrast() {
    contrastOfSystem.reset();
}

void OverrideHighContrast(std::optional<bool> on) {
    contrastOverride = on;
}

void FillWithColor(HDC dc, const RECT& area, COLORREF color) {
    const TGdiObject brush(CreateSolidBrush(ResolveColor(color)));
    FillRect(dc, &area, static_cast<HBRUSH>(brush.Get()));
}

bool HighContrastOn() {
    if (contrastOverride)
        return *contrastOverride;
    if (!contrastOfSystem) {
        HIGHCONTRASTW contrast{};
        contrast.cbSize = sizeof(contrast);
        contrastOfSystem =
            SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
            (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    }
    return *contrastOfSystem;
}

HFONT TFont::Handle() const {
    if (!handle_) {
        // Negative height: the character height in pixels. DEFAULT_QUALITY: smoothed as the
        // user's font smoothing setting says.
        const std::wstring face = InstalledFaceFor(name_);
        HFONT font = CreateFontW(-PixelHeight(), 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
        handle_ = std::make_unique<TFontHandle>(font);
    }
    return handle_->font;
}
