// The display font between the settings, which keep its face name in
// Shift-JIS as Morvi.ini does, and Windows' fonts, named in UTF-16.
#pragma once

#include <windows.h>

#include <string>

// Every member as it is, the face name converted.
LOGFONTW wideLogFont(const LOGFONTA& font);
// The numbers only; the face name is left empty for faceForSettings.
LOGFONTA narrowLogFont(const LOGFONTW& font);

// The font the display draws with: the settings' description, width 0 (the
// stored Width takes no part).
LOGFONTW displayLogFont(const LOGFONTA& font);

// The face the settings keep for a face chosen in the font dialog: its own
// name where Shift-JIS can write it, else the family's English name, which
// Windows knows the font by on every system. False when neither can be
// written; `out` is then untouched.
bool faceForSettings(const LOGFONTW& chosen, char (&out)[LF_FACESIZE]);

// The English (United States) family name in the font's own name table, or
// empty when the face is not an installed font or has none.
std::wstring englishFamilyName(const LOGFONTW& font);
