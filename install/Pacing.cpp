#include "install/Pacing.h"

namespace {
TPacing pacing;
} // namespace

void SetPacing(TPacing p) {
    pacing = std::move(p);
}

const std::function<void()>& MessagePump() {
    return pacing.pump;
}

void PumpMessages() {
    if (pacing.pump)
        pacing.pump();
}

void ProgressPause(unsigned ms) {
    if (pacing.pause && ms > 0)
        pacing.pause(ms);
}
