// The scale Windows shows Morvi at. Per monitor where Windows has it (10,
// version 1607 on: the functions are taken at run time); the system's scale,
// the same on every monitor, on older Windows.
#pragma once

#include <windows.h>

// The system's DPI: the scale at sign-in, the one places on the screen are
// counted in.
int systemDpi();
// The DPI a window is shown at now.
int windowDpi(HWND window);
// The DPI of a monitor.
int monitorDpi(HMONITOR monitor);

// The common font dialog does not support Per-Monitor V2: on a monitor at
// another scale its controls would be laid out for the wrong one. It runs
// with the thread in the system-aware context, where it counts points at
// the system's DPI; the context to give back after, null where Windows has
// no such contexts (before 10, version 1607).
DPI_AWARENESS_CONTEXT enterSystemAwareDpi();
void leaveDpiContext(DPI_AWARENESS_CONTEXT previous);
