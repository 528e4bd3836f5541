#include "platform/system_libraries.h"

#include <imm.h>

#include <cwchar>
#include <type_traits>

namespace {

using TimeGetTime = DWORD(WINAPI*)();
using JoySetCapture = UINT(WINAPI*)(HWND, UINT, UINT, BOOL);
using CreateDirectInput = HRESULT(WINAPI*)(HINSTANCE, DWORD, IDirectInputA**, IUnknown*);

// As the system's headers declare them: a calling convention missed here
// would break only the 32-bit program, which no test here runs.
static_assert(std::is_same_v<TimeGetTime, decltype(&::timeGetTime)>);
static_assert(std::is_same_v<JoySetCapture, decltype(&::joySetCapture)>);
static_assert(std::is_same_v<CreateDirectInput, decltype(&::DirectInputCreateA)>);

// 1 once every DLL search is limited to the system folder. Set before the
// poller thread exists.
int searchRestricted = 0;

// Loaded once and kept to the end of the process, like the menu: the clock is
// read until the last moment, and the DirectInput objects live in dinput.dll.
TimeGetTime timeGetTimeEntry = nullptr;
JoySetCapture joySetCaptureEntry = nullptr;
CreateDirectInput directInputCreateEntry = nullptr;

// The full path of a DLL in the system folder; false when it does not fit.
bool systemDllPath(const wchar_t* name, wchar_t* out, UINT capacity) {
    const UINT length = GetSystemDirectoryW(out, capacity);
    const std::size_t nameLength = std::wcslen(name);
    if (length == 0 || length + 1 + nameLength + 1 > capacity) return false;
    out[length] = L'\\';
    std::wmemcpy(out + length + 1, name, nameLength + 1);
    return true;
}

}  // namespace

HMODULE loadFromSystemFolder(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    if (!systemDllPath(name, path, MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // Its own dependencies come from the system folder too: by the restricted
    // search, or, where Windows cannot restrict it, by looking beside it first.
    return LoadLibraryExW(path, nullptr, searchRestricted == 1 ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

void restrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (const auto set = systemEntry<SetDefaultDllDirectories>(kernel, "SetDefaultDllDirectories"))
        searchRestricted = set(LOAD_LIBRARY_SEARCH_SYSTEM32) ? 1 : 0;
}

bool loadWinmm() {
    if (timeGetTimeEntry) return true;
    const HMODULE winmm = loadFromSystemFolder(L"winmm.dll");
    if (!winmm) return false;
    const auto time = systemEntry<TimeGetTime>(winmm, "timeGetTime");
    const auto capture = systemEntry<JoySetCapture>(winmm, "joySetCapture");
    if (!time || !capture) {
        FreeLibrary(winmm);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    joySetCaptureEntry = capture;
    timeGetTimeEntry = time;
    return true;
}

HRESULT systemDirectInputCreate(HINSTANCE instance, DWORD version, IDirectInputA** out) {
    if (!directInputCreateEntry) {
        const HMODULE dinput = loadFromSystemFolder(L"dinput.dll");
        if (!dinput) return HRESULT_FROM_WIN32(GetLastError());
        directInputCreateEntry = systemEntry<CreateDirectInput>(dinput, "DirectInputCreateA");
        if (!directInputCreateEntry) {
            const HRESULT missing = HRESULT_FROM_WIN32(GetLastError());
            FreeLibrary(dinput);
            return missing;
        }
    }
    return directInputCreateEntry(instance, version, out, nullptr);
}

DWORD systemTime() { return timeGetTimeEntry(); }

UINT systemJoySetCapture(HWND window, UINT joystick, UINT period, BOOL changed) {
    return joySetCaptureEntry(window, joystick, period, changed);
}

void disableInputMethod(HWND window) {
    using AssociateContextEx = BOOL(WINAPI*)(HWND, HIMC, DWORD);
    static_assert(std::is_same_v<AssociateContextEx, decltype(&::ImmAssociateContextEx)>);
    // Loaded once and kept, like winmm.dll; GUI thread only.
    static const AssociateContextEx associate =
        systemEntry<AssociateContextEx>(loadFromSystemFolder(L"imm32.dll"), "ImmAssociateContextEx");
    // No context at all: the window has no input method.
    if (associate) associate(window, nullptr, 0);
}
