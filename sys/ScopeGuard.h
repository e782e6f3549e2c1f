#pragma once
// Runs a function when the scope ends, however it ends: the cleanup that must happen on the
// way out of a handler (an enabled close button, a removed temporary file).

#include <utility>

template <typename F> class TScopeGuard {
public:
    explicit TScopeGuard(F f) : f_(std::move(f)) {}
    ~TScopeGuard() {
        if (active_)
            f_();
    }
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;
    // The function will not run.

private:
    F f_;
    bool active_ = true;
};
