// The running window on a real screen: black display, time in its colours,
// buttons along the bottom. Writes what it saw as a BMP (first argument).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/screen_units.h"
#include "tests/ui_test_support.h"
#include "ui/font_faces.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/options_dialog.h"
#include "ui/resource_ids.h"

namespace {

std::string bmpPath;

struct Capture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // top-down
    COLORREF at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// A rectangle of the screen as it shows it.
Capture captureScreen(POINT origin, int width, int height) {
    Capture c;
    c.width = width;
    c.height = height;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, c.width, c.height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, c.width, c.height, screen, origin.x, origin.y, SRCCOPY);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) c.pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return c;
}

// The window's client area.
Capture captureClient(HWND w) {
    RECT client{};
    GetClientRect(w, &client);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    return captureScreen(origin, client.right, client.bottom);
}

// The whole window as a user sees it, caption and frame included.
Capture captureWindow(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return captureScreen(POINT{r.left, r.top}, r.right - r.left, r.bottom - r.top);
}

void writeBmp(const Capture& c, const std::string& path) {
    const int rowBytes = (c.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = c.width;
    info.biHeight = c.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * c.height);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::vector<unsigned char> row(static_cast<std::size_t>(rowBytes));
    for (int y = c.height - 1; y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            const COLORREF p = c.at(x, y);
            row[static_cast<std::size_t>(x * 3)] = GetBValue(p);
            row[static_cast<std::size_t>(x * 3 + 1)] = GetGValue(p);
            row[static_cast<std::size_t>(x * 3 + 2)] = GetRValue(p);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
}

// Pixels of the window that a forced repaint of it and its buttons changes:
// none when the screen shows what a repaint draws.
int repaintChanges(HWND w) {
    pumpFor(200);
    const Capture before = captureWindow(w);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpFor(200);
    const Capture after = captureWindow(w);
    int changed = 0;
    for (std::size_t i = 0; i < before.pixels.size(); ++i) changed += before.pixels[i] != after.pixels[i];
    return changed;
}

struct Census {
    int colour = 0, black = 0, other = 0;
};

Census census(const Capture& c, COLORREF colour, int top, int bottom) {
    Census n;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < c.width; ++x) {
            const COLORREF p = c.at(x, y);
            if (p == colour)
                ++n.colour;
            else if (p == RGB(0, 0, 0))
                ++n.black;
            else
                ++n.other;
        }
    return n;
}

TEST(Display, TheRunningWindowShowsTheTimeAndTheButtons) {
    MorviSession session(iniWith({{"TxColor", "ffff00"},
                                  {"TxColorStop", "ff"},
                                  {"Quality", "3"},
                                  {"Height", "40"},
                                  {"Left", "60"},
                                  {"Right", "300"},
                                  {"Top", "60"},
                                  {"Bottom", "170"}}));
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    SetForegroundWindow(w);
    pumpFor(500);
    EXPECT_EQ(repaintChanges(w), 0);  // started at a saved size
    Capture idle = captureClient(w);
    ASSERT_GT(idle.height, 28);
    const int display = idle.height - 28;
    Census n = census(idle, RGB(255, 0, 0), 0, display);  // idle shows TxColorStop, 0x0000ff
    EXPECT_GT(n.colour, 50);
    EXPECT_GT(n.black, n.colour * 3);
    EXPECT_EQ(n.other, 0);

    sendCommand(w, ID_MENU_START);
    pumpFor(1500);
    const Capture running = captureClient(w);
    n = census(running, RGB(0, 255, 255), 0, display);  // TxColor ffff00 is 0x00BBGGRR: cyan
    EXPECT_GT(n.colour, 50);
    EXPECT_EQ(n.other, 0);
    // The button row: light button faces, not the black display.
    const Census buttons = census(running, RGB(0, 0, 0), display + 2, running.height - 2);
    EXPECT_LT(buttons.colour, buttons.other / 4);
    if (!bmpPath.empty()) writeBmp(captureWindow(w), bmpPath);

    sendCommand(w, ID_MENU_STOP);
    pumpFor(300);
    n = census(captureClient(w), RGB(255, 0, 0), 0, display);
    EXPECT_GT(n.colour, 50);
    EXPECT_EQ(n.other, 0);
    SetWindowPos(w, nullptr, 0, 0, 400, 140, SWP_NOMOVE | SWP_NOZORDER);  // wider, then maximised
    EXPECT_EQ(repaintChanges(w), 0);
    ShowWindow(w, SW_MAXIMIZE);
    EXPECT_EQ(repaintChanges(w), 0);
}

// How many characters of `text` the font has no glyph for (Wine would draw boxes).
int missingGlyphs(HFONT font, const wchar_t* text) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    const int n = lstrlenW(text);
    std::vector<WORD> glyphs(static_cast<std::size_t>(n));
    int missing = GetGlyphIndicesW(dc, text, n, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR ? n : 0;
    for (const WORD g : glyphs) missing += g == 0xFFFF ? 1 : 0;
    SelectObject(dc, old);
    DeleteDC(dc);
    return missing;
}

TEST(Display, TheMenuAndTheOptionsHaveJapaneseGlyphs) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    const HFONT menuFont = CreateFontIndirectW(&metrics.lfMenuFont);
    EXPECT_EQ(missingGlyphs(menuFont, L"ラップタイム"), 0);
    DeleteObject(menuFont);
    sendCommand(session.window(), ID_MENU_OPTIONS);
    ASSERT_NE(optionsDialog, nullptr);
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(optionsDialog, WM_GETFONT, 0, 0));
    EXPECT_EQ(missingGlyphs(dialogFont, L"ボタンを表示"), 0);
    SendMessageA(optionsDialog, WM_CLOSE, 0, 0);
}

// What the user reads, read back as UTF-16 through the W functions: the same
// on a Japanese, a Western and a Cyrillic Windows. Run in a Wine prefix of
// each; MORVI_EXPECT_ACP names the ANSI code page the prefix must have, so
// that a run on the wrong system cannot pass by accident.
std::wstring windowText(HWND w) {
    wchar_t text[256] = {};
    SendMessageW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring faceOf(HWND w) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf.lfFaceName;
}

LOGFONTW named(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfHeight = 24;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return lf;
}

// The face GDI really draws with for a description.
std::wstring realisedFace(const LOGFONTW& description) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, CreateFontIndirectW(&description));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    DeleteObject(SelectObject(dc, old));
    DeleteDC(dc);
    return face;
}

TEST(Texts, TheDialogsTheMenuTheHotkeysAndTheFontsReadTheSameOnEverySystem) {
    if (const char* acp = std::getenv("MORVI_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(acp)));
    }
    // Morvi.ini's own bytes, Shift-JIS on every system: 変換, 無変換, ↑, ←.
    const std::string ini = iniWith({{"Start", "121,\x95\xCF\x8A\xB7"},
                                     {"Stop", "123,\x96\xB3\x95\xCF\x8A\xB7"},
                                     {"Lap", "200,\x81\xAA"},
                                     {"Next", "203,\x81\xA9"},
                                     {"Left", "100"},
                                     {"Right", "340"},
                                     {"Top", "80"},
                                     {"Bottom", "190"}});
    auto session = std::make_unique<MorviSession>(ini);
    ASSERT_TRUE(session->started());
    sendCommand(session->window(), ID_MENU_OPTIONS);
    const HWND options = optionsDialog, lapTimes = lapTimeWindow.load();
    ASSERT_NE(options, nullptr);
    SetForegroundWindow(options);
    pumpFor(300);
    const auto control = [&](int id) { return windowText(GetDlgItem(options, id)); };
    const auto menu = [](int id) {
        wchar_t text[64] = {};
        GetMenuStringW(popupMenu, static_cast<UINT>(id), text, 64, MF_BYCOMMAND);
        return std::wstring(text);
    };
    const LOGFONTW display = displayLogFont(processSettings().displayFont);
    // Japanese on a Japanese Windows, English on any other.
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
    const auto says = [&](const wchar_t* ja, const wchar_t* en) { return japanese ? ja : en; };
    const std::pair<std::wstring, std::wstring> texts[] = {
        {windowText(options), says(L"オプション", L"Options")},
        {control(IDC_OPT_BUTTON), says(L"ボタンを表示", L"Show &buttons")},
        {control(IDC_OPT_NEXT_LABEL), says(L"ネクスト", L"Time")},
        {control(IDC_OPT_CANCEL), says(L"キャンセル", L"Cancel")},
        {control(IDC_OPT_START_KEY), L"変換"},
        {control(IDC_OPT_STOP_KEY), L"無変換"},
        {control(IDC_OPT_LAP_KEY), L"↑"},
        {control(IDC_OPT_NEXT_KEY), L"←"},
        {windowText(lapTimes), says(L"ラップタイム", L"Lap times")},
        {menu(ID_MENU_NEXT), says(L"表示切替", L"&Time")},
        {menu(ID_MENU_OPTIONS), says(L"オプション", L"O&ptions...")},
        {menu(ID_MENU_EXIT), says(L"終了", L"E&xit")},
        {display.lfFaceName, msGothicFace},
        {faceOf(commandButtons[0]->window), msGothicFace},
        {faceOf(options), says(msGothicFace, L"MS Shell Dlg")},
        {faceOf(lapTimes), says(L"ＭＳ Ｐゴシック", L"MS Shell Dlg")},
        // The time is drawn in the face its UTF-16 name gives, not a stand-in.
        {realisedFace(display), realisedFace(named(msGothicFace))},
    };
    for (std::size_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(texts[i].first, texts[i].second) << i;
    // No text is cut off: each fits its control, beside a check box's box.
    for (HWND c = GetWindow(options, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) continue;  // the boxes
        RECT box{}, need{};
        GetClientRect(c, &box);
        if ((GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX)
            box.right -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
        need.right = box.right;
        const HDC dc = GetDC(c);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
        DrawTextW(dc, windowText(c).c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK);
        ReleaseDC(c, dc);
        EXPECT_TRUE(need.right <= box.right && need.bottom <= box.bottom) << GetDlgCtrlID(c);
    }
    if (!bmpPath.empty()) writeBmp(captureWindow(options), bmpPath + ".options.bmp");

    // A key captured shows its name, a face chosen in the font dialog (the
    // first IPA face, by whatever name it shows here) is taken, and OK writes
    // both in Shift-JIS, every other line as it was.
    clickInto(GetDlgItem(options, IDC_OPT_RESET_KEY));
    pressKey(0xC8);  // the up arrow
    EXPECT_EQ(control(IDC_OPT_RESET_KEY), L"↑");
    wchar_t chosen[LF_FACESIZE] = {};
    ASSERT_TRUE(answerFontDialog([&](HWND fontDialog) {
        constexpr int faceBox = 0x470;  // cmb1
        const LRESULT at = SendDlgItemMessageW(fontDialog, faceBox, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(L"IPA"));
        SendDlgItemMessageW(fontDialog, faceBox, CB_GETLBTEXT, static_cast<WPARAM>(at),
                            reinterpret_cast<LPARAM>(chosen));
        SendDlgItemMessageW(fontDialog, faceBox, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        SendMessageW(fontDialog, WM_COMMAND, MAKEWPARAM(faceBox, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(fontDialog, faceBox)));
        PostMessageW(fontDialog, WM_COMMAND, IDOK, 0);
    }));
    ASSERT_NE(chosen[0], L'\0');
    SendMessageW(options, WM_COMMAND, MAKEWPARAM(IDC_OPT_OK, BN_CLICKED), 0);
    session->stop();
    const std::string saved = session->savedIni();
    for (const std::string line : {"Stop=123,\x96\xB3\x95\xCF\x8A\xB7", "Reset=200,\x81\xAA", "Left=100"})
        EXPECT_NE(saved.find("\n" + line + "\r\n"), std::string::npos) << line;
    // The face comes back after a restart.
    session = std::make_unique<MorviSession>(saved);
    EXPECT_EQ(std::wstring(wideLogFont(processSettings().displayFont).lfFaceName), chosen);

    // A face Shift-JIS cannot write is kept by its English name, or refused.
    EXPECT_EQ(englishFamilyName(named(L"IPAGothic")), L"IPAGothic");
    char kept[LF_FACESIZE] = "unchanged";
    EXPECT_FALSE(faceForSettings(named(L"Ünknown Sans"), kept));  // no such font either
    EXPECT_STREQ(kept, "unchanged");
}

// The width "00:00:00" takes in the display's default face at a pixel height.
int timeTextWidth(int height) {
    const HDC dc = GetDC(nullptr);
    const HFONT font = CreateFontW(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, msGothicFace);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, L"00:00:00", 8, &size);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

// How wide the time's ink is on the screen, above a button row of `row` pixels.
int timeInkWidth(HWND w, int row) {
    const Capture client = captureClient(w);
    int left = client.width, right = -1;
    for (int y = 0; y < client.height - row; ++y)
        for (int x = 0; x < client.width; ++x)
            if (client.at(x, y) != RGB(0, 0, 0)) left = std::min(left, x), right = std::max(right, x);
    return right - left + 1;
}

// At 144 DPI (a Wine prefix of its own): the window at 1.5 times the file's
// place and size, a 42-pixel button row, the time in the larger font, and
// Morvi.ini as it was after three starts and closes.
TEST(HighDpi, LaidOutInTheScreensPixelsWhileMorviIniKeeps96Dpi) {
    takeScreenDpi();
    if (processScreenUnits().dpi != 144) GTEST_SKIP() << "needs a desktop at 144 DPI";
    const std::string ini =
        iniWith({{"Left", "100"}, {"Right", "340"}, {"Top", "80"}, {"Bottom", "190"}, {"Quality", "3"}});
    std::string text = ini;
    for (int start = 0; start < 3; ++start) {
        MorviSession session(text);
        ASSERT_TRUE(session.started());
        const HWND w = session.window();
        if (start == 0) {
            SetForegroundWindow(w);
            pumpFor(300);
            RECT r{};
            GetWindowRect(w, &r);
            EXPECT_EQ(r.left, 150);
            EXPECT_EQ(r.top, 120);
            EXPECT_EQ(r.right, 510);
            EXPECT_EQ(r.bottom, 285);
            RECT button{};
            GetWindowRect(commandButtons[0]->window, &button);
            EXPECT_EQ(button.bottom - button.top, 42);
            EXPECT_GT(timeInkWidth(w, 42), (timeTextWidth(24) + timeTextWidth(36)) / 2);
            EXPECT_EQ(repaintChanges(w), 0);
            if (!bmpPath.empty()) {
                writeBmp(captureWindow(w), bmpPath);
                sendCommand(w, ID_MENU_OPTIONS);
                SetForegroundWindow(optionsDialog);
                pumpFor(300);
                writeBmp(captureWindow(optionsDialog), bmpPath + ".options.bmp");
                SendMessageA(optionsDialog, WM_CLOSE, 0, 0);
            }
        }
        session.stop();
        text = session.savedIni();
        EXPECT_EQ(text, ini) << start;
    }
}

// Dragged to a monitor at 150 % and back. Wine shows every monitor at one
// scale and never sends WM_DPICHANGED: it is sent here as Windows sends it,
// with the rectangle Windows suggests, to a window that has its options
// dialog open, which must keep working.
TEST(HighDpi, ANewScaleRemakesWhatMorviScalesAndMorviIniKeeps96Dpi) {
    takeScreenDpi();
    if (processScreenUnits().dpi != 96) GTEST_SKIP() << "needs a desktop at 96 DPI";
    const std::string ini =
        iniWith({{"Left", "100"}, {"Right", "340"}, {"Top", "80"}, {"Bottom", "190"}, {"Quality", "3"}});
    MorviSession session(ini);
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    SetForegroundWindow(w);
    sendCommand(w, ID_MENU_OPTIONS);
    SetWindowPos(optionsDialog, nullptr, 500, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);  // beside it, for the picture
    const struct {
        int dpi;
        RECT suggested;
        int row, caption, time;
    } steps[] = {{144, {100, 80, 460, 245}, 42, 18, 36}, {96, {100, 80, 340, 190}, 28, 12, 24}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.dpi);
        SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(step.dpi, step.dpi), reinterpret_cast<LPARAM>(&step.suggested));
        pumpFor(300);
        RECT r{}, button{};
        GetWindowRect(w, &r);
        EXPECT_EQ(std::memcmp(&r, &step.suggested, sizeof r), 0) << r.left << "," << r.top << "," << r.right;
        GetWindowRect(commandButtons[0]->window, &button);
        EXPECT_EQ(button.bottom - button.top, step.row);
        LOGFONTW caption{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(commandButtons[0]->window, WM_GETFONT, 0, 0)), sizeof caption,
                   &caption);
        EXPECT_EQ(caption.lfHeight, step.caption);
        EXPECT_EQ(processSettings().displayFont.lfHeight, step.time);
        const int middle = (timeTextWidth(24) + timeTextWidth(36)) / 2;
        EXPECT_EQ(timeInkWidth(w, step.row) > middle, step.dpi == 144);
        if (step.dpi == 144) {
            if (!bmpPath.empty()) writeBmp(captureWindow(w), bmpPath + ".dpi144.bmp");
            // A key captured and OK at the new scale: saved in 96-DPI pixels.
            SetForegroundWindow(optionsDialog);
            clickInto(GetDlgItem(optionsDialog, IDC_OPT_START_KEY));
            pressKey(0x3B);
            SendMessageW(optionsDialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_OK, BN_CLICKED), 0);
            EXPECT_EQ(optionsDialog, nullptr);
            EXPECT_EQ(session.savedIni(), iniWith({{"Left", "100"},
                                                   {"Right", "340"},
                                                   {"Top", "80"},
                                                   {"Bottom", "190"},
                                                   {"Quality", "3"},
                                                   {"Start", "59,F1"}}));
        }
    }
    const std::string confirmed = session.savedIni();
    session.stop();
    EXPECT_EQ(session.savedIni(), confirmed);
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing lost in a buffer should the program end abruptly.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    char display[256];
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0) {
        std::puts("no display: skipped");
        return 125;
    }
    if (argc > 1) bmpPath = argv[1];
    return RUN_ALL_TESTS();
}
