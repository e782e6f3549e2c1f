#pragma once
// The pack command: checks the request, then writes the payload archive and the setup
// program (or the loose form) under temporary names, renaming them into place only when all
// of it succeeded. Portable.

#include "tools/packer/PackRequest.h"

// Packs as `request` says; prints findings, progress and a summary. Returns the exit code
// (ExitCodes.h).
int RunPack(const TPackRequest& request);
