#include "tests/ui_test_support.h"

#include "tests/send_key.h"

#include <cstring>
#include <filesystem>

#include "engine/stopwatch.h"
#include "input/hotkey_poller.h"
#include "settings/settings.h"
#include "ui/app.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/options_dialog.h"
#include "ui/resource_ids.h"

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // leave it for whoever waits for it
                if (done()) return true;
                Sleep(5);
                break;
            }
            routeMessage(message);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    pumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

void keyDown(WORD code) { sendKeyEvent(code, false); }
void keyUp(WORD code) { sendKeyEvent(code, true); }

void pressKey(WORD scanCode, DWORD holdMs) {
    keyDown(scanCode);
    pumpFor(holdMs);
    keyUp(scanCode);
    pumpFor(holdMs);
}

HWND windowInFront() {
    const HWND w = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 200, 100, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(w);
    return w;
}

LapList lapsNow() {
    Stopwatch& sw = processStopwatch();
    std::lock_guard<std::mutex> guard(sw.lock);
    return sw.laps;
}

void sendCommand(HWND window, int id) { SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void clickInto(HWND control) {
    postClick(control);
    pumpFor(30);
}

namespace {

struct FontAnswer {
    HWND owner;
    const std::function<void(HWND)>* answer;
};

BOOL CALLBACK findOwned(HWND w, LPARAM found) {
    HWND* result = reinterpret_cast<HWND*>(found);
    if (GetWindow(w, GW_OWNER) != result[0] || !IsWindowVisible(w)) return TRUE;
    result[1] = w;
    return FALSE;
}

DWORD WINAPI waitAndAnswerFontDialog(LPVOID context) {
    const FontAnswer* answer = static_cast<const FontAnswer*>(context);
    for (int i = 0; i < 500; ++i) {
        HWND found[2] = {answer->owner, nullptr};
        EnumWindows(findOwned, reinterpret_cast<LPARAM>(found));
        if (found[1]) {
            (*answer->answer)(found[1]);
            return 1;
        }
        Sleep(10);
    }
    return 0;
}

}  // namespace

bool answerFontDialog(const std::function<void(HWND fontDialog)>& answer) {
    FontAnswer context{optionsDialog, &answer};
    const HANDLE helper = CreateThread(nullptr, 0, waitAndAnswerFontDialog, &context, 0, nullptr);
    SendMessageA(optionsDialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_FONT, BN_CLICKED), 0);
    DWORD answered = 0;
    WaitForSingleObject(helper, 10000);
    GetExitCodeThread(helper, &answered);
    CloseHandle(helper);
    return answered == 1;
}

MorviSession::MorviSession(const std::string& ini, bool writeIni) {
    // Every run of the program starts from a fresh process state.
    Stopwatch& sw = processStopwatch();
    applyCommand(sw, StopwatchCommand::Reset, 0);
    sw.state.quitRequested.store(0);
    sw.state.optionsOpen.store(0);
    processSettings() = Settings{};
    dragState.dragging.store(0);
    dragState.movedWhileHeld.store(0);
    dragState.clickInProgress.store(0);
    std::memset(previousKeys, 0, sizeof previousKeys);
    std::memset(currentKeys, 0, sizeof currentKeys);
    std::memset(&pressTracker, 0, sizeof pressTracker);
    previousForeground = nullptr;
    toldSettingsFileUnread = 0;

    if (writeIni || !ini.empty()) writeFileBytes(dir_.file("Morvi.ini"), ini);
    previousDir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    started_ = startMorvi(GetModuleHandleA(nullptr)) == 1;
    pumpFor(50);
}

HWND MorviSession::window() const { return getMainWindow() ? getMainWindow()->window : nullptr; }

void MorviSession::stop() {
    if (stopped_) return;
    stopped_ = true;
    if (started_) {
        SendMessageA(window(), WM_CLOSE, 0, 0);
        MSG message;
        // The quit message ends the loop, as in the program.
        while (GetMessageA(&message, nullptr, 0, 0) > 0) routeMessage(message);
    }
    finishMorvi();
    UnregisterClassA("Morvi", GetModuleHandleA(nullptr));
    std::filesystem::current_path(previousDir_);
}

MorviSession::~MorviSession() { stop(); }
