#include "ui/program_resources.h"

#include "ui/language_choice.h"

namespace {

// Set once at start-up, before the poller thread; GUI thread only.
LANGID language = englishLanguage;

// The resource types, in UTF-16 whatever UNICODE says: RT_MENU, RT_DIALOG
// and RT_STRING are 4, 5 and 6.
// A resource in the chosen language, else in English, which every resource has.
const void* resourceIn(const wchar_t* type, const wchar_t* name) {
    const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) found = FindResourceExW(module, type, name, englishLanguage);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    return loaded ? LockResource(loaded) : nullptr;
}

}  // namespace

void chooseProgramLanguage() { language = programLanguageFor(GetUserDefaultUILanguage()); }

LANGID programLanguage() { return language; }

HMENU loadProgramMenu(const wchar_t* name) {
    const void* menu = resourceIn(MAKEINTRESOURCEW(4), name);
    return menu ? LoadMenuIndirectW(menu) : nullptr;
}

HWND createProgramDialog(const wchar_t* name, HWND parent, DLGPROC procedure) {
    const auto* dialog = static_cast<const DLGTEMPLATE*>(resourceIn(MAKEINTRESOURCEW(5), name));
    return dialog ? CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog, parent, procedure, 0) : nullptr;
}

std::wstring programString(UINT id) {
    // A block holds sixteen strings, each its length and its characters.
    const auto* text = static_cast<const wchar_t*>(resourceIn(MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1)));
    if (!text) return std::wstring();
    for (UINT i = 0; i < id % 16; ++i) text += 1 + static_cast<unsigned>(*text);
    return std::wstring(text + 1, static_cast<std::size_t>(*text));
}
