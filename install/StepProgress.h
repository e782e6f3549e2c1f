#pragma once
// Moves a progress bar in steps while the window keeps repainting, with pauses that let a
// person follow it; a silent run, which nobody watches, switches the pauses off.

#include "ui/StdCtrls.h"

// Sets `bar` to every position from `first` to `last` (both included), each followed by
// processing the pending window messages and a pause of `stepPauseMs`; then pauses
// `finalPauseMs` (none when 0). The pauses are ProgressPause's.
void StepProgress(TProgressBar& bar, int first, int last, unsigned stepPauseMs,
                  unsigned finalPauseMs);

// Whether ProgressPause and StepProgress pause: on until switched off.
void SetProgressPauses(bool on);

// Waits `ms` milliseconds when pauses are on, processing the window's messages meanwhile;
// returns at once otherwise.
void ProgressPause(unsigned ms);
