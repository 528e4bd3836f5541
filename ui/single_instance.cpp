#include "ui/single_instance.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/second_start.h"

namespace {

// The claim: a mutex named after the folder in the global namespace, so
// that it holds across the sessions of one machine (fast user switching, a
// remote desktop). Its owner is the GUI thread; it goes once the last save
// is done, or when the process ends, however it ends. GUI thread only.
HANDLE claim = nullptr;
HANDLE claimedMark = nullptr;
HWND claimedWindow = nullptr;

// The marks on the first's main window that a second start reads without
// asking the window anything: which folder's claim it holds, and that it is
// closing. Property values stay within 32 bits, so that a 32-bit and a
// 64-bit Morvi read each other's.
const wchar_t claimProperty[] = L"Morvi.ini claim";
const wchar_t closingProperty[] = L"Morvi.ini closing";
const wchar_t mainWindowClass[] = L"Morvi";  // as main_window.cpp registers it

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
std::wstring claimName(const std::wstring& folder) {
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
            std::swprintf(name, 96, L"Global\\Morvi.ini-%016llx-%016llx%016llx",
                          static_cast<unsigned long long>(id.VolumeSerialNumber), static_cast<unsigned long long>(high),
                          static_cast<unsigned long long>(low));
            named = true;
        } else if (GetFileInformationByHandle(handle, &info)) {  // before Windows 8
            std::swprintf(name, 96, L"Global\\Morvi.ini-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                          info.nFileIndexHigh, info.nFileIndexLow);
            named = true;
        }
        CloseHandle(handle);
        if (named) return name;
    }
    std::swprintf(name, 96, L"Global\\Morvi.ini-%016llx", static_cast<unsigned long long>(spellingHash(folder)));
    return name;
}

// The claim's mark on a window: a 32-bit hash of its name, never 0.
HANDLE claimMark(const std::wstring& name) {
    std::uint32_t hash = 2166136261u;
    for (const wchar_t c : name) hash = (hash ^ static_cast<std::uint16_t>(c)) * 16777619u;
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hash | 1u));
}

// Takes the mutex, waiting up to `pause` ms for a first that lets go or
// ends, or tells who holds it. `held` keeps a handle to a mutex this
// process may wait on.
ClaimAnswer takeClaim(const std::wstring& name, HANDLE& held, DWORD pause) {
    if (!held) {
        if (pause != 0) Sleep(pause);
        held = CreateMutexW(nullptr, TRUE, name.c_str());
        const DWORD error = GetLastError();
        if (!held) return error == ERROR_ACCESS_DENIED ? ClaimAnswer::HeldOutOfReach : ClaimAnswer::NoClaim;
        if (error != ERROR_ALREADY_EXISTS) return ClaimAnswer::Claimed;
        pause = 0;
    }
    const DWORD waited = WaitForSingleObject(held, pause);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? ClaimAnswer::Claimed : ClaimAnswer::Held;
}

struct Search {
    HANDLE mark;
    HWND window;
};

BOOL CALLBACK findMarked(HWND window, LPARAM context) {
    Search& search = *reinterpret_cast<Search*>(context);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, mainWindowClass) != 0 || GetPropW(window, claimProperty) != search.mark) return TRUE;
    search.window = window;
    return FALSE;
}

// Without waiting on it: a first Morvi that hangs must not hang this one.
bool answers(HWND window) {
    if (IsHungAppWindow(window)) return false;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &result)) return true;
    // Refused rather than unanswered: an elevated first takes no message
    // from this process, which may still bring it to the front.
    const DWORD error = GetLastError();
    return error != ERROR_TIMEOUT && error != ERROR_SUCCESS;
}

FirstMorvi lookForFirst(HANDLE mark, HWND& window) {
    Search search{mark, nullptr};
    EnumWindows(findMarked, reinterpret_cast<LPARAM>(&search));
    window = search.window;
    if (!window) return FirstMorvi{false, false, false};
    const bool closing = GetPropW(window, closingProperty) != nullptr;
    return FirstMorvi{true, closing, !closing && answers(window)};
}

void bringToFront(HWND window) {
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    SetForegroundWindow(window);
}

void tell(UINT id, const std::wstring& folder) {
    chooseProgramLanguage();
    std::wstring text = programString(id);
    const std::size_t at = text.find(L"%1");
    if (at != std::wstring::npos) text.replace(at, 2, folder);
    MessageBoxW(nullptr, text.c_str(), L"Morvi", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

}  // namespace

bool claimSettingsFile() {
    const std::wstring folder = currentFolder();
    const std::wstring name = claimName(folder);
    const HANDLE mark = claimMark(name);
    HANDLE held = nullptr;
    const DWORD began = GetTickCount();
    for (DWORD pause = 0;; pause = 50) {
        const ClaimAnswer answer = takeClaim(name, held, pause);
        HWND first = nullptr;
        const FirstMorvi seen = answer == ClaimAnswer::Claimed || answer == ClaimAnswer::NoClaim
                                    ? FirstMorvi{false, false, false}
                                    : lookForFirst(mark, first);
        switch (secondStartStep(answer, seen, GetTickCount() - began)) {
        case SecondStart::Run:
            claim = held;  // none without a claim
            claimedMark = mark;
            return true;
        case SecondStart::Wait: continue;
        case SecondStart::BringToFront: bringToFront(first); break;
        case SecondStart::ToldAdministrator: tell(IDS_FIRST_OUT_OF_REACH, folder); break;
        case SecondStart::ToldOtherSession: tell(IDS_FIRST_IN_OTHER_SESSION, folder); break;
        case SecondStart::ToldNotAnswering: tell(IDS_FIRST_NOT_ANSWERING, folder); break;
        }
        if (held) CloseHandle(held);
        return false;
    }
}

void publishMainWindow(HWND window) {
    if (!claim) return;
    claimedWindow = window;
    SetPropW(window, claimProperty, claimedMark);
}

void markSettingsFileClosing() {
    if (claimedWindow) SetPropW(claimedWindow, closingProperty, reinterpret_cast<HANDLE>(1));
}

// The claim goes before the marks: a start that waits sees the window marked
// closing until the claim is free, never a claim without a window.
void releaseSettingsFileClaim() {
    if (claim) {
        ReleaseMutex(claim);
        CloseHandle(claim);
    }
    if (claimedWindow) {
        RemovePropW(claimedWindow, claimProperty);
        RemovePropW(claimedWindow, closingProperty);
    }
    claim = nullptr;
    claimedWindow = nullptr;
}
