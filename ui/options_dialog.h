// The options dialog: hotkeys captured by pressing them, switches, lap flash
// time, font and colour.
#pragma once

#include <windows.h>

#include <cstdint>

#include "settings/settings.h"

INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Outlive the dialog; GUI thread only.
extern std::int32_t captureArmed[BindingCount];
extern unsigned char keysAtKeyDown[256];
extern unsigned char keysAtKeyUp[256];
// 1 once the user has been told that Morvi.ini could not be read.
extern std::int32_t toldSettingsFileUnread;

// Shows the dialog's message boxes (an OK that could not save, a Morvi.ini
// that could not be read, a face Morvi.ini cannot keep); replaceable so that
// tests can count them.
extern int(WINAPI* settingsMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT);

// Just shown: once a run, when Morvi.ini was there at start but could not be
// read, tells the user that Morvi runs on the defaults and that only OK will
// write over the file.
void tellIfSettingsFileUnread(HWND dialog);

// Morvi is ending with the dialog open: what it changed and was not confirmed
// goes, as on Cancel, and the dialog with it. Nothing when it is not open.
void cancelOptionsDialog();

// After a capture the bound key may still be down: its repeats, the
// characters they make and its key-up are that one press, and the dialog
// takes none of them (a held Esc would cancel it, a held letter fire its
// mnemonic). The message loop asks before the dialog sees a key message;
// true: it goes nowhere. The hold ends with the key-up or a new press.
bool swallowedAfterCapture(const MSG& message);

// The lowest code down in `down` and not down in `up`, or -1.
int findNewKey(const unsigned char* down, const unsigned char* up);

// The capture's decision: binds the new key to the first armed binding and
// disarms it. Returns the binding's index, or -1 when nothing changed (no new
// key, an unnamed key, nothing armed).
int captureNewKey(Settings& s, std::int32_t armed[BindingCount], const unsigned char* down, const unsigned char* up);
