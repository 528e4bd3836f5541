// The eight on/off settings, each named once: the options dialog's check
// box, the member it sets, and what it drives in the main window. The
// dialog fills its boxes and applies OK from this table; the window takes
// its caption, topmost band and sizing border from it, at creation and
// after OK alike.
#pragma once

#include <windows.h>

#include <cstdint>

#include "settings/settings.h"

struct SettingSwitch {
    enum Drives { Nothing, Style, ButtonRow };
    int checkBox;
    std::int32_t Settings::*member;
    Drives drives;
    int styleIndex;   // GWL_STYLE or GWL_EXSTYLE, for Style
    LONG styleBits;   // the main window's style bits it adds or removes
    bool bitsWhenOn;  // true: the bits are there while the switch is on
};

// In the order OK applies them.
inline constexpr int settingSwitchCount = 8;
extern const SettingSwitch settingSwitches[settingSwitchCount];

// Whether a switch goes from 0 to 1 or from 1 to 0: only then does what it
// drives change; any other value a hand-written file gave leaves it alone.
bool switchFlips(std::int32_t was, std::int32_t now);

// Makes the window's style follow a Style switch going from `was` to `now`;
// true when its frame changed.
bool followSwitch(HWND window, const SettingSwitch& which, std::int32_t was, std::int32_t now);

// At creation: the window as made (a caption, a sizing border, not topmost)
// takes the styles the settings ask for, each switch read from the style
// the window has.
void styleWindowAsSettings(HWND window, const Settings& s);
