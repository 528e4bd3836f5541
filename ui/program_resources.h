// Morvi's menu, dialogs and messages in the one language chosen at start:
// taken from the resources by that language, not by the loader's own order,
// which would prefer the language Windows was installed in.
#pragma once

#include <windows.h>

#include <string>

// From the user's display language, once at start-up, before any window.
void chooseProgramLanguage();
LANGID programLanguage();

HMENU loadProgramMenu(const wchar_t* name);
HWND createProgramDialog(const wchar_t* name, HWND parent, DLGPROC procedure);
// A text of the string table; empty when there is none.
std::wstring programString(UINT id);
