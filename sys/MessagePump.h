#pragma once
// Long work on a window's thread (copying the uninstaller, emptying folders, waiting for
// programs to end) must let the window go on answering, or the system marks it "Not
// Responding". sys/ knows nothing of the window toolkit: the caller hands in a pump, a
// function that processes the thread's waiting window messages, and the work calls it between
// its steps.

#include <windows.h>

#include <functional>
#include <utility>

// Processes the calling thread's waiting window messages; empty where nobody needs them (a
// silent run, a test).
using TPump = std::function<void()>;

// Calls a pump at the first opportunity and then whenever 15 ms of work have passed since
// the last call ended: often enough that the window answers at once, seldom enough that
// looking at an empty queue costs nothing next to the work.
class TThrottledPump {
public:
    explicit TThrottledPump(TPump pump) : pump_(std::move(pump)) {}

    void operator()() {
        if (!pump_)
            return;
        if (pumped_ && GetTickCount64() - last_ < kIntervalMs)
            return;
        pump_();
        pumped_ = true;
        last_ = GetTickCount64();
    }

private:
    static constexpr ULONGLONG kIntervalMs = 15;
    TPump pump_;
    bool pumped_ = false;
    ULONGLONG last_ = 0;
};

// Waits until `object` is signalled or `timeoutMs` have passed (with no object, the whole
// time), calling `pump` each time messages arrive for the thread meanwhile; without a pump, a
// plain wait. True when the object was signalled.
inline bool WaitPumping(HANDLE object, DWORD timeoutMs, const TPump& pump) {
    if (!pump) {
        if (!object) {
            Sleep(timeoutMs);
            return false;
        }
        return WaitForSingleObject(object, timeoutMs) == WAIT_OBJECT_0;
    }
    const DWORD count = object ? 1 : 0;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result =
            MsgWaitForMultipleObjects(count, object ? &object : nullptr, FALSE, left, QS_ALLINPUT);
        if (object && result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_OBJECT_0 + count)
            return false; // timed out or failed
        pump();
    }
}
