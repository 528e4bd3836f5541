#include "tests/blackbox/morvi_process.h"

#include <vector>

#include "tests/send_key.h"

std::string morviExePath;
const char* morviWindowClass = "Morvi";

std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

MorviProcess::~MorviProcess() {
    if (info_.hProcess) {
        if (running()) {
            close(5000);
            if (running()) TerminateProcess(info_.hProcess, 99);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool MorviProcess::start(const std::string& folder, DWORD timeoutMs) {
    const bool shown = startWithoutSettling(folder, timeoutMs);
    // The window shows before the keyboard is opened; the message loop runs after.
    WaitForInputIdle(info_.hProcess, timeoutMs);
    pumpDriver(300);
    return shown;
}

bool MorviProcess::startWithoutSettling(const std::string& folder, DWORD timeoutMs) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine(1, '"');
    commandLine.append(windowsPath(morviExePath)).push_back('"');
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info_))
        return false;
    const bool found = waitUntil(
        [&] {
            window_ = findWindow(morviWindowClass, 0);
            return (window_ && IsWindowVisible(window_)) || !running();  // one that ended shows none
        },
        timeoutMs);
    return found && running();
}

bool MorviProcess::running() const {
    DWORD code = 0;
    return info_.hProcess && GetExitCodeProcess(info_.hProcess, &code) && code == STILL_ACTIVE;
}

DWORD MorviProcess::close(DWORD timeoutMs) {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    waitUntil([&] { return !running(); }, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

namespace {

struct Search {
    DWORD pid;
    const char* className;
    int controlId;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND w, LPARAM context) {
    auto* s = reinterpret_cast<Search*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid) return TRUE;
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    if (lstrcmpA(name, s->className) != 0) return TRUE;
    if (s->controlId != 0 && !GetDlgItem(w, s->controlId)) return TRUE;
    s->found = w;
    return FALSE;
}

}  // namespace

HWND MorviProcess::findWindow(const char* className, int controlId) const {
    Search s{info_.dwProcessId, className, controlId, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND MorviProcess::lapTimeWindow() const { return findWindow("#32770", 40401); }
HWND MorviProcess::optionsDialog() const { return findWindow("#32770", 40212); }
HWND MorviProcess::messageBox() const { return findWindow("#32770", 0xFFFF); }

std::string MorviProcess::lapTimeText() const { return controlText(GetDlgItem(lapTimeWindow(), 40401)); }

std::string controlText(HWND box) {
    if (!box) return std::string();
    DWORD_PTR length = 0;
    SendMessageTimeoutA(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length);
    std::vector<char> text(length + 1);
    DWORD_PTR got = 0;
    SendMessageTimeoutA(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, 5000, &got);
    return std::string(text.data(), got);
}

void MorviProcess::command(int id) const {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0, SMTO_NORMAL, 10000, &ignored);
}

bool waitFor(bool (*done)(void*), void* context, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done(context)) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        pumpDriver(5);
    }
}

void pumpDriver(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

int lapsInReport(const std::string& report) {
    int lines = 0;
    for (std::size_t at = report.find("   ("); at != std::string::npos; at = report.find("   (", at + 1)) ++lines;
    return lines - 1;
}

void keyDown(WORD code) { sendKeyEvent(code, false); }
void keyUp(WORD code) { sendKeyEvent(code, true); }

void pressKey(WORD code, DWORD holdMs) {
    keyDown(code);
    pumpDriver(holdMs);
    keyUp(code);
    pumpDriver(holdMs);
}

HWND driverWindow() {
    static HWND window = [] {
        const HWND w = CreateWindowExA(0, "STATIC", "Morvi test driver", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 300,
                                       200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        return w;
    }();
    return window;
}
