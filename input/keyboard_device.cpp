#include "keyboard_device.h"

#include <cstdio>
#include <cstring>

std::atomic<KeyboardDevice*> keyboardDevice{nullptr};
HINSTANCE keyboardInstance = nullptr;
HWND keyboardWindow = nullptr;

void formatDirectInputResult(HRESULT result, char* out, int capacity) {
    std::snprintf(out, static_cast<std::size_t>(capacity), "%x", static_cast<unsigned>(result));
}

namespace {

const char caption[] = "DirectInput ERROR";

void reportFailure(const char* message, HRESULT result, bool creationStep) {
    MessageBoxA(keyboardWindow, message, caption, MB_OK);
    char code[16];
    formatDirectInputResult(result, code, sizeof code);
    MessageBoxA(keyboardWindow, code, caption, MB_OK);
    if (creationStep) DestroyWindow(keyboardWindow);
}

void check(HRESULT result, const char* message) {
    if (result != DI_OK) reportFailure(message, result, true);
}

}  // namespace

KeyboardDevice* createKeyboardDevice(KeyboardDevice* device) {
    device->directInput = nullptr;
    device->unusedDevice = nullptr;
    device->keyboard = nullptr;
    for (IDirectInputDeviceA*& slot : device->unusedDevices) slot = nullptr;
    std::memset(device->firstBlock, 0, sizeof device->firstBlock);
    std::memset(device->secondBlock, 0, sizeof device->secondBlock);

    check(DirectInputCreateA(keyboardInstance, 0x0500, &device->directInput, nullptr), "DirectInputCreate Failed");
    // Without the interface a failed step did not deliver, the later steps are skipped.
    if (!device->directInput) return device;
    check(device->directInput->CreateDevice(GUID_SysKeyboard, &device->keyboard, nullptr),
          "CreateDevice(KEYBORAD) Failed");
    if (!device->keyboard) return device;
    check(device->keyboard->SetDataFormat(&c_dfDIKeyboard), "SetDataFormat Failed");
    check(device->keyboard->SetCooperativeLevel(keyboardWindow, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
          "SetCooperativeLevel Failed");
    check(device->keyboard->Acquire(), "Acquire Failed");
    return device;
}

int readKeyboardState(unsigned char* buffer) {
    KeyboardDevice* device = keyboardDevice.load();
    if (!device || !device->keyboard) return 0;
    const HRESULT result = device->keyboard->GetDeviceState(256, buffer);
    if (result == DI_OK) return 1;
    if (result == DIERR_INPUTLOST) {
        device->keyboard->Acquire();
        return 0;
    }
    reportFailure("GetDeviceState(KEYBOARD) Failed", result, false);
    return 0;
}

void releaseKeyboardDevice(KeyboardDevice* device) {
    IDirectInputDeviceA** order[] = {&device->unusedDevices[2], &device->unusedDevices[3], &device->unusedDevices[1],
                                     &device->unusedDevices[0], &device->keyboard,         &device->unusedDevice};
    for (IDirectInputDeviceA** slot : order) {
        if (*slot) {
            (*slot)->Unacquire();
            (*slot)->Release();
            *slot = nullptr;
        }
    }
    if (device->directInput) {
        device->directInput->Release();
        device->directInput = nullptr;
    }
}
