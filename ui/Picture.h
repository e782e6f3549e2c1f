#pragma once
// Picture holder: one decoded graphic (PNG here) or nothing, optionally with a version of twice
// its resolution for scaled screens. Decoding goes through GDI+ once; the pixels are kept as a
// premultiplied 32-bit DIB so that drawing with alpha is a plain GDI blend. On a screen of more
// than 96 DPI the graphic is first scaled to its size there with high-quality interpolation
// (from the double-resolution version when there is one), once per size.

#include <windows.h>

#include <cstddef>
#include <memory>

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture& other) { Assign(other); }
    TPicture& operator=(const TPicture& other) {
        if (this != &other)
            Assign(other);
        return *this;
    }

    // Decodes PNG (or any format GDI+ reads) bytes; throws EInstallerError when they cannot be
    // decoded. The holder keeps its own pixels; the bytes are not referenced afterwards.
    void LoadPngFromMemory(const void* data, std::size_t size);
    // Decodes the double-resolution version of the graphic already held (its "@2x" picture);
    // throws as LoadPngFromMemory does. Width and Height stay those of the graphic.
    void LoadDoubleResolutionPng(const void* data, std::size_t size);
    bool HasDoubleResolution() const { return double_ != nullptr; }
    // Copies the other holder's graphic (or its emptiness) into this one.
    void Assign(const TPicture& other);
    void Clear() {
        image_.reset();
        double_.reset();
    }

    int Width() const { return image_ ? image_->width : 0; }
    int Height() const { return image_ ? image_->height : 0; }
    // A holder whose width is 0 counts as empty.
    bool Empty() const { return Width() == 0; }
    // True when some pixel of the graphic is not fully opaque; false when empty.
    bool Transparent() const { return image_ && image_->transparent; }
    // True when both holders hold the same decoded graphic (one is a copy of the other), or
    // both are empty.
    bool SameGraphic(const TPicture& other) const { return image_ == other.image_; }

    // Draws the graphic scaled into `dest`, blended over what the DC already shows. At `dpi`
    // above 96 the graphic is first brought to its size at that DPI with high-quality
    // interpolation, then fitted into `dest` as at 96 DPI.
    void Draw(HDC dc, const RECT& dest, int dpi = 96) const;

private:
    struct TImageData {
        int width = 0;
        int height = 0;
        HBITMAP bitmap = nullptr; // top-down 32-bit DIB section, premultiplied alpha
        void* bits = nullptr;
        bool transparent = false;
        // The last size this graphic was scaled to for a scaled screen, kept for the next paint.
        mutable std::shared_ptr<TImageData> scaled;
        ~TImageData();
    };
    static std::shared_ptr<TImageData> MakeImage(int width, int height);
    static std::shared_ptr<TImageData> Decode(const void* data, std::size_t size);
    // `source` scaled to width × height with high-quality interpolation; null when GDI+ cannot.
    static std::shared_ptr<TImageData> Resample(const TImageData& source, int width, int height);
    // What Draw blends from at `dpi`: the graphic itself at 96 DPI, otherwise its scaled copy.
    const TImageData& SourceFor(int dpi) const;
    // Graphics are immutable once decoded, so copies share the pixels.
    std::shared_ptr<TImageData> image_;
    std::shared_ptr<TImageData> double_;
};

// Starts GDI+ (loaded from the system folder only) for the life of the process; safe to call
// more than once. Returns false when GDI+ is not available.
bool StartPictureDecoder();
