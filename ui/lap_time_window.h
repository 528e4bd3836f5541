// The lap-time window: the lap report in a read-only text box.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

INT_PTR CALLBACK lapTimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Asks the window to bring its report up to date, whether it is shown or not.
// Installed as the engine's lap-report sink, so it also runs on the poller
// thread: it reads only the atomic window handle and sends the window a
// message, so the rebuild itself always runs on the GUI thread.
void refreshLapTimeWindow(void* context);

// The message refreshLapTimeWindow sends.
inline constexpr UINT WM_LAPREPORT_REFRESH = WM_APP + 1;

// Where the text in the box and the new report first differ: the box's text is
// replaced from there to its end, so a Lap costs the same at any length.
// `needed` is false when the two are the same.
struct ReportTailEdit {
    bool needed;
    std::size_t start;
};
ReportTailEdit lapReportTailEdit(const std::string& shown, const std::string& report);
