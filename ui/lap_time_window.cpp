#include "ui/lap_time_window.h"

#include <cstring>
#include <type_traits>

#include "engine/time_texts.h"
#include "ui/main_window_proc.h"
#include "ui/program_text.h"
#include "ui/resource_ids.h"

namespace {

// The text last put into the box; GUI thread only, like the box.
std::string reportShown;

// The report is ASCII: one character is one byte, and the box's positions
// are the report's.
void rememberBoxText(HWND dialog) {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, IDC_LAPTIME_TEXT, text, 64);
    reportShown = asciiText(text);
}

// Rebuilds the report and replaces only the tail that changed. The caret ends
// after the replaced text, so the view follows the newest line.
void updateReport(HWND dialog) {
    std::string report = buildLapReport(processStopwatch(), currentTextSettings());
    const ReportTailEdit edit = lapReportTailEdit(reportShown, report);
    if (edit.needed) {
        const HWND box = GetDlgItem(dialog, IDC_LAPTIME_TEXT);
        const std::wstring tail = widenProgramText(report.c_str() + edit.start);
        SendMessageW(box, EM_SETSEL, edit.start, -1);
        SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail.c_str()));
        SendMessageW(box, EM_SCROLLCARET, 0, 0);
    }
    reportShown.swap(report);
}

}  // namespace

ReportTailEdit lapReportTailEdit(const std::string& shown, const std::string& report) {
    const std::size_t common = shown.size() < report.size() ? shown.size() : report.size();
    // Whole blocks first: the two nearly always differ only near the end.
    constexpr std::size_t block = 4096;
    std::size_t i = 0;
    while (i + block <= common && std::memcmp(shown.data() + i, report.data() + i, block) == 0) i += block;
    while (i < common && shown[i] == report[i]) ++i;
    return ReportTailEdit{i < shown.size() || i < report.size(), i};
}

void refreshLapTimeWindow(void*) {
    const HWND window = lapTimeWindow.load();
    if (window) SendMessageW(window, WM_LAPREPORT_REFRESH, 0, 0);
}

static_assert(std::is_same_v<decltype(&lapTimeDialogProc), DLGPROC>, "the system's calling convention");

INT_PTR CALLBACK lapTimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // Replacing a tail obeys the box's limit (30 000 characters at first),
        // which a long run's report passes.
        SendDlgItemMessageW(dialog, IDC_LAPTIME_TEXT, EM_SETLIMITTEXT, 0, 0);
        rememberBoxText(dialog);
        return FALSE;
    case WM_ACTIVATE:
    case WM_LAPREPORT_REFRESH: updateReport(dialog); return TRUE;
    case WM_CLOSE: ShowWindow(dialog, SW_HIDE); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_LAPTIME_OK) ShowWindow(dialog, SW_HIDE);
        return TRUE;
    default: return FALSE;
    }
}
