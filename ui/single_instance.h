// One Morvi per Morvi.ini. Two copies started on one folder would both act
// on every hotkey and save over each other what the other confirmed. The
// first holds a claim named after the folder as the file system knows it;
// a second start there, by whatever name, brings the first's window to the
// front and ends without touching the file. Copies in other folders, with
// other files, run side by side.
#pragma once

#include <windows.h>

// True when this process holds the claim on Morvi.ini in the current folder
// now (or no claim could be made); false when another Morvi holds it, whose
// window has been brought to the front. A Morvi still starting or just
// closing there is waited for, a few seconds at most.
bool claimSettingsFile();

// The main window, for a second start to bring to the front. Nothing when
// this process holds no claim.
void publishMainWindow(HWND window);

// The window is going: a start now waits for the claim rather than end.
void markSettingsFileClosing();

// The last save is done: a Morvi started now may run.
void releaseSettingsFileClaim();
