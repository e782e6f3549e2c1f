#pragma once
// The main window's own pictures (ui/pictures/), embedded in the program as resources of type
// "PNG" by ui/pictures/layout.rc and put into the layout's controls. A product's branding
// pictures replace some of them later, at start-up.

#include "ui/MainLayout.h"

// Loads every layout picture found among the program's resources into its controls; a
// picture that is missing or cannot be decoded leaves its control without one.
void LoadLayoutPictures(TMainWindowControls& c);
