// Morvi.ini as people save it. Morvi writes Shift-JIS (code page 932), which
// older copies of Morvi and a Japanese Notepad read; a modern Notepad saves
// UTF-8, with or without a byte-order mark. Such a file is read for what it
// says: its text is turned into the Shift-JIS the record keeps.
#pragma once

#include <cstddef>
#include <string>

// The file's bytes as the loader parses them: without a UTF-8 byte-order
// mark; a file that is valid UTF-8 and holds non-ASCII text converted to
// Shift-JIS line by line, where a line Shift-JIS cannot write exactly
// becomes empty (its row keeps its value). Any other file is left as it is.
std::string settingsTextAsShiftJis(const char* data, std::size_t size);
