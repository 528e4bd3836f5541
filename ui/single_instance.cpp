#include "ui/single_instance.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// The claim: a small named mapping holding the first Morvi's window. It
// lives until the final save is done, or until the process ends, which
// releases it however it ends.
HANDLE claim = nullptr;
volatile LONG* claimedWindow = nullptr;

// What the slot holds besides a window: the first is still starting, or
// is closing and about to let go.
constexpr LONG starting = 0;
constexpr LONG closing = -1;

std::wstring currentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    folder.resize(GetCurrentDirectoryW(size, folder.data()));
    return folder;
}

// The folder's spelling, full, long and in capitals: where the file system
// cannot say what the folder is.
std::uint64_t spellingHash(std::wstring folder) {
    const DWORD longSize = GetLongPathNameW(folder.c_str(), nullptr, 0);
    if (longSize > 0) {
        std::wstring longFolder(longSize, L'\0');
        longFolder.resize(GetLongPathNameW(folder.c_str(), longFolder.data(), longSize));
        if (!longFolder.empty()) folder = longFolder;
    }
    CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 units
    for (const wchar_t c : folder) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    return hash;
}

// One name for one folder however it is reached (a drive letter given to
// it, a mapped drive beside its UNC path, a junction or link to it): what
// the file system says it is, its volume and file id.
std::wstring claimName() {
    const std::wstring folder = currentFolder();
    wchar_t name[96];
    const HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FILE_ID_INFO id{};
        BY_HANDLE_FILE_INFORMATION info{};
        bool named = false;
        if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
            std::uint64_t high = 0, low = 0;
            for (int i = 0; i < 8; ++i) low |= std::uint64_t{id.FileId.Identifier[i]} << (8 * i);
            for (int i = 8; i < 16; ++i) high |= std::uint64_t{id.FileId.Identifier[i]} << (8 * (i - 8));
            std::swprintf(name, 96, L"Local\\Morvi.ini-%016llx-%016llx%016llx",
                          static_cast<unsigned long long>(id.VolumeSerialNumber), static_cast<unsigned long long>(high),
                          static_cast<unsigned long long>(low));
            named = true;
        } else if (GetFileInformationByHandle(handle, &info)) {  // before Windows 8
            std::swprintf(name, 96, L"Local\\Morvi.ini-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                          info.nFileIndexHigh, info.nFileIndexLow);
            named = true;
        }
        CloseHandle(handle);
        if (named) return name;
    }
    std::swprintf(name, 96, L"Local\\Morvi.ini-%016llx", static_cast<unsigned long long>(spellingHash(folder)));
    return name;
}

// A view mapped for reading: no interlocked call, which writes. A 32-bit
// aligned read is whole.
LONG slotValue(const volatile LONG* slot) { return *slot; }

// Window handles are 32-bit values on 64-bit Windows too, so a 32-bit and a
// 64-bit Morvi find each other in a slot of the same size.
static_assert(sizeof(LONG) == 4);
HWND windowOf(LONG value) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)); }

// Without waiting on it: a first Morvi that hangs must not hang this one.
void bringToFront(HWND window) {
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    SetForegroundWindow(window);
}

// What creating the claim answered: this process holds it now; another
// holds it (it exists, or exists with rights this process lacks, as an
// elevated Morvi's does); or no claim could be made, and Morvi runs as it
// would without one.
enum class ClaimAnswer { Claimed, Held, NoClaim };

ClaimAnswer claimAnswer(bool created, bool alreadyExists, bool accessDenied) {
    if (created && !alreadyExists) return ClaimAnswer::Claimed;
    if (created || accessDenied) return ClaimAnswer::Held;
    return ClaimAnswer::NoClaim;
}

}  // namespace

bool claimSettingsFile() {
    const std::wstring name = claimName();
    // A Morvi closing in this folder lets go once its last save is done, a
    // Morvi starting shows its window within moments: both are waited for,
    // a bounded time.
    for (int tries = 0; tries < 200; ++tries, Sleep(20)) {
        const HANDLE mapping =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), name.c_str());
        const DWORD error = GetLastError();
        switch (claimAnswer(mapping != nullptr, error == ERROR_ALREADY_EXISTS, error == ERROR_ACCESS_DENIED)) {
        case ClaimAnswer::Claimed:
            claim = mapping;
            claimedWindow = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
            return true;
        case ClaimAnswer::NoClaim: return true;
        case ClaimAnswer::Held: break;
        }
        // Held; one that runs with other rights (elevated) may let this one
        // read the slot, or not even that.
        const HANDLE readable = mapping ? mapping : OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
        auto* slot = readable ? static_cast<volatile LONG*>(MapViewOfFile(readable, FILE_MAP_READ, 0, 0, sizeof(LONG)))
                              : nullptr;
        const LONG value = slot ? slotValue(slot) : starting;
        if (slot) UnmapViewOfFile(const_cast<LONG*>(slot));
        if (readable) CloseHandle(readable);
        if (!slot) return false;
        if (value == starting || value == closing) continue;
        const HWND window = windowOf(value);
        if (!IsWindow(window)) continue;  // its window is gone: it is closing
        bringToFront(window);
        return false;
    }
    return false;
}

void publishMainWindow(HWND window) {
    if (claimedWindow) InterlockedExchange(claimedWindow, static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)));
}

void releaseSettingsFileClaim() {
    if (claimedWindow) UnmapViewOfFile(const_cast<LONG*>(claimedWindow));
    if (claim) CloseHandle(claim);
    claimedWindow = nullptr;
    claim = nullptr;
}

void markSettingsFileClosing() {
    if (claimedWindow) InterlockedExchange(claimedWindow, closing);
}
