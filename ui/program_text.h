// Morvi's own 8-bit texts (Morvi.ini, the key names, the default face name)
// are Shift-JIS on every system, so that a file means the same on any PC.
// They cross into Windows as UTF-16, converted with code page 932 named
// here, never with the system's ANSI code page, which is 1252 on a Western
// PC and would turn them into question marks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

inline constexpr UINT programCodePage = 932;

// At most `maxBytes` bytes of `text`, up to its terminator.
std::wstring widenProgramText(const char* text, std::size_t maxBytes = static_cast<std::size_t>(-1));

// Writes `text` into `out` (with its terminator) when Shift-JIS can write
// every character of it exactly and it fits; otherwise false, `out` untouched.
bool narrowProgramText(const wchar_t* text, char* out, std::size_t capacity);

// Text the user typed or the system holds, where only ASCII counts (a
// number, the lap report): every other character becomes DEL (0x7F), which
// neither holds.
std::string asciiText(const wchar_t* text);
