#include "ui/app.h"

#include <new>

#include "engine/stopwatch.h"
#include "input/hotkey_poller.h"
#include "input/keyboard_device.h"
#include "platform/system_libraries.h"
#include "ui/lap_time_window.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/options_dialog.h"
#include "ui/program_resources.h"
#include "ui/single_instance.h"

namespace {

Tick platformTick(void*) { return systemTime(); }

// The device record; the entry point owns it. keyboardDevice publishes it.
KeyboardDevice* ownedKeyboard = nullptr;

// The poller may be sending a message to one of our windows (a move, the lap
// report) or showing a message box: keep handling messages while waiting.
void waitForHotkeyPoller() {
    HANDLE thread = hotkeyPollerThread;
    if (!thread) return;
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CloseHandle(thread);
    hotkeyPollerThread = nullptr;
    if (hotkeyPollerWake) CloseHandle(hotkeyPollerWake);
    hotkeyPollerWake = nullptr;
}

}  // namespace

int startMorvi(HINSTANCE instance) {
    Stopwatch& sw = processStopwatch();
    sw.clock = TickSource{platformTick, nullptr};
    sw.reportSink = LapReportSink{refreshLapTimeWindow, nullptr};

    // The clock comes from winmm.dll; without it nothing can be timed.
    if (!loadWinmm()) {
        MessageBoxW(nullptr, L"winmm.dll could not be loaded from the Windows system folder, so Morvi cannot start.",
                    L"Morvi", MB_OK | MB_ICONERROR);
        return 0;
    }
    // One scale for the whole run: the settings are loaded in it.
    takeScreenDpi();
    chooseProgramLanguage();
    MainWindow* mw = getMainWindow();
    if (!mw || !createMainWindow(instance, mw)) return 0;
    publishMainWindow(mw->window);
    createCommandButtons();
    RECT client{};
    GetClientRect(mw->window, &client);
    SendMessageW(mw->window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));

    keyboardInstance = instance;
    keyboardWindow = mw->window;
    ownedKeyboard = new (std::nothrow) KeyboardDevice{};
    if (ownedKeyboard) createKeyboardDevice(ownedKeyboard);
    keyboardDevice.store(ownedKeyboard);
    return 1;
}

void routeMessage(MSG& message) {
    if (optionsDialog && swallowedAfterCapture(message)) return;
    if (optionsDialog && IsDialogMessageW(optionsDialog, &message)) {
        // The dialog's own procedure sees the keys typed into its fields this way.
        if (optionsDialog) SendMessageW(optionsDialog, message.message, message.wParam, message.lParam);
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int runMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        routeMessage(message);
    }
    return static_cast<int>(message.wParam);
}

void finishMorvi() {
    waitForHotkeyPoller();
    if (ownedKeyboard) {
        // Unpublished first, so that no read can reach the released device.
        keyboardDevice.store(nullptr);
        releaseKeyboardDevice(ownedKeyboard);
        delete ownedKeyboard;
        ownedKeyboard = nullptr;
    }
    freeMainWindow();
    freeCommandButtons();
    clearLapList(processStopwatch());
}
