#include "single_instance.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// The claim: a small named mapping holding the first Morvi's window. It
// lives until the process ends, which releases it however it ends.
HANDLE claim = nullptr;
volatile LONG* claimedWindow = nullptr;

// The same name for the same file however the folder was named: full,
// long, and in capitals, as the file system compares names.
std::wstring claimName() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    folder.resize(GetCurrentDirectoryW(size, folder.data()));
    const DWORD longSize = GetLongPathNameW(folder.c_str(), nullptr, 0);
    if (longSize > 0) {
        std::wstring longFolder(longSize, L'\0');
        longFolder.resize(GetLongPathNameW(folder.c_str(), longFolder.data(), longSize));
        if (!longFolder.empty()) folder = longFolder;
    }
    std::wstring path = folder + L"\\Morvi.ini";
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 units
    for (const wchar_t c : path) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\Morvi.ini-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

// Window handles are 32-bit values on 64-bit Windows too, so a 32-bit and a
// 64-bit Morvi find each other.
HWND windowIn(volatile LONG* slot) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(InterlockedCompareExchange(slot, 0, 0)));
}

void bringToFront(volatile LONG* slot) {
    // The first may still be starting: its window comes within moments.
    HWND window = nullptr;
    for (int tries = 0; tries < 100 && !(window = windowIn(slot)); ++tries) Sleep(20);
    if (!window || !IsWindow(window)) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

}  // namespace

bool claimSettingsFile() {
    const HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), claimName().c_str());
    if (!mapping) return true;
    const bool first = GetLastError() != ERROR_ALREADY_EXISTS;
    auto* slot = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    if (first) {
        claim = mapping;
        claimedWindow = slot;
        return true;
    }
    if (slot) {
        bringToFront(slot);
        UnmapViewOfFile(const_cast<LONG*>(slot));
    }
    CloseHandle(mapping);
    return false;
}

void publishMainWindow(HWND window) {
    if (claimedWindow) InterlockedExchange(claimedWindow, static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)));
}
