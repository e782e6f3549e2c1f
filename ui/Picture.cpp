#include "ui/Picture.h"
#include "sys/Win32Handle.h"
#include "sys/PictureLimits.h"

#include "sys/Error.h"

#include <objidl.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// The few GDI+ flat-API entry points the decoder needs, bound at run time so that the import
// table names only DLLs that Windows itself protects.
struct TGdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
struct TGpRect {
    INT X, Y, Width, Height;
};
struct TGpBitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    INT PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
};
constexpr INT kPixelFormat32bppPARGB = 0x000E200B;
constexpr UINT kImageLockModeRead = 1;

using GdiplusStartupFn = int(WINAPI*)(ULONG_PTR*, const TGdiplusStartupInput*, void*);
using CreateBitmapFromStreamFn = int(WINAPI*)(IStream*, void**);
using GetImageSizeFn = int(WINAPI*)(void*, UINT*);
using BitmapLockBitsFn = int(WINAPI*)(void*, const TGpRect*, UINT, INT, TGpBitmapData*);
using BitmapUnlockBitsFn = int(WINAPI*)(void*, TGpBitmapData*);
using DisposeImageFn = int(WINAPI*)(void*);
using CreateBitmapFromScan0Fn = int(WINAPI*)(INT, INT, INT, INT, BYTE*, void**);
using GetImageGraphicsContextFn = int(WINAPI*)(void*, void**);
using SetInterpolationModeFn = int(WINAPI*)(void*, INT);
using SetPixelOffsetModeFn = int(WINAPI*)(void*, INT);
using SetCompositingModeFn = int(WINAPI*)(void*, INT);
using CreateImageAttributesFn = int(WINAPI*)(void**);
using SetImageAttributesWrapModeFn = int(WINAPI*)(void*, INT, DWORD, BOOL);
using DisposeImageAttributesFn = int(WINAPI*)(void*);
using DrawImageRectRectIFn = int(WINAPI*)(void*, void*, INT, INT, INT, INT, INT, INT, INT, INT, INT,
                                          void*, void*, void*);
using DeleteGraphicsFn = int(WINAPI*)(void*);
constexpr INT kInterpolationModeHighQualityBicubic = 7;
constexpr INT kPixelOffsetModeHalf = 4;
constexpr INT kCompositingModeSourceCopy = 1;
constexpr INT kWrapModeTileFlipXY = 3;
constexpr INT kUnitPixel = 2;

struct TGdiplus {
    bool ready = false;
    CreateBitmapFromStreamFn createFromStream = nullptr;
    GetImageSizeFn getWidth = nullptr;
    GetImageSizeFn getHeight = nullptr;
    BitmapLockBitsFn lockBits = nullptr;
    BitmapUnlockBitsFn unlockBits = nullptr;
    DisposeImageFn dispose = nullptr;
    // For scaling; optional: without them pictures are stretched by GDI.
    CreateBitmapFromScan0Fn fromScan0 = nullptr;
    GetImageGraphicsContextFn graphicsOf = nullptr;
    SetInterpolationModeFn setInterpolation = nullptr;
    SetPixelOffsetModeFn setPixelOffset = nullptr;
    SetCompositingModeFn setCompositing = nullptr;
    CreateImageAttributesFn createAttributes = nullptr;
    SetImageAttributesWrapModeFn setWrapMode = nullptr;
    DisposeImageAttributesFn disposeAttributes = nullptr;
    DrawImageRectRectIFn drawImage = nullptr;
    DeleteGraphicsFn deleteGraphics = nullptr;
    bool CanScale() const {
        return ready && fromScan0 && graphicsOf && setInterpolation && setPixelOffset &&
               setCompositing && createAttributes && setWrapMode && disposeAttributes &&
               drawImage && deleteGraphics;
    }
};

template <typename Fn> Fn Entry(HMODULE lib, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}

TGdiplus& Gdiplus() {
    static TGdiplus api = [] {
        TGdiplus g;
        // Kept loaded for the life of the process: decoded pictures may be made at any time.
        HMODULE lib = LoadLibraryExW(L"gdiplus.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!lib)
            return g;
        auto startup = reinterpret_cast<GdiplusStartupFn>(GetProcAddress(lib, "GdiplusStartup"));
        g.createFromStream = reinterpret_cast<CreateBitmapFromStreamFn>(
            GetProcAddress(lib, "GdipCreateBitmapFromStream"));
        g.getWidth = reinterpret_cast<GetImageSizeFn>(GetProcAddress(lib, "GdipGetImageWidth"));
        g.getHeight = reinterpret_cast<GetImageSizeFn>(GetProcAddress(lib, "GdipGetImageHeight"));
        g.lockBits = reinterpret_cast<BitmapLockBitsFn>(GetProcAddress(lib, "GdipBitmapLockBits"));
        g.unlockBits =
            reinterpret_cast<BitmapUnlockBitsFn>(GetProcAddress(lib, "GdipBitmapUnlockBits"));
        g.dispose = reinterpret_cast<DisposeImageFn>(GetProcAddress(lib, "GdipDisposeImage"));
        g.fromScan0 = Entry<CreateBitmapFromScan0Fn>(lib, "GdipCreateBitmapFromScan0");
        g.graphicsOf = Entry<GetImageGraphicsContextFn>(lib, "GdipGetImageGraphicsContext");
        g.setInterpolation = Entry<SetInterpolationModeFn>(lib, "GdipSetInterpolationMode");
        g.setPixelOffset = Entry<SetPixelOffsetModeFn>(lib, "GdipSetPixelOffsetMode");
        g.setCompositing = Entry<SetCompositingModeFn>(lib, "GdipSetCompositingMode");
        g.createAttributes = Entry<CreateImageAttributesFn>(lib, "GdipCreateImageAttributes");
        g.setWrapMode = Entry<SetImageAttributesWrapModeFn>(lib, "GdipSetImageAttributesWrapMode");
        g.disposeAttributes = Entry<DisposeImageAttributesFn>(lib, "GdipDisposeImageAttributes");
        g.drawImage = Entry<DrawImageRectRectIFn>(lib, "GdipDrawImageRectRectI");
        g.deleteGraphics = Entry<DeleteGraphicsFn>(lib, "GdipDeleteGraphics");
        if (!startup || !g.createFromStream || !g.getWidth || !g.getHeight || !g.lockBits ||
            !g.unlockBits || !g.dispose)
            return g;
        ULONG_PTR token = 0;
        TGdiplusStartupInput input;
        g.ready = startup(&token, &input, nullptr) == 0;
        return g;
    }();
    return api;
}

// SHCreateMemStream copies the bytes into a stream that GDI+ can read.
struct TStreamRelease {
    void operator()(IStream* s) const { s->Release(); }
};

} // namespace

bool StartPictureDecoder() {
    return Gdiplus().ready;
}

TPicture::TImageData::~TImageData() {
    if (bitmap)
        DeleteObject(bitmap);
}

std::shared_ptr<TPicture::TImageData> TPicture::MakeImage(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    auto image = std::make_shared<TImageData>();
    image->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &image->bits, nullptr, 0);
    if (!image->bitmap)
        throw EInstallerError(L"Out of memory for a picture");
    image->width = width;
    image->height = height;
    return image;
}

std::shared_ptr<TPicture::TImageData> TPicture::Decode(const void* data, std::size_t size) {
    TGdiplus& g = Gdiplus();
    if (!g.ready)
        throw EInstallerError(L"The picture decoder is not available");
    std::unique_ptr<IStream, TStreamRelease> stream(
        SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
    if (!stream)
        throw EInstallerError(L"Out of memory for a picture");

    void* bitmap = nullptr;
    if (g.createFromStream(stream.get(), &bitmap) != 0 || !bitmap)
        throw EInstallerError(L"Invalid picture data");
    struct TDispose {
        TGdiplus& g;
        void* b;
        ~TDispose() { g.dispose(b); }
    } disposeBitmap{g, bitmap};

    UINT width = 0, height = 0;
    g.getWidth(bitmap, &width);
    g.getHeight(bitmap, &height);
    if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        throw EInstallerError(L"Invalid picture data");

    auto image = MakeImage(static_cast<int>(width), static_cast<int>(height));
    TGpRect rect{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    TGpBitmapData locked{};
    if (g.lockBits(bitmap, &rect, kImageLockModeRead, kPixelFormat32bppPARGB, &locked) != 0)
        throw EInstallerError(L"Invalid picture data");
    for (UINT y = 0; y < height; ++y)
        std::memcpy(static_cast<BYTE*>(image->bits) + std::size_t(y) * width * 4,
                    static_cast<const BYTE*>(locked.Scan0) + std::ptrdiff_t(y) * locked.Stride,
                    std::size_t(width) * 4);
    g.unlockBits(bitmap, &locked);
    const BYTE* pixel = static_cast<const BYTE*>(image->bits);
    for (std::size_t i = 0; i < std::size_t(width) * height && !image->transparent; ++i)
        image->transparent = pixel[i * 4 + 3] != 255;
    return image;
}

void TPicture::LoadPngFromMemory(const void* data, std::size_t size) {
    image_ = Decode(data, size);
    double_.reset();
}

void TPicture::LoadDoubleResolutionPng(const void* data, std::size_t size) {
    if (!image_)
        throw EInstallerError(L"Invalid picture data");
    double_ = Decode(data, size);
}

std::shared_ptr<TPicture::TImageData> TPicture::Resample(const TImageData& source, int width,
                                                         int height) {
    TGdiplus& g = Gdiplus();
    if (!g.CanScale() || width <= 0 || height <= 0)
        return nullptr;
    std::shared_ptr<TImageData> target;
    try {
        target = MakeImage(width, height);
    } catch (const EInstallerError&) {
        return nullptr; // drawn stretched instead
    }
    void* from = nullptr;
    void* to = nullptr;
    void* graphics = nullptr;
    void* attributes = nullptr;
    bool drawn = false;
    if (g.fromScan0(source.width, source.height, source.width * 4, kPixelFormat32bppPARGB,
                    static_cast<BYTE*>(source.bits), &from) == 0 &&
        g.fromScan0(width, height, width * 4, kPixelFormat32bppPARGB,
                    static_cast<BYTE*>(target->bits), &to) == 0 &&
        g.graphicsOf(to, &graphics) == 0 && g.createAttributes(&attributes) == 0) {
        g.setCompositing(graphics, kCompositingModeSourceCopy);
        g.setInterpolation(graphics, kInterpolationModeHighQualityBicubic);
        g.setPixelOffset(graphics, kPixelOffsetModeHalf);
        // Mirrored edges: the border pixels are not blended with transparent ones outside.
        g.setWrapMode(attributes, kWrapModeTileFlipXY, 0, FALSE);
        drawn = g.drawImage(graphics, from, 0, 0, width, height, 0, 0, source.width, source.height,
                            kUnitPixel, attributes, nullptr, nullptr) == 0;
    }
    if (attributes)
        g.disposeAttributes(attributes);
    if (graphics)
        g.deleteGraphics(graphics);
    if (to)
        g.dispose(to);
    if (from)
        g.dispose(from);
    if (!drawn)
        return nullptr;
    target->transparent = source.transparent;
    return target;
}

const TPicture::TImageData& TPicture::SourceFor(int dpi) const {
    if (dpi == 96 || dpi <= 0)
        return *image_;
    const int width = MulDiv(image_->width, dpi, 96), height = MulDiv(image_->height, dpi, 96);
    // The nearest version at least as large as the size wanted.
    const TImageData& from = double_ && dpi > 96 ? *double_ : *image_;
    if ((from.width == width && from.height == height) || width > kMaxPictureSide ||
        height > kMaxPictureSide)
        return from;
    std::shared_ptr<TImageData>& cached = image_->scaled;
    if (!cached || cached->width != width || cached->height != height)
        cached = Resample(from, width, height);
    return cached ? *cached : *image_;
}

void TPicture::Assign(const TPicture& other) {
    image_ = other.image_;
    double_ = other.double_;
}

void TPicture::Draw(HDC dc, const RECT& dest, int dpi) const {
    if (!image_)
        return;
    const TImageData& from = SourceFor(dpi);
    const TMemoryDC source(CreateCompatibleDC(dc));
    HGDIOBJ old = SelectObject(source.Get(), from.bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    int oldMode = SetStretchBltMode(dc, HALFTONE);
    GdiAlphaBlend(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top,
                  source.Get(), 0, 0, from.width, from.height, blend);
    SetStretchBltMode(dc, oldMode);
    SelectObject(source.Get(), old);
}
