#pragma once
// Everything the packer checks before it writes a byte: the settings, the payload folder and
// its main program, the pictures, the stub and where the output goes. Portable.

#include "tools/packer/Diagnostics.h"
#include "tools/packer/PackRequest.h"
#include "tools/packer/PayloadEntry.h"
#include "tools/packer/PeImage.h"
#include "tools/packer/SettingsCheck.h"

#include <memory>
#include <string>
#include <vector>

struct TCheckedProduct {
    TCheckedSettings Settings;
    std::vector<TPayloadEntry> Payload;
    // Resource name in upper case ("BGPIC") and the PNG bytes.
    std::vector<std::pair<std::string, std::string>> Pictures;
    std::unique_ptr<TPeImage> Stub;
};

// The size the layout shows a picture at: 0 for a dimension it stretches to fit.
struct TLayoutSize {
    unsigned Width;
    unsigned Height;
};
TLayoutSize LayoutSizeOf(const std::string& pictureName);

// Checks the request. Adds every finding to `diagnostics`; returns true and fills `product`
// when there was no error. Throws EPackError (IoFailure) only when an existing file cannot
// be read.
bool CheckProduct(const TPackRequest& request, TDiagnostics& diagnostics, TCheckedProduct& product);
