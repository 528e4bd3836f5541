#include "ui/options_dialog.h"

#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

#include "engine/stopwatch.h"
#include "input/keyboard_device.h"
#include "platform/display_dpi.h"
#include "platform/system_libraries.h"
#include "settings/key_names.h"
#include "settings/screen_units.h"
#include "ui/font_faces.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/program_resources.h"
#include "ui/program_text.h"
#include "ui/resource_ids.h"
#include "ui/setting_switches.h"

std::int32_t captureArmed[BindingCount];
unsigned char keysAtKeyDown[256];
unsigned char keysAtKeyUp[256];
std::int32_t toldSettingsFileUnread = 0;
int(WINAPI* settingsMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

namespace {

// GUI thread only. The record as the dialog found it, in the file's 96-DPI
// pixels so that a new scale meanwhile does not shrink it, which Cancel
// brings back when there is no file to reload; and whether the last OK's save
// failed, so that the file is older than what the user confirmed.
Settings settingsAtOpen;
bool confirmedButNotSaved = false;

const int hotkeyBoxes[BindingCount] = {IDC_OPT_START_KEY, IDC_OPT_STOP_KEY, IDC_OPT_RESET_KEY, IDC_OPT_LAP_KEY,
                                       IDC_OPT_NEXT_KEY};

int bindingOfBox(int id) {
    for (int i = 0; i < BindingCount; ++i)
        if (hotkeyBoxes[i] == id) return i;
    return -1;
}

void setCheck(HWND dialog, int id, std::int32_t value) {
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool ticked(HWND dialog, int id) { return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == 1; }

// A key's name as the box shows it: Shift-JIS bytes ("↑", "変換") in UTF-16.
void setBoxText(HWND dialog, int id, const char* name, std::size_t maxBytes) {
    SetDlgItemTextW(dialog, id, widenProgramText(name, maxBytes).c_str());
}

void fillControls(HWND dialog) {
    const Settings& s = processSettings();
    for (int i = 0; i < BindingCount; ++i)
        setBoxText(dialog, hotkeyBoxes[i], s.keyBindings[i].name, sizeof s.keyBindings[i].name);
    for (const SettingSwitch& which : settingSwitches) setCheck(dialog, which.checkBox, s.*which.member);
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(s.LapTime));
    setBoxText(dialog, IDC_OPT_LAPTIME, text, sizeof text);
}

void unbind(HWND dialog, int binding) {
    KeyBinding& b = processSettings().keyBindings[binding];
    sharedStore(b.code, 0);
    std::memset(b.name, 0, sizeof b.name);
    SetDlgItemTextW(dialog, hotkeyBoxes[binding], L"");
}

// A box that stops waiting stays empty: its binding was cleared when it
// began to wait.
void stopWaiting(HWND dialog, int binding) {
    captureArmed[binding] = 0;
    SetDlgItemTextW(dialog, hotkeyBoxes[binding], L"");
}

// The box waits for a key. Keys already down now (the Space that asked for
// it, a held Ctrl) are not that key.
void arm(HWND dialog, int binding) {
    for (int i = 0; i < BindingCount; ++i)
        if (i != binding && captureArmed[i] == 1) stopWaiting(dialog, i);
    unbind(dialog, binding);
    captureArmed[binding] = 1;
    SetDlgItemTextW(dialog, hotkeyBoxes[binding], L"-----");
    readKeyboardState(keysAtKeyUp);
}

// The hotkey boxes are read-only edit boxes with this procedure in front of
// their own. A click, or Space, makes a box wait for a key; Delete or Back
// Space empties it. Tab and Shift+Tab pass through the boxes and change
// nothing; while a box waits and has the focus, every key is a candidate,
// Tab, Enter and Esc too. The box waits until it binds a key or another
// control of the dialog takes the focus.
WNDPROC editBoxProc = nullptr;

LRESULT CALLBACK hotkeyBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
// The system calls these; their calling convention matters to the 32-bit
// program only, which this checks where no test runs it.
static_assert(std::is_same_v<decltype(&hotkeyBoxProc), WNDPROC>);
static_assert(std::is_same_v<decltype(&optionsDialogProc), DLGPROC>);
static_assert(std::is_same_v<decltype(&MessageBoxW), decltype(settingsMessageBox)>);

LRESULT CALLBACK hotkeyBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND dialog = GetParent(box);
    const int binding = bindingOfBox(GetDlgCtrlID(box));
    const bool waiting = binding >= 0 && captureArmed[binding] == 1;
    switch (message) {
    case WM_GETDLGCODE:
        if (waiting) return DLGC_WANTALLKEYS | CallWindowProcW(editBoxProc, box, message, wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        if (binding >= 0) arm(dialog, binding);
        break;
    case WM_KEYDOWN:
        // The capture takes a key through the dialog; the box itself, which
        // would pass Enter on to OK, sees none.
        if (!waiting && binding >= 0 && wParam == VK_SPACE) arm(dialog, binding);
        if (!waiting && binding >= 0 && (wParam == VK_DELETE || wParam == VK_BACK)) unbind(dialog, binding);
        return 0;
    case WM_CHAR: return 0;
    case WM_KILLFOCUS:
        if (waiting && IsChild(dialog, reinterpret_cast<HWND>(wParam))) stopWaiting(dialog, binding);
        break;
    default: break;
    }
    return CallWindowProcW(editBoxProc, box, message, wParam, lParam);
}

void initDialog(HWND dialog) {
    settingsAtOpen = settingsForFile(processSettings(), processScreenUnits());
    fillControls(dialog);
    for (const int id : hotkeyBoxes) {
        const HWND box = GetDlgItem(dialog, id);
        editBoxProc =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hotkeyBoxProc)));
        // It takes keys, not text: no composition may open in it.
        disableInputMethod(box);
    }
}

// The key just bound while it is still down, whose repeats and key-up are
// that one press; -1 when none. GUI thread only.
std::int32_t heldAfterCapture = -1;

// The DirectInput code of a key message: its scan code, from 0x80 up for
// the extended keys.
std::int32_t keyCodeOf(LPARAM lParam) {
    const auto bits = static_cast<std::uint32_t>(lParam);
    return static_cast<std::int32_t>(((bits >> 16) & 0x7F) | (((bits >> 24) & 1) << 7));
}

// Whether a key message belongs to the press of `held` (-1: none).
bool takenByHeldKey(std::int32_t& held, UINT message, LPARAM lParam) {
    if (held < 0 || keyCodeOf(lParam) != held) return false;
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // A key that was up before is a new press: the hold is over.
        if ((lParam & (LPARAM{1} << 30)) == 0) {
            held = -1;
            return false;
        }
        return true;
    case WM_CHAR:
    case WM_SYSCHAR: return true;
    case WM_KEYUP:
    case WM_SYSKEYUP: held = -1; return true;
    default: return false;
    }
}

void onKeyDown(HWND dialog) {
    readKeyboardState(keysAtKeyDown);
    const int binding = captureNewKey(processSettings(), captureArmed, keysAtKeyDown, keysAtKeyUp);
    if (binding < 0) return;
    const KeyBinding& b = processSettings().keyBindings[binding];
    heldAfterCapture = sharedLoad(b.code);
    setBoxText(dialog, hotkeyBoxes[binding], b.name, sizeof b.name);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_OPT_OK)), TRUE);
}

// OK and Cancel both may change what the display shows.
void closeDialog(HWND dialog) {
    ShowWindow(dialog, SW_HIDE);
    processStopwatch().state.optionsOpen.store(0);
    InvalidateRect(getMainWindow()->window, nullptr, FALSE);
}

void destroyDialog(HWND dialog) {
    DestroyWindow(dialog);
    optionsDialog = nullptr;
}

void replaceAll(std::wstring& text, const wchar_t* placeholder, const std::wstring& value) {
    const std::size_t n = std::wcslen(placeholder);
    for (std::size_t at = text.find(placeholder); at != std::wstring::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, n, value);
}

// A message of the string table with %1 as Morvi.ini's full path and %2
// as its folder.
std::wstring settingsFileMessage(UINT id) {
    std::wstring text = programString(id);
    const std::wstring relative(settingsFileName, settingsFileName + std::strlen(settingsFileName));  // ASCII
    const DWORD size = GetFullPathNameW(relative.c_str(), 0, nullptr, nullptr);
    std::wstring file(size, L'\0');
    wchar_t* name = nullptr;
    file.resize(GetFullPathNameW(relative.c_str(), size, file.data(), &name));
    const std::wstring folder = name ? file.substr(0, static_cast<std::size_t>(name - file.data()) - 1) : file;
    replaceAll(text, L"%1", file);
    replaceAll(text, L"%2", folder);
    return text;
}

// The settings stay applied, and the close tries again; the user learns
// now, not at the next start, that the file still holds the previous ones.
void reportSettingsNotSaved(HWND owner) {
    settingsMessageBox(owner, settingsFileMessage(IDS_SETTINGS_NOT_SAVED).c_str(), L"Morvi", MB_OK | MB_ICONWARNING);
}

void reportFaceNotKept(HWND owner, const wchar_t* face) {
    std::wstring text = programString(IDS_FACE_NOT_KEPT);
    replaceAll(text, L"%1", face);
    settingsMessageBox(owner, text.c_str(), L"Morvi", MB_OK | MB_ICONINFORMATION);
}

// The font dialog works in UTF-16; the settings keep the face in Shift-JIS.
// Of the font dialog's record the settings keep the colour (TxColor), and it
// starts from it.
void chooseFont(HWND dialog) {
    Settings& s = processSettings();
    LOGFONTW working = wideLogFont(s.displayFont);
    working.lfHeight = heightForFontDialog(working.lfHeight, processScreenUnits());
    CHOOSEFONTA& record = s.fontDialogRecord;
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = dialog;
    cf.lpLogFont = &working;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;  // 0x141
    cf.rgbColors = sharedLoad(record.rgbColors);
    cf.iPointSize = record.iPointSize;
    const DPI_AWARENESS_CONTEXT context = enterSystemAwareDpi();
    const BOOL chosenOk = ChooseFontW(&cf);
    leaveDpiContext(context);
    // A cancelled dialog may still have written its preselection into `working`.
    if (!chosenOk) return;
    record.iPointSize = cf.iPointSize;
    record.nFontType = cf.nFontType;
    sharedStore(record.rgbColors, cf.rgbColors);
    LOGFONTA chosen = narrowLogFont(working);
    chosen.lfHeight = heightFromFontDialog(working.lfHeight, processScreenUnits());
    if (!faceForSettings(working, chosen.lfFaceName)) {
        // Morvi.ini could not bring it back: the display keeps its face.
        std::memcpy(chosen.lfFaceName, s.displayFont.lfFaceName, sizeof chosen.lfFaceName);
        reportFaceNotKept(dialog, working.lfFaceName);
    }
    s.displayFont = chosen;
    InvalidateRect(getMainWindow()->window, nullptr, FALSE);
}

void onOk(HWND dialog) {
    Settings& s = processSettings();
    const HWND main = getMainWindow()->window;
    bool frameChanged = false;
    for (const SettingSwitch& which : settingSwitches) {
        const std::int32_t was = s.*which.member, now = ticked(dialog, which.checkBox) ? 1 : 0;
        if (which.drives == SettingSwitch::ButtonRow && switchFlips(was, now)) {
            // In Morvi.ini's 96-DPI pixels, whatever the screen.
            const ScreenUnits& units = processScreenUnits();
            RECT file = rectToFile(sharedLoadRect(s.windowRect), units.systemDpi, units.dpi);
            file.bottom += now == 1 ? 28 : -28;
            sharedStore(s.windowRect.bottom, rectToScreen(file, units.systemDpi, units.dpi).bottom);
            frameChanged = true;
        }
        frameChanged = followSwitch(main, which, was, now) || frameChanged;
        sharedStore(s.*which.member, now);
    }
    const HWND zOrder = s.Topmost == 1 ? HWND_TOPMOST : HWND_NOTOPMOST;

    wchar_t typed[256] = {};
    GetDlgItemTextW(dialog, IDC_OPT_LAPTIME, typed, 256);
    // A number is ASCII; anything else ends it, as in the file.
    std::int32_t lapTime;
    if (scanDecimalText(asciiText(typed).c_str(), &lapTime))
        sharedStore(s.LapTime, static_cast<std::uint32_t>(lapTime));

    confirmedButNotSaved = !saveSettings();
    if (confirmedButNotSaved) reportSettingsNotSaved(dialog);
    closeDialog(dialog);

    if (frameChanged) {
        showCommandButtons();
        const RECT r = sharedLoadRect(s.windowRect);
        SetWindowPos(main, zOrder, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_FRAMECHANGED);
        ShowWindow(main, SW_SHOW);
    }
    destroyDialog(dialog);
}

void onCancel(HWND dialog) {
    if (confirmedButNotSaved)
        restoreSettingsAtOpen(processSettings(), settingsAtOpen, processScreenUnits());
    else
        reloadSettingsForCancel(settingsAtOpen);
    closeDialog(dialog);
    destroyDialog(dialog);
}

}  // namespace

void cancelOptionsDialog() {
    if (optionsDialog) onCancel(optionsDialog);
}

// Without a word the user would meet the defaults and no hotkeys and not
// know why; the dialog is where they would change what the file holds.
void tellIfSettingsFileUnread(HWND dialog) {
    if (!settingsFileUnreadable() || toldSettingsFileUnread == 1) return;
    toldSettingsFileUnread = 1;
    settingsMessageBox(dialog, settingsFileMessage(IDS_SETTINGS_NOT_READ).c_str(), L"Morvi", MB_OK | MB_ICONWARNING);
}

namespace {

void onCommand(HWND dialog, WPARAM wParam) {
    const int id = LOWORD(wParam);
    switch (id) {
    case IDC_OPT_FONT: chooseFont(dialog); break;
    // Enter and Esc, as in every dialog.
    case IDOK:
    case IDC_OPT_OK: onOk(dialog); break;
    case IDCANCEL:
    case IDC_OPT_CANCEL: onCancel(dialog); break;
    default: break;
    }
}

}  // namespace

bool swallowedAfterCapture(const MSG& message) {
    return takenByHeldKey(heldAfterCapture, message.message, message.lParam);
}

int findNewKey(const unsigned char* down, const unsigned char* up) {
    for (int i = 0; i < 256; ++i)
        if ((down[i] & 0x80) != 0 && (up[i] & 0x80) == 0) return i;
    return -1;
}

int captureNewKey(Settings& s, std::int32_t armed[BindingCount], const unsigned char* down, const unsigned char* up) {
    const int code = findNewKey(down, up);
    if (code < 0) return -1;
    const char* name = lookupKeyName(static_cast<std::uint32_t>(code));
    if (isUnlistedKeyName(name)) return -1;
    for (int i = 0; i < BindingCount; ++i) {
        if (armed[i] != 1) continue;
        KeyBinding& b = s.keyBindings[i];
        sharedStore(b.code, code);
        armed[i] = 0;
        std::memset(b.name, 0, sizeof b.name);
        std::strncpy(b.name, name, sizeof b.name - 1);
        return i;
    }
    return -1;
}

INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    // Filled once: what the user ticked or typed stays until OK or Cancel,
    // however often the dialog loses and regains the front.
    case WM_INITDIALOG: initDialog(dialog); break;
    case WM_CLOSE: onCancel(dialog); break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: onKeyDown(dialog); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: readKeyboardState(keysAtKeyUp); break;
    case WM_COMMAND: onCommand(dialog, wParam); break;
    // However the dialog goes, no capture stays armed: the next dialog's first
    // key, typed anywhere, would rebind silently.
    case WM_DESTROY:
        for (std::int32_t& armed : captureArmed) armed = 0;
        heldAfterCapture = -1;
        break;
    default: break;
    }
    return 0;
}
