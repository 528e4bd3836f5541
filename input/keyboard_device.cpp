#include "input/keyboard_device.h"

#include <cstdio>
#include <type_traits>

#include "platform/system_libraries.h"

std::atomic<KeyboardDevice*> keyboardDevice{nullptr};
HINSTANCE keyboardInstance = nullptr;
HWND keyboardWindow = nullptr;
int(WINAPI* keyboardMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

void formatDirectInputResult(HRESULT result, char* out, int capacity) {
    std::snprintf(out, static_cast<std::size_t>(capacity), "%x", static_cast<unsigned>(result));
}

namespace {

const wchar_t caption[] = L"DirectInput ERROR";

// 1 from a failed read until a read succeeds: a keyboard that keeps failing
// shows its boxes once, not every cycle. Both reading threads use it.
std::atomic<std::int32_t> readFailing{0};

void reportFailure(const wchar_t* message, HRESULT result, bool creationStep) {
    keyboardMessageBox(keyboardWindow, message, caption, MB_OK);
    char code[16];
    formatDirectInputResult(result, code, sizeof code);
    wchar_t shown[16] = {};
    for (int i = 0; code[i] != '\0'; ++i) shown[i] = static_cast<wchar_t>(code[i]);  // hex digits
    keyboardMessageBox(keyboardWindow, shown, caption, MB_OK);
    if (creationStep) DestroyWindow(keyboardWindow);
}

void check(HRESULT result, const wchar_t* message) {
    if (result != DI_OK) reportFailure(message, result, true);
}

// The records DirectInput 5 takes by size, the same on 32-bit and 64-bit
// Windows: no pointer in them (DirectX 8's uAppData would add one).
static_assert(sizeof(DIDEVICEOBJECTDATA) == 16, "the DirectInput 5 event record");
static_assert(sizeof(DIPROPDWORD) == 20 && sizeof(DIPROPHEADER) == 16, "the DirectInput property records");
static_assert(std::is_same_v<decltype(&MessageBoxW), decltype(keyboardMessageBox)>, "a stand-in for MessageBoxW");

// Without a buffer the device still gives snapshots, so a failure here shows nothing.
std::int32_t enableBuffer(IDirectInputDeviceA* keyboard) {
    DIPROPDWORD size{};
    size.diph.dwSize = sizeof size;
    size.diph.dwHeaderSize = sizeof size.diph;
    size.diph.dwHow = DIPH_DEVICE;
    size.dwData = keyboardBufferSize;
    return keyboard->SetProperty(DIPROP_BUFFERSIZE, &size.diph) == DI_OK ? 1 : 0;
}

// Likewise optional: without it the poller keeps its plain cycle. Must be set
// while the device is not acquired.
HANDLE notifyOnInput(IDirectInputDeviceA* keyboard) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event && keyboard->SetEventNotification(event) == DI_OK) return event;
    if (event) CloseHandle(event);
    return nullptr;
}

// The results that mean the keyboard is away for a while, not broken.
bool isPassingKeyboardState(HRESULT result) {
    return result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED || result == DIERR_OTHERAPPHASPRIO;
}

}  // namespace

KeyboardDevice* createKeyboardDevice(KeyboardDevice* device) {
    device->directInput = nullptr;
    device->keyboard = nullptr;
    device->buffered = 0;
    device->inputEvent = nullptr;
    device->readBefore = 0;
    device->previousRead = 0;

    // dinput.dll from the system folder only; a missing one fails this step.
    check(systemDirectInputCreate(keyboardInstance, 0x0500, &device->directInput), L"DirectInputCreate Failed");
    // Without the interface a failed step did not deliver, the later steps are skipped.
    if (!device->directInput) return device;
    check(device->directInput->CreateDevice(GUID_SysKeyboard, &device->keyboard, nullptr),
          L"CreateDevice(KEYBORAD) Failed");
    if (!device->keyboard) return device;
    check(device->keyboard->SetDataFormat(&c_dfDIKeyboard), L"SetDataFormat Failed");
    check(device->keyboard->SetCooperativeLevel(keyboardWindow, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
          L"SetCooperativeLevel Failed");
    device->buffered = enableBuffer(device->keyboard);
    device->inputEvent = notifyOnInput(device->keyboard);
    check(device->keyboard->Acquire(), L"Acquire Failed");
    return device;
}

int readKeyboardState(unsigned char* buffer) {
    KeyboardDevice* device = keyboardDevice.load();
    if (!device || !device->keyboard) return 0;
    const HRESULT result = device->keyboard->GetDeviceState(256, buffer);
    if (result == DI_OK) {
        readFailing.store(0);
        return 1;
    }
    if (isPassingKeyboardState(result)) {
        // Refused for as long as the other program holds the keyboard.
        device->keyboard->Acquire();
        return 0;
    }
    if (readFailing.exchange(1) == 0) reportFailure(L"GetDeviceState(KEYBOARD) Failed", result, false);
    return 0;
}

DrainResult readKeyboardEvents(KeyEvent* out, int capacity, const WakeTimes& wake) {
    DrainResult drained{0, 0, 0};
    KeyboardDevice* device = keyboardDevice.load();
    if (!device || !device->keyboard || device->buffered != 1) {
        drained.failed = 1;
        return drained;
    }
    DrainClock clock{0, 0, device->readBefore, device->previousRead, wake.blocked, wake.wake};
    const DWORD readStart = GetTickCount();
    // Drained to the end, so nothing pressed now is left for a later cycle;
    // events past `capacity` are dropped as an overflow would drop them. A few
    // rounds at most: keys cannot come faster than that.
    for (int round = 0; round < 4; ++round) {
        DIDEVICEOBJECTDATA data[keyboardBufferSize];
        DWORD got = static_cast<DWORD>(keyboardBufferSize);
        const HRESULT result = device->keyboard->GetDeviceData(sizeof data[0], data, &got, 0);
        clock.tickCount = GetTickCount();
        clock.now = systemTime();
        // An overflow still delivers what the buffer kept; the snapshots cover the rest.
        if (result == DI_BUFFEROVERFLOW) drained.overflow = 1;
        if (result != DI_OK && result != DI_BUFFEROVERFLOW) {
            drained.failed = 1;
            return drained;
        }
        for (DWORD i = 0; i < got && drained.count < capacity; ++i) {
            if (data[i].dwOfs > 255) continue;
            out[drained.count++] = KeyEvent{static_cast<std::uint8_t>(data[i].dwOfs),
                                            static_cast<std::uint8_t>((data[i].dwData & 0x80) != 0 ? 1 : 0),
                                            data[i].dwTimeStamp, eventTick(data[i].dwTimeStamp, clock)};
        }
        if (got < static_cast<DWORD>(keyboardBufferSize)) break;
    }
    device->readBefore = 1;
    device->previousRead = readStart;
    return drained;
}

void releaseKeyboardDevice(KeyboardDevice* device) {
    if (device->keyboard) {
        device->keyboard->Unacquire();
        device->keyboard->Release();
        device->keyboard = nullptr;
    }
    if (device->directInput) {
        device->directInput->Release();
        device->directInput = nullptr;
    }
    // The device that signalled it is gone.
    if (device->inputEvent) {
        CloseHandle(device->inputEvent);
        device->inputEvent = nullptr;
    }
}
