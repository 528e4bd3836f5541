// The settings record and its file, Morvi.ini in the current directory.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/win32_types.h"

struct KeyBinding {
    std::int32_t code;  // DirectInput key code; 0 (or anything outside 1..255) is no key
    char name[16];      // display name, NUL-terminated, at most 15 characters
};

enum KeyBindingIndex { BindStart, BindStop, BindReset, BindLap, BindNext, BindingCount };

// One record per process (processSettings). The hotkey poller reads the
// binding codes, BackGround and LapTime, and the time texts' four settings
// (Funbyou, StartColon, TxColor, TxColorStop) when it rebuilds the lap
// report; it reads and writes windowRect while the window is dragged. The
// GUI thread may change them meanwhile: both sides go through sharedLoad and
// sharedStore (relaxed atomic accesses) for those members, so every read
// sees a whole word. The loader and copySettings store every number that way.
struct Settings {
    std::int32_t Focus;
    LOGFONTA displayFont;
    KeyBinding keyBindings[BindingCount];
    RECT windowRect;
    std::int32_t Button;
    std::int32_t Title;
    CHOOSEFONTA fontDialogRecord;  // rgbColors is TxColor
    std::int32_t Topmost;
    std::int32_t Funbyou;
    std::uint32_t LapTime;
    std::int32_t BackGround;
    std::int32_t StartColon;
    std::int32_t WindowFix;
    COLORREF TxColorStop;
};

Settings& processSettings();

// The file name, relative to the current directory.
inline constexpr const char* settingsFileName = "Morvi.ini";

// Fill or write the process-wide record, using "Morvi.ini", converting its
// lengths between the file's 96-DPI pixels and the screen's. A file another
// program holds is waited for a moment (busyWaitLimitMs). Saving is false
// when the file could not be written; the previous file is then unchanged,
// byte for byte.
// saveSettings is the confirmed save (OK); saveSettingsOnExit, at the close
// and the session's end, leaves alone a file that was there at start but
// could not be read: the defaults Morvi then runs on must not replace it.
void loadSettings();
bool saveSettings();
bool saveSettingsOnExit();

// True when the last loadSettings found a Morvi.ini it could not read.
bool settingsFileUnreadable();

// The same on a record and a path the caller names. Without a file, or with
// one that cannot be read or holds no setting at all, the no-file defaults
// are applied. Only `path` is read. The save is settings_save.h's.
enum class SettingsLoad { Loaded, NoFile, Unreadable };
SettingsLoad loadSettingsFrom(Settings& s, const char* path);
bool saveSettingsTo(const Settings& s, const char* path);

// Cancel in the options dialog: reload the file (into screen pixels), but keep
// the window's rectangle, which is where the window is now. Without a
// readable file the record goes back to `atOpen`, what it was when the dialog
// opened, kept in the file's 96-DPI pixels (settingsForFile) so that it
// means the same at a scale the window has taken since. A file that reads
// now, or is gone, ends settingsFileUnreadable.
struct ScreenUnits;
SettingsLoad reloadSettingsForCancel(Settings& s, const char* path, const Settings& atOpen, ScreenUnits& units);
void reloadSettingsForCancel(const Settings& atOpen);
void restoreSettingsAtOpen(Settings& s, const Settings& atOpen, const ScreenUnits& units);

// Every member the file carries but windowRect from `from` into `s`, the
// words the poller reads one by one.
void copySettingsButWindow(Settings& s, const Settings& from);

// The exact bytes saveSettingsTo writes for a record (CR LF line ends).
std::string formatSettingsFile(const Settings& s);

// Parses a whole file's bytes into the record; an empty text applies the
// empty-file defaults. A row takes its own line when that carries its key,
// else the line that does wherever it stands. False when not one line but
// the face name's matched its row. Exposed for the fuzz target and the tests.
bool parseSettingsText(Settings& s, const char* data, std::size_t size);

// Reads a number the way the file's "%d" rows do: blanks, an optional sign,
// digits, whatever follows ignored; past 32 bits it wraps. False: no number.
bool scanDecimalText(const char* text, std::int32_t* out);

// The no-file defaults (white text, unlike the rest of the record's zeros).
void applyNoFileDefaults(Settings& s);

template <typename T>
T sharedLoad(const T& word) {
    return std::atomic_ref<T>(const_cast<T&>(word)).load(std::memory_order_relaxed);
}

template <typename T>
void sharedStore(T& word, T value) {
    std::atomic_ref<T>(word).store(value, std::memory_order_relaxed);
}

// windowRect word by word, as the two threads share it.
inline RECT sharedLoadRect(const RECT& r) {
    return RECT{sharedLoad(r.left), sharedLoad(r.top), sharedLoad(r.right), sharedLoad(r.bottom)};
}

inline void sharedStoreRect(RECT& r, const RECT& value) {
    sharedStore(r.left, value.left);
    sharedStore(r.top, value.top);
    sharedStore(r.right, value.right);
    sharedStore(r.bottom, value.bottom);
}
