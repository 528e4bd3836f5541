// Morvi.ini as people save it. Morvi writes Shift-JIS (code page 932), which
// older copies of Morvi and a Japanese Notepad read; a modern Notepad saves
// UTF-8, with or without a byte-order mark, and Notepad's "Unicode" and
// Windows PowerShell 5.1 UTF-16 with its mark. Such a file is read for what
// it says: its text is turned into the Shift-JIS the record keeps.
#pragma once

#include <cstddef>
#include <string>

// Stands where a character had no exact Shift-JIS form. DEL is never part
// of a Shift-JIS character, so no name or number holds it.
inline constexpr char settingsCharacterNotKept = '\x7F';

// The file's bytes as the loader parses them: without a byte-order mark;
// UTF-16 (either byte order, with its mark), and UTF-8 that holds non-ASCII
// text, converted to Shift-JIS, each character Shift-JIS cannot write
// exactly becoming settingsCharacterNotKept. Any other file is left as it is.
std::string settingsTextAsShiftJis(const char* data, std::size_t size);
