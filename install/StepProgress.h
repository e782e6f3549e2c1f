#pragma once
// Moves a progress bar in steps while the window keeps repainting, with the pacing's pauses
// (install/Pacing.h) that let a person follow it.

#include "install/Pacing.h"
#include "ui/StdCtrls.h"

// Sets `bar` to every position from `first` to `last` (both included), each followed by
// processing the pending window messages and a pause of `stepPauseMs`; then pauses
// `finalPauseMs` (none when 0).
void StepProgress(TProgressBar& bar, int first, int last, unsigned stepPauseMs,
                  unsigned finalPauseMs);
