#include "ui/Picture.h"
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

struct TGdiplus {
    bool ready = false;
    CreateBitmapFromStreamFn createFromStream = nullptr;
    GetImageSizeFn getWidth = nullptr;
    GetImageSizeFn getHeight = nullptr;
    BitmapLockBitsFn lockBits = nullptr;
    BitmapUnlockBitsFn unlockBits = nullptr;
    DisposeImageFn dispose = nullptr;
};

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

void TPicture::LoadPngFromMemory(const void* data, std::size_t size) {
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
    image_ = std::move(image);
}

void TPicture::Assign(const TPicture& other) {
    image_ = other.image_;
}

void TPicture::Draw(HDC dc, const RECT& dest) const {
    if (!image_)
        return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, image_->bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    int oldMode = SetStretchBltMode(dc, HALFTONE);
    GdiAlphaBlend(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source,
                  0, 0, image_->width, image_->height, blend);
    SetStretchBltMode(dc, oldMode);
    SelectObject(source, old);
    DeleteDC(source);
}
