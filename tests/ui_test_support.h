// Running the real program's windows inside a test, and typing at them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tests/test_support.h"

// Handles messages (through the program's own routing) until `done` holds or
// `timeoutMs` passes; true when it held.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Handles messages for a while.
void pumpFor(DWORD ms);

// A key press through SendInput, by DirectInput scan code.
void keyDown(WORD scanCode);
void keyUp(WORD scanCode);
// Down, held long enough for the poller and the dialog to see it, then up.
void pressKey(WORD scanCode, DWORD holdMs = 300);

// The program started in a scratch folder, with an optional Morvi.ini, and shut
// down again (settings saved) when the object ends or stop() is called.
class MorviSession {
public:
    explicit MorviSession(const std::string& ini = std::string(), bool writeIni = false);
    ~MorviSession();
    MorviSession(const MorviSession&) = delete;
    MorviSession& operator=(const MorviSession&) = delete;

    bool started() const { return started_; }
    HWND window() const;
    // Closes the main window like the close box and waits for the end.
    void stop();
    std::string savedIni() const { return readFileBytes(dir_.file("Morvi.ini")); }
    const ScratchDir& dir() const { return dir_; }

private:
    ScratchDir dir_;
    std::string previousDir_;
    bool started_ = false;
    bool stopped_ = false;
};

// A plain window of the test's own, shown and brought to the front, as another
// program would hold the focus while hotkeys are typed. The caller destroys it.
HWND windowInFront();

// A copy of the process's lap list, taken under the engine lock.
LapList lapsNow();

// Sends a WM_COMMAND with an id, as a menu item or button does.
void sendCommand(HWND window, int id);

// A left click into a control, through the message loop.
void clickInto(HWND control);

// Clicks the open options dialog's font button and, from another thread once
// the font dialog shows, lets `answer` work it; `answer` ends it with OK or
// Cancel. False when no font dialog came.
bool answerFontDialog(const std::function<void(HWND fontDialog)>& answer);
