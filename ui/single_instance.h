// One Morvi per Morvi.ini. Two copies started on one folder would both act
// on every hotkey and save over each other what the other confirmed. The
// first holds a claim named after the folder as the file system knows it;
// a second start there, by whatever name, brings the first's window to the
// front and ends without touching the file. Copies in other folders, with
// other files, run side by side.
#pragma once

#include <windows.h>

// True when this process holds the claim on Morvi.ini in the current folder
// now (or no claim could be made), across every session of this machine.
// False when another Morvi holds it: its window has been brought to the
// front, or a message has told the person why it cannot be (it runs as
// administrator or as another user, in another session, or does not
// answer). A Morvi still starting there is waited for a few seconds, one
// closing until its last save is done.
bool claimSettingsFile();

// Marks the main window, for a second start to find and bring to the
// front. Nothing when this process holds no claim.
void publishMainWindow(HWND window);

// The window is going: a start now waits for the claim rather than end, or
// ask the window anything.
void markSettingsFileClosing();

// The last save is done: a Morvi started now may run.
void releaseSettingsFileClaim();
