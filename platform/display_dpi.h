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
