#include "ui/setting_switches.h"

#include "ui/resource_ids.h"

const SettingSwitch settingSwitches[settingSwitchCount] = {
    {IDC_OPT_FOCUS, &Settings::Focus, SettingSwitch::Nothing, 0, 0, false},
    {IDC_OPT_TITLE, &Settings::Title, SettingSwitch::Style, GWL_STYLE, WS_CAPTION, true},
    // The row is 28 pixels high: the window grows or shrinks by it, so the
    // display area keeps its size.
    {IDC_OPT_BUTTON, &Settings::Button, SettingSwitch::ButtonRow, 0, 0, false},
    {IDC_OPT_TOPMOST, &Settings::Topmost, SettingSwitch::Style, GWL_EXSTYLE, WS_EX_TOPMOST, true},
    {IDC_OPT_FUNBYOU, &Settings::Funbyou, SettingSwitch::Nothing, 0, 0, false},
    {IDC_OPT_BACKGROUND, &Settings::BackGround, SettingSwitch::Nothing, 0, 0, false},
    {IDC_OPT_STARTCOLON, &Settings::StartColon, SettingSwitch::Nothing, 0, 0, false},
    {IDC_OPT_WINDOWFIX, &Settings::WindowFix, SettingSwitch::Style, GWL_STYLE, WS_THICKFRAME, false},
};

bool switchFlips(std::int32_t was, std::int32_t now) { return (was == 0 && now == 1) || (was == 1 && now == 0); }

bool followSwitch(HWND window, const SettingSwitch& which, std::int32_t was, std::int32_t now) {
    if (which.drives != SettingSwitch::Style || !switchFlips(was, now)) return false;
    const bool add = (now == 1) == which.bitsWhenOn;
    const LONG style = GetWindowLongW(window, which.styleIndex);
    SetWindowLongW(window, which.styleIndex, add ? (style | which.styleBits) : (style & ~which.styleBits));
    return true;
}

void styleWindowAsSettings(HWND window, const Settings& s) {
    for (const SettingSwitch& which : settingSwitches) {
        if (which.drives != SettingSwitch::Style) continue;
        // What the window shows now, as the switch's value.
        const bool bits = (GetWindowLongW(window, which.styleIndex) & which.styleBits) != 0;
        followSwitch(window, which, bits == which.bitsWhenOn ? 1 : 0, sharedLoad(s.*which.member));
    }
}
