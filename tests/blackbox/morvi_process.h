// Morvi.exe as a user meets it: started in a folder, found by its window,
// driven and watched from outside its process.
#pragma once

#include <windows.h>

#include <string>

#include "tests/test_support.h"

// The program under test, set from the command line, and its window class.
extern std::string morviExePath;
extern const char* morviWindowClass;

// A Unix path as Wine sees it (Z: is the root), a Windows path unchanged.
std::string windowsPath(const std::string& path);

class MorviProcess {
public:
    MorviProcess() = default;
    ~MorviProcess();
    MorviProcess(const MorviProcess&) = delete;
    MorviProcess& operator=(const MorviProcess&) = delete;

    // Starts Morvi.exe in `folder` and waits for its main window.
    bool start(const std::string& folder, DWORD timeoutMs = 20000);
    // The same, returning as soon as the main window shows.
    bool startWithoutSettling(const std::string& folder, DWORD timeoutMs = 20000);
    // WM_CLOSE, then waits for the process; its exit code, or STILL_ACTIVE.
    DWORD close(DWORD timeoutMs = 10000);
    bool running() const;

    HWND window() const { return window_; }
    HWND lapTimeWindow() const;
    HWND optionsDialog() const;
    HWND messageBox() const;  // one of MessageBox's, by its text control
    std::string lapTimeText() const;
    DWORD pid() const { return info_.dwProcessId; }
    HANDLE process() const { return info_.hProcess; }

    void command(int id) const;  // as a menu item or button sends it

private:
    HWND findWindow(const char* className, int controlId) const;
    PROCESS_INFORMATION info_{};
    HWND window_ = nullptr;
};

// A control's text, asked for with WM_GETTEXT: GetWindowText does not ask
// windows of other processes.
std::string controlText(HWND control);

// Waits, checking `done` every few milliseconds and handling the driver's own messages.
bool waitFor(bool (*done)(void*), void* context, DWORD timeoutMs);

template <typename F>
bool waitUntil(F done, DWORD timeoutMs = 5000) {
    return waitFor([](void* c) { return (*static_cast<F*>(c))(); }, &done, timeoutMs);
}

void pumpDriver(DWORD ms);

// The laps in a report of one run that ends in a Stop: its timed lines but the stop's.
int lapsInReport(const std::string& report);

// Hotkeys by DirectInput code through SendInput.
void keyDown(WORD code);
void keyUp(WORD code);
void pressKey(WORD code, DWORD holdMs = 200);

// A window of the driver's own, to hold the foreground while hotkeys are typed.
HWND driverWindow();
