// One Morvi per Morvi.ini. Two copies started in one folder would both act
// on every hotkey and save over each other what the other confirmed. The
// first holds a claim named after the file's full path; a second start in
// that folder brings the first's window to the front and ends without
// touching the file. Copies in other folders, with other files, run side by
// side.
#pragma once

#include <windows.h>

// True when this process holds the claim on Morvi.ini in the current folder
// now (or no claim could be made, and it runs as before); false when
// another Morvi holds it, whose window has been brought to the front.
bool claimSettingsFile();

// The main window, for a second start to bring to the front. Nothing when
// this process holds no claim.
void publishMainWindow(HWND window);
