#pragma once
// How the workflow paces itself: `pump` processes the window's messages (so that it repaints
// and keeps answering during long steps), `pause` waits so that a person can follow the
// progress bar. The window installs both; a silent run, which nobody watches, has no pauses;
// tests that run the workflow's steps without a window install neither.

#include <functional>

struct TPacing {
    std::function<void()> pump;             // empty: nothing to process
    std::function<void(unsigned ms)> pause; // empty: no pauses
};

void SetPacing(TPacing pacing);

// The pacing's pump, empty when there is none: for the waits and the long steps of sys/,
// which take a pump (sys/MessagePump.h) and do without one.
const std::function<void()>& MessagePump();
// Processes the window's messages, when there is a pump.
void PumpMessages();
// Waits `ms` milliseconds, when there are pauses; returns at once otherwise.
void ProgressPause(unsigned ms);
