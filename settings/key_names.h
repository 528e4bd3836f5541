// Names of DirectInput key codes, as hotkeys are shown and stored.
#pragma once

#include <cstdint>

struct KeyName {
    std::uint32_t code;
    const char* name;
};

inline constexpr int keyNameCount = 120;
extern const KeyName KeyNameTable[keyNameCount];

// "不明" in Shift-JIS; also the name of row 0x90. Returned for codes without a row.
extern const char* const unlistedKeyName;

// Never null; the name of the first row with this code, else unlistedKeyName.
const char* lookupKeyName(std::uint32_t code);

// True when the name is unlistedKeyName: such a key cannot be bound.
bool isUnlistedKeyName(const char* name);
