#include "ui_test_support.h"

#include "send_key.h"

#include <cstring>
#include <filesystem>

#include "app.h"
#include "hotkey_poller.h"
#include "main_window.h"
#include "main_window_proc.h"
#include "options_dialog.h"
#include "resource_ids.h"
#include "settings.h"
#include "stopwatch.h"

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

struct ModalAnswer {
    bool (*isIt)(HWND);
    const std::function<void(HWND)>* answer;
    HWND found;
};

BOOL CALLBACK findModal(HWND w, LPARAM context) {
    auto* m = reinterpret_cast<ModalAnswer*>(context);
    if (!IsWindowVisible(w) || !m->isIt(w)) return TRUE;
    m->found = w;
    return FALSE;
}

DWORD WINAPI waitAndAnswer(LPVOID context) {
    auto* m = static_cast<ModalAnswer*>(context);
    for (int i = 0; i < 500; ++i) {
        EnumWindows(findModal, reinterpret_cast<LPARAM>(m));
        if (m->found) {
            (*m->answer)(m->found);
            return 1;
        }
        Sleep(10);
    }
    return 0;
}

}  // namespace

bool answerModal(const std::function<void()>& open, bool (*isIt)(HWND), const std::function<void(HWND)>& answer) {
    ModalAnswer context{isIt, &answer, nullptr};
    const HANDLE helper = CreateThread(nullptr, 0, waitAndAnswer, &context, 0, nullptr);
    open();
    DWORD answered = 0;
    WaitForSingleObject(helper, 10000);
    GetExitCodeThread(helper, &answered);
    CloseHandle(helper);
    return answered == 1;
}

bool answerFontDialog(const std::function<void(HWND fontDialog)>& answer) {
    return answerModal([] { SendMessageA(optionsDialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_FONT, BN_CLICKED), 0); },
                       [](HWND w) { return GetWindow(w, GW_OWNER) == optionsDialog; }, answer);
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
