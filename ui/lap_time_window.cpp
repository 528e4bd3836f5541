#include "lap_time_window.h"

#include <string>

#include "main_window_proc.h"
#include "resource_ids.h"
#include "time_texts.h"

void refreshLapTimeWindow(void*) {
    const HWND window = lapTimeWindow.load();
    // A hidden window's text is never seen, and showing the window activates
    // it, which rebuilds the report. Filling the text box costs time linear in
    // the report (tens of milliseconds per thousand laps), and the poller waits
    // for it, so it is spent only where it shows.
    if (!window || !IsWindowVisible(window)) return;
    const std::string report = buildLapReport(processStopwatch(), currentTextSettings());
    SetDlgItemTextA(window, IDC_LAPTIME_TEXT, report.c_str());
}

INT_PTR CALLBACK lapTimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_ACTIVATE: {
        const std::string report = buildLapReport(processStopwatch(), currentTextSettings());
        SetDlgItemTextA(dialog, IDC_LAPTIME_TEXT, report.c_str());
        return TRUE;
    }
    case WM_CLOSE: ShowWindow(dialog, SW_HIDE); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_LAPTIME_OK) ShowWindow(dialog, SW_HIDE);
        return TRUE;
    default: return FALSE;
    }
}
