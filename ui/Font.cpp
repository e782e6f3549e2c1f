#include "ui/Font.h"

#include "ui/FontFallback.h"

COLORREF ResolveColor(COLORREF color) {
    if (color & 0x80000000)
        return GetSysColor(static_cast<int>(color & 0xFF));
    return color;
}

HFONT TFont::Handle() const {
    if (!handle_) {
        // Negative height: the character height in pixels, as the layout gives it.
        const std::wstring face = InstalledFaceFor(name_);
        HFONT font = CreateFontW(-height_, 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
        handle_ = std::make_unique<TFontHandle>(font);
    }
    return handle_->font;
}
