#pragma once

#include <windows.h>

// Puts a pop-up window's centre on its top-level owner's (the frame a dialog box belongs to), or
// on the work area when it has none, and keeps it inside the work area of the owner's monitor:
// a pop-up without DS_CENTER otherwise opens at its owner's top-left corner.
void CenterOnOwner(HWND window);
