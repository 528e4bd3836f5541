#include "tests/send_key.h"

// Codes from 0x80 up are the extended (E0) scan codes.
void sendKeyEvent(WORD code, bool up) {
    const bool extended = code >= 0x80;
    const WORD scan = code & 0x7F;
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(MapVirtualKeyA(extended ? (0xE000u | scan) : scan, MAPVK_VSC_TO_VK_EX));
    input.ki.wScan = scan;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &input, sizeof input);
}

void tapKey(WORD code, int taps, DWORD holdMs, void (*pump)(DWORD ms)) {
    for (int i = 0; i < taps; ++i) {
        sendKeyEvent(code, false);
        pump(holdMs);
        sendKeyEvent(code, true);
        pump(60 + static_cast<DWORD>(i * 37) % 110);
    }
}

void postClick(HWND control) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}
