#pragma once
// A move-only owner of one COM interface pointer: released on every path, never copied.

#include <windows.h>
#include <unknwn.h>

#include <utility>

template <typename Interface> class TComPtr {
public:
    TComPtr() noexcept = default;
    ~TComPtr() { Reset(); }

    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    TComPtr& operator=(TComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    Interface* Get() const noexcept { return p_; }
    Interface* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases what is held and returns the slot for a call that hands out a new reference.
    void** Put() noexcept {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }

    // Releases the held reference, if any.
    void Reset() noexcept {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }

    // Asks the object for another of its interfaces; an empty pointer when it has none.
    template <typename Other> TComPtr<Other> Query(REFIID iid) const noexcept {
        TComPtr<Other> other;
        if (p_ && FAILED(p_->QueryInterface(iid, other.Put())))
            other.Reset();
        return other;
    }

private:
    Interface* p_ = nullptr;
};
