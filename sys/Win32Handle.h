#pragma once
// Move-only owners of Win32 handles: one template over the closing function serves handles,
// find listings, registry keys, libraries and GDI objects alike.

#include <windows.h>

#include <utility>

template <typename Handle, auto Close, auto Invalid> class TUniqueHandle {
public:
    TUniqueHandle() noexcept = default;
    explicit TUniqueHandle(Handle h) noexcept : h_(h) {}
    ~TUniqueHandle() { Reset(); }

    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : h_(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return h_; }
    bool Valid() const noexcept { return h_ != Handle(Invalid) && h_ != Handle(0); }
    explicit operator bool() const noexcept { return Valid(); }

    // Gives up ownership without closing.
    Handle Release() noexcept { return std::exchange(h_, Handle(Invalid)); }
    void Reset(Handle h = Handle(Invalid)) noexcept {
        if (Valid())
            Close(h_);
        h_ = h;
    }

private:
    Handle h_ = Handle(Invalid);
};

namespace win32handle_detail {
inline void CloseKernelHandle(HANDLE h) {
    ::CloseHandle(h);
}
inline void CloseFind(HANDLE h) {
    ::FindClose(h);
}
inline void CloseKey(HKEY h) {
    ::RegCloseKey(h);
}
inline void FreeLib(HMODULE h) {
    ::FreeLibrary(h);
}
inline void DeleteGdiObject(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void DeleteMemoryDC(HDC h) {
    ::DeleteDC(h);
}
} // namespace win32handle_detail

// INVALID_HANDLE_VALUE is -1; a null handle counts as invalid too.
using THandle = TUniqueHandle<HANDLE, win32handle_detail::CloseKernelHandle, -1>;
using TFindHandle = TUniqueHandle<HANDLE, win32handle_detail::CloseFind, -1>;
using TRegKey = TUniqueHandle<HKEY, win32handle_detail::CloseKey, 0>;
using TLibrary = TUniqueHandle<HMODULE, win32handle_detail::FreeLib, 0>;
using TGdiObject = TUniqueHandle<HGDIOBJ, win32handle_detail::DeleteGdiObject, 0>;
using TMemoryDC = TUniqueHandle<HDC, win32handle_detail::DeleteMemoryDC, 0>;
