// The real Morvi.exe, started in scratch folders and driven from outside as a
// user would: hotkeys while another window is in front, commands, the options
// dialog; watched through its windows, its exit code and the Morvi.ini it writes.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/blackbox/morvi_process.h"
#include "tests/send_key.h"

namespace {

struct ReportLine {
    int cumulative;  // seconds
    int lap;
};

int seconds(int h, int m, int s) { return h * 3600 + m * 60 + s; }

// The data lines of an hh:mm:ss report; empty lines are returned as {-1, -1}.
std::vector<ReportLine> parseReport(const std::string& report, int* total) {
    std::vector<ReportLine> lines;
    std::istringstream in(report);
    std::string line;
    bool totalNext = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        int h1, m1, s1, h2, m2, s2;
        if (totalNext) {
            if (std::sscanf(line.c_str(), "%d:%d:%d", &h1, &m1, &s1) == 3) *total = seconds(h1, m1, s1);
            totalNext = false;
        } else if (line == "Total Time") {
            totalNext = true;
        } else if (line.empty()) {
            lines.push_back({-1, -1});
        } else if (std::sscanf(line.c_str(), "%d:%d:%d   (%d:%d:%d)", &h1, &m1, &s1, &h2, &m2, &s2) == 6) {
            lines.push_back({seconds(h1, m1, s1), seconds(h2, m2, s2)});
        }
    }
    return lines;
}

// A time shown in whole seconds for something the driver measured as `ms`,
// give or take the poll cycle (90 ms and the work around it).
void expectShownFor(int shownSeconds, DWORD ms, const char* what) {
    constexpr int slack = 250;
    const int low = (static_cast<int>(ms) - slack) / 1000;
    const int high = (static_cast<int>(ms) + slack) / 1000;
    EXPECT_GE(shownSeconds, low) << what << ": measured " << ms << " ms";
    EXPECT_LE(shownSeconds, high) << what << ": measured " << ms << " ms";
}

// F1 to F5 bound to Start, Stop, Reset, Lap and Next, and more lines as given.
std::string iniWithHotkeys(std::vector<std::pair<const char*, std::string>> more = {}) {
    more.insert(more.begin(),
                {{"Start", "59,F1"}, {"Stop", "60,F2"}, {"Reset", "61,F3"}, {"Lap", "62,F4"}, {"Next", "63,F5"}});
    return iniWith(more);
}

constexpr WORD F1 = 0x3B, F2 = 0x3C, F4 = 0x3E;

// Presses a hotkey while the driver's own window is in front; the tick of the key-down.
DWORD hotkey(WORD code) {
    SetForegroundWindow(driverWindow());
    const DWORD at = timeGetTime();
    pressKey(code, 150);
    return at;
}

void waitFor(DWORD until) {
    while (static_cast<int>(until - timeGetTime()) > 0) pumpDriver(5);
}

TEST(BlackBox, LapsAPauseAndStopsGiveTheReportOfTheRunWithoutThePause) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40107);  // the lap report, shown as a user watches it

    const DWORD t0 = hotkey(F1);
    waitFor(t0 + 1500);
    const DWORD t1 = hotkey(F4);
    waitFor(t1 + 2500);
    const DWORD t2 = hotkey(F4);
    waitFor(t2 + 1500);
    const DWORD t3 = hotkey(F2);
    ASSERT_TRUE(waitUntil([&] { return morvi.lapTimeText().find("Total Time") != std::string::npos; }));
    // A pause of three seconds, then a resume and a stop.
    waitFor(t3 + 3000);
    const DWORD t4 = hotkey(F1);
    waitFor(t4 + 1500);
    const DWORD t5 = hotkey(F2);
    std::string report;
    ASSERT_TRUE(waitUntil([&] {
        report = morvi.lapTimeText();
        int total = 0;
        return parseReport(report, &total).size() == 5 && total >= 5;
    }));

    int total = -1;
    const std::vector<ReportLine> lines = parseReport(report, &total);
    ASSERT_EQ(lines.size(), 5u) << report;
    // Two laps, the stop, the stop marker's empty line and the one before "Total Time".
    expectShownFor(lines[0].cumulative, t1 - t0, "first lap, cumulative");
    expectShownFor(lines[0].lap, t1 - t0, "first lap");
    expectShownFor(lines[1].cumulative, t2 - t0, "second lap, cumulative");
    expectShownFor(lines[1].lap, t2 - t1, "second lap");
    const DWORD running = (t3 - t0) + (t5 - t4);
    expectShownFor(lines[2].cumulative, running, "stop, cumulative");
    expectShownFor(lines[2].lap, (t3 - t2) + (t5 - t4), "stop");
    EXPECT_EQ(lines[3].cumulative, -1);
    EXPECT_EQ(lines[4].cumulative, -1);
    expectShownFor(total, running, "total");
    EXPECT_LT(total, static_cast<int>((t5 - t0) / 1000));  // the pause is not in it
    EXPECT_EQ(report.substr(report.size() - 3), "   ");
    EXPECT_EQ(morvi.close(), 0u);
}

TEST(BlackBox, TwentyQuickTapsGiveTwentyLapsInTheHiddenReport) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    hotkey(F1);
    SetForegroundWindow(driverWindow());
    tapKey(F4, 20, 30, pumpDriver);
    pumpDriver(200);
    hotkey(F2);
    // The report is whole in its window though the window was never shown.
    std::string report;
    EXPECT_TRUE(waitUntil([&] { return (report = morvi.lapTimeText()).find("Total Time") != std::string::npos; }));
    EXPECT_FALSE(IsWindowVisible(morvi.lapTimeWindow()));
    EXPECT_EQ(lapsInReport(report), 20) << report;
    EXPECT_EQ(morvi.close(), 0u);
}

// The report's lines once it has `count` of them (or after a timeout).
std::vector<ReportLine> reportOf(const MorviProcess& morvi, std::size_t count, std::string& report) {
    int total = 0;
    waitUntil([&] { return parseReport(report = morvi.lapTimeText(), &total).size() == count; });
    return parseReport(report, &total);
}

// Quick taps, 20 ms apart, as fast as a hand goes from key to key.
void tap(WORD code) {
    keyDown(code);
    pumpDriver(10);
    keyUp(code);
    pumpDriver(10);
}

TEST(BlackBox, HotkeysActInTheOrderPressedWithinOneCycle) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    hotkey(F1);
    for (int i = 0; i < 6; ++i) {
        // Lap then Stop keeps the lap; Stop then Start is a short pause.
        tap(F4);
        tap(F2);
        tap(F1);
        pumpDriver(100 + 37 * i);
    }
    hotkey(F2);
    // Six laps (each resume removed its stop), the last stop and two empty lines.
    std::string report;
    const std::vector<ReportLine> lines = reportOf(morvi, 9, report);
    ASSERT_EQ(lines.size(), 9u) << report;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(lines[i].lap == -1, i >= 7) << i << "\n" << report;
    EXPECT_EQ(morvi.close(), 0u);
}

TEST(BlackBox, LapsAreTimedToTheKeyPressNotToThePoll) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    SetForegroundWindow(driverWindow());
    const DWORD t0 = timeGetTime();
    tap(F1);
    std::vector<DWORD> sent{t0};
    // Laps at least 20 ms from a whole second, both as laps and in total.
    for (const DWORD offset : {1975u, 4030u, 5980u, 8025u}) {
        waitFor(t0 + offset);
        sent.push_back(timeGetTime());
        tap(F4);
    }
    hotkey(F2);
    std::string report;
    const std::vector<ReportLine> lines = reportOf(morvi, 7, report);
    ASSERT_EQ(lines.size(), 7u) << report;
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(lines[i - 1].cumulative, static_cast<int>((sent[i] - t0) / 1000)) << i << "\n" << report;
        EXPECT_EQ(lines[i - 1].lap, static_cast<int>((sent[i] - sent[i - 1]) / 1000)) << i << "\n" << report;
    }
    EXPECT_EQ(morvi.close(), 0u);
}

TEST(BlackBox, WithoutMorviIniTheDefaultsAreSavedWithTheWindowsRectangle) {
    ScratchDir dir;
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    RECT r{};
    GetWindowRect(morvi.window(), &r);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(morvi.close(), 0u);
    char rect[128];
    std::snprintf(rect, sizeof rect, "Left=%ld\r\nRight=%ld\r\nTop=%ld\r\nBottom=%ld\r\n", r.left, r.right, r.top,
                  r.bottom);
    const std::string expected = std::string(
                                     "Focus=1\r\nHeight=24\r\nWidth=0\r\nEscapement=0\r\nOrientation=0\r\nWeight=0\r\n"
                                     "Italic=0\r\nUnderline=0\r\nStrikeOut=0\r\nCharSet=0\r\nOutPrecision=0\r\n"
                                     "ClipPrecition=0\r\nQuality=0\r\nPitchAndFamily=0\r\n"
                                     "FaceName=\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"
                                     "Start=0,\r\nStop=0,\r\nReset=0,\r\nLap=0,\r\nNext=0,\r\n") +
                                 rect +
                                 "Button=1\r\nTitle=1\r\nTxColor=ffffff\r\nTopmost=0\r\nFunbyou=0\r\nLapTime=0\r\n"
                                 "BackGround=0\r\nStartColon=0\r\nWindowFix=0\r\nTxColorStop=0\r\n";
    EXPECT_EQ(readFileBytes(dir.file("Morvi.ini")), expected);
}

// Windows ends the process after these two messages, destroying no window.
TEST(BlackBox, TheEndOfAWindowsSessionSavesTheWindowsPlace) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"),
                   iniWith({{"Left", "300"}, {"Right", "500"}, {"Top", "300"}, {"Bottom", "400"}}));
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    SetWindowPos(morvi.window(), nullptr, 410, 220, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r{};
    ASSERT_TRUE(waitUntil([&] { return GetWindowRect(morvi.window(), &r) && r.left == 410; }));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(morvi.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    SendMessageTimeoutA(morvi.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
    TerminateProcess(morvi.process(), 0);
    WaitForSingleObject(morvi.process(), 5000);
    char rect[96];
    std::snprintf(rect, sizeof rect, "\r\nLeft=%ld\r\nRight=%ld\r\nTop=%ld\r\nBottom=%ld\r\n", r.left, r.right, r.top,
                  r.bottom);
    EXPECT_NE(readFileBytes(dir.file("Morvi.ini")).find(rect), std::string::npos) << rect;
}

TEST(BlackBox, AnEmptyMorviIniGivesAWindowWithoutCaption) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), "");
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    EXPECT_EQ(GetWindowLongA(morvi.window(), GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_EQ(morvi.close(), 0u);
    EXPECT_NE(readFileBytes(dir.file("Morvi.ini")).find("\r\nTitle=0\r\n"), std::string::npos);
}

TEST(BlackBox, AHandWrittenFileWithOddValues) {
    ScratchDir dir;
    const std::string longLine(300, 'g');
    writeFileBytes(dir.file("Morvi.ini"),
                   "Focus=1\nHeight=30\nWidth=5\nEscapement=0\nOrientation=0\nWeight=700\n"
                   "Italic=300\nUnderline=-1\nStrikeOut=0\nCharSet=0\nOutPrecision=0\n"
                   "ClipPrecition=0\nQuality=0\nPitchAndFamily=0\nFont=Courier New\n"
                   "Start=999,TooHigh\nStop=-5,Negative\nReset=61," +
                       std::string(40, 'r') +
                       "\nLap=62,F4\nNext=zz\n"
                       "Left=100\nRight=340\nTop=100\nBottom=210\nButton=2\nTitle=1\n"
                       "TxColor=FFFFFF\nTopmost=0\nFunbyou=0\nLapTime=-1\nBackGround=0\n" +
                       longLine + "\nWindowFix=0\nTxColorStop=ff\n");
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40107);
    morvi.command(40101);
    morvi.command(40104);
    morvi.command(40102);
    EXPECT_NE(morvi.lapTimeText().find("Total Time"), std::string::npos);
    EXPECT_EQ(morvi.close(), 0u);
    const std::string saved = readFileBytes(dir.file("Morvi.ini"));
    for (const char* line : {"Italic=44\r\n", "Underline=255\r\n", "FaceName=Courier New\r\n", "Start=999,TooHigh\r\n",
                             "Stop=-5,Negative\r\n", "Reset=61,rrrrrrrrrrrrrrr\r\n", "Next=0,\r\n", "Button=2\r\n",
                             "TxColor=ffffff\r\n", "LapTime=-1\r\n", "Width=5\r\n"}) {
        EXPECT_NE(saved.find(std::string("\r\n") + line), std::string::npos) << line << saved;
    }
    // The 300-character line took StartColon's place, which keeps its value;
    // the rows after it still find their own lines.
    EXPECT_NE(saved.find("\r\nStartColon=0\r\nWindowFix=0\r\nTxColorStop=ff\r\n"), std::string::npos) << saved;
}

TEST(BlackBox, BackGroundOneActsOnlyWhileMorviIsInFront) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys({{"BackGround", "1"}}));
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    hotkey(F1);
    morvi.command(40107);  // even the lap-time window in front does not count
    SetForegroundWindow(morvi.lapTimeWindow());
    pressKey(F1, 300);
    pumpDriver(300);
    EXPECT_EQ(morvi.lapTimeText().find("Total Time"), std::string::npos);
    SetForegroundWindow(morvi.window());
    pumpDriver(100);
    pressKey(F1, 300);
    pumpDriver(1200);
    SetForegroundWindow(morvi.window());
    pressKey(F2, 300);
    EXPECT_TRUE(waitUntil([&] { return morvi.lapTimeText().find("Total Time") != std::string::npos; }));
    EXPECT_EQ(morvi.close(), 0u);
}

TEST(BlackBox, OptionsDialogCapturesAKeyOkAppliesItCancelRestores) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWith({}));
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40106);
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = morvi.optionsDialog()) != nullptr; }));
    SetForegroundWindow(dialog);
    DWORD_PTR ignored;
    postClick(GetDlgItem(dialog, 40207));
    pumpDriver(100);
    pressKey(0x3F, 200);  // F5
    EXPECT_EQ(controlText(GetDlgItem(dialog, 40207)), "F5");
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(40212, BN_CLICKED), 0, SMTO_NORMAL, 5000, &ignored);
    ASSERT_TRUE(waitUntil([&] { return morvi.optionsDialog() == nullptr; }));
    EXPECT_NE(readFileBytes(dir.file("Morvi.ini")).find("\r\nStart=63,F5\r\n"), std::string::npos);
    // The new key starts the stopwatch.
    morvi.command(40107);
    hotkey(0x3F);
    pumpDriver(300);
    morvi.command(40102);
    EXPECT_NE(morvi.lapTimeText().find("Total Time"), std::string::npos);

    // A capture for Stop, then Cancel: the file's binding comes back.
    morvi.command(40106);
    ASSERT_TRUE(waitUntil([&] { return (dialog = morvi.optionsDialog()) != nullptr; }));
    SetForegroundWindow(dialog);
    postClick(GetDlgItem(dialog, 40208));
    pumpDriver(100);
    pressKey(0x40, 200);  // F6
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(40213, BN_CLICKED), 0, SMTO_NORMAL, 5000, &ignored);
    ASSERT_TRUE(waitUntil([&] { return morvi.optionsDialog() == nullptr; }));
    EXPECT_EQ(morvi.close(), 0u);
    const std::string saved = readFileBytes(dir.file("Morvi.ini"));
    // Stop comes back unbound, with no captured name left beside it.
    EXPECT_NE(saved.find("\r\nStart=63,F5\r\nStop=0,\r\n"), std::string::npos) << saved;
}

// Another program holding Morvi.ini, opened with `share` (a virus scanner,
// an indexer, a sync client), letting go after `ms`, or when it ends (0).
struct HeldFile {
    HANDLE file;
    DWORD ms;
    HANDLE letGo = nullptr;
    HeldFile(const std::string& path, DWORD share, DWORD holdMs)
        : file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)), ms(holdMs) {
        if (ms > 0) letGo = CreateThread(nullptr, 0, letGoLater, this, 0, nullptr);
    }
    static DWORD WINAPI letGoLater(LPVOID self) {
        Sleep(static_cast<HeldFile*>(self)->ms);
        return CloseHandle(static_cast<HeldFile*>(self)->file);
    }
    ~HeldFile() {
        if (!letGo) CloseHandle(file);
        WaitForSingleObject(letGo, INFINITE);
        CloseHandle(letGo);
    }
};

// A Unix program run by Wine, which starts those too, but gives no handle
// to wait for: the caller watches for its effect.
void runUnix(const char* program, const std::string& arguments) {
    std::string line = std::string(program) + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(windowsPath(program).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return;
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

bool exists(const std::string& windowsName) {
    return GetFileAttributesA(windowsName.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Another name for a folder, as Windows gives one: a drive letter (subst, a
// mapped drive) or a link under C:. Under Wine both are links in the prefix.
// Empty when it could not be made.
struct SecondName {
    std::string link, name;
    SecondName(const std::string& folder, const char* inPrefix, const char* windowsName) : name(windowsName) {
        using UnixName = char*(CDECL*)(LPCWSTR);
        const auto unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
        char prefix[MAX_PATH] = {};
        GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
        char* target = unixName ? unixName(std::filesystem::path(folder).wstring().c_str()) : nullptr;
        link = std::string(prefix) + "/" + inPrefix;
        if (target && *prefix) runUnix("/bin/ln", "-sfn \"" + std::string(target) + "\" \"" + link + "\"");
        if (target) HeapFree(GetProcessHeap(), 0, target);
        if (!waitUntil([&] { return exists(name); })) name.clear();
    }
    ~SecondName() {
        runUnix("/bin/rm", "-f \"" + link + "\"");
        if (!name.empty()) waitUntil([&] { return !exists(name); });
    }
};

// A second start on the same folder, under any of its names, brings the
// first to the front and ends at once, its file untouched; one in another
// folder runs beside it; one started while the first closes runs once the
// first has saved.
TEST(BlackBox, OneMorviPerMorviIni) {
    ScratchDir dir, other;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    // Named before any start: Wine, unlike Windows, tells a volume by the
    // drive letters it knows at the moment.
    const SecondName drive(dir.path().string(), "dosdevices/m:", "M:\\");
    const SecondName link(dir.path().string(), "drive_c/morvi-second-name", "C:\\morvi-second-name");
    MorviProcess first, beside, next;
    ASSERT_TRUE(first.start(dir.path().string()));
    for (const std::string& name : {dir.path().string(), drive.name, link.name}) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(name.empty());
        SetForegroundWindow(driverWindow());
        MorviProcess second;
        EXPECT_FALSE(second.startWithoutSettling(name, 5000));
        EXPECT_EQ(second.close(), 0u);
        EXPECT_EQ(GetForegroundWindow(), first.window());
    }
    {
        // A first that does not answer (every thread stopped): the second
        // says so, naming the folder, and ends at OK.
        using ProcessCall = LONG(NTAPI*)(HANDLE);
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const auto suspend =
            reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSuspendProcess")));
        const auto resume =
            reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtResumeProcess")));
        ASSERT_TRUE(suspend && resume);
        ASSERT_EQ(suspend(first.process()), 0);
        MorviProcess told;
        EXPECT_FALSE(told.startWithoutSettling(dir.path().string(), 0));
        ASSERT_TRUE(waitUntil([&] { return told.messageBox() != nullptr; }, 20000));
        const std::string text = controlText(GetDlgItem(told.messageBox(), 0xFFFF));
        EXPECT_NE(text.find("\x89\x9E\x93\x9A"), std::string::npos);  // 応答 (answer), in Shift-JIS
        EXPECT_NE(text.find(dir.path().string()), std::string::npos);
        PostMessageA(told.messageBox(), WM_COMMAND, IDOK, 0);
        EXPECT_EQ(told.close(), 0u);
        EXPECT_EQ(resume(first.process()), 0);
    }
    EXPECT_EQ(readFileBytes(dir.file("Morvi.ini")), iniWithHotkeys());
    ASSERT_TRUE(beside.start(other.path().string()));
    EXPECT_EQ(beside.close(), 0u);
    {
        // Its closing save waits for a scanner meanwhile.
        HeldFile held(dir.file("Morvi.ini"), FILE_SHARE_READ, 700);
        PostMessageA(first.window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(first.window()); }));
        EXPECT_TRUE(next.start(drive.name));
    }
    EXPECT_EQ(first.close(), 0u);
    EXPECT_EQ(next.close(), 0u);
}

// Shift+F10 and the menu key open the popup menu at the window.
TEST(BlackBox, TheKeyboardOpensTheMenu) {
    ScratchDir dir;
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    for (const WORD key : {WORD{0x44}, WORD{0xDD}}) {
        SetForegroundWindow(morvi.window());
        pumpDriver(100);
        if (key == 0x44) keyDown(0x2A);  // Shift+F10, then the menu key
        pressKey(key, 50);
        keyUp(0x2A);
        HWND menu = nullptr;
        RECT at{}, window{};
        EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(menu = FindWindowA("#32768", nullptr)) != FALSE; })) << key;
        EXPECT_TRUE(GetWindowRect(menu, &at) && GetWindowRect(morvi.window(), &window) &&
                    PtInRect(&window, POINT{at.left, at.top}))
            << key;
        pressKey(0x01, 50);  // Esc
    }
    EXPECT_EQ(morvi.close(), 0u);
}

TEST(BlackBox, AMorviIniHeldForAMomentIsWaitedForAndNeverWrittenOverUnread) {
    ScratchDir dir;
    const std::string path = dir.file("Morvi.ini");
    const std::string ini = iniWithHotkeys({{"Left", "300"}, {"Right", "500"}, {"Top", "300"}, {"Bottom", "400"}});
    writeFileBytes(path, ini);
    RECT r{};
    // Without sharing, so it cannot even be read: for 400 ms, and until the
    // window shows (its settings have been read by then).
    for (const DWORD holdMs : {400, 0}) {
        SCOPED_TRACE(holdMs);
        MorviProcess morvi;
        {
            HeldFile held(path, 0, holdMs);
            ASSERT_NE(held.file, INVALID_HANDLE_VALUE);
            ASSERT_TRUE(morvi.start(dir.path().string()));
            GetWindowRect(morvi.window(), &r);
        }
        // A short hold is waited out; held through the start, Morvi runs on
        // the defaults and its close leaves the file alone.
        EXPECT_EQ(r.left, holdMs > 0 ? 300 : 200);
        EXPECT_EQ(morvi.close(), 0u);
        EXPECT_EQ(readFileBytes(path), ini);
    }
    // Held with read sharing while OK saves, then while Morvi closes: both
    // wait, neither says it could not save, and both land.
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40106);
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = morvi.optionsDialog()) != nullptr; }));
    DWORD_PTR ignored;
    SendDlgItemMessageA(dialog, 40219, BM_SETCHECK, BST_CHECKED, 0);  // 分秒表示
    {
        HeldFile held(path, FILE_SHARE_READ, 400);
        SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(40212, BN_CLICKED), 0, SMTO_NORMAL, 5000, &ignored);
        EXPECT_TRUE(waitUntil([&] { return morvi.optionsDialog() == nullptr; }, 1000));
    }
    EXPECT_NE(readFileBytes(path).find("\r\nFunbyou=1\r\n"), std::string::npos);
    SetWindowPos(morvi.window(), nullptr, 410, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(waitUntil([&] { return GetWindowRect(morvi.window(), &r) && r.left == 410; }));
    {
        HeldFile held(path, FILE_SHARE_READ, 400);
        EXPECT_EQ(morvi.close(), 0u);
    }
    EXPECT_NE(readFileBytes(path).find("\r\nLeft=410\r\n"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary file
}

std::string plantedDir;

// winmm.dll and dinput.dll planted beside a copy of Morvi.exe, with Wine told to
// prefer a DLL in the program's folder as Windows does (WINEDLLOVERRIDES, set
// before this process started): neither is loaded.
TEST(Planted, DllsBesideTheProgramAreNeverLoaded) {
    char overrides[256] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    if (plantedDir.empty() || !std::strstr(overrides, "winmm,dinput=n,b"))
        GTEST_SKIP() << "needs --planted and WINEDLLOVERRIDES=winmm,dinput=n,b";
    ScratchDir dir;
    const std::string exe = dir.file("Morvi.exe");
    ASSERT_TRUE(CopyFileA(windowsPath(morviExePath).c_str(), exe.c_str(), FALSE));
    for (const char* name : {"winmm.dll", "dinput.dll"})
        ASSERT_TRUE(CopyFileA((windowsPath(plantedDir) + "\\" + name).c_str(), dir.file(name).c_str(), FALSE));
    // The stand-in does leave its mark where something loads it (under a name
    // of its own: this process prefers Wine's own winmm.dll).
    ScratchDir control;
    ASSERT_TRUE(CopyFileA(dir.file("winmm.dll").c_str(), control.file("planted.dll").c_str(), FALSE));
    FreeLibrary(LoadLibraryA(control.file("planted.dll").c_str()));
    ASSERT_TRUE(std::filesystem::exists(control.file("planted.dll.loaded")));

    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys());
    morviExePath = exe;
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    hotkey(F1);
    hotkey(F2);
    EXPECT_TRUE(waitUntil([&] { return morvi.lapTimeText().find("Total Time") != std::string::npos; }));
    EXPECT_EQ(morvi.close(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("winmm.dll.loaded")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("dinput.dll.loaded")));
}

// Fifty starts and closes in a row: each ends with 0 within two seconds and
// leaves a whole Morvi.ini behind.
TEST(Soak, StartAndCloseFiftyTimes) {
    ScratchDir dir;
    writeFileBytes(dir.file("Morvi.ini"), iniWithHotkeys({{"LapTime", "1200"}}));
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        MorviProcess morvi;
        ASSERT_TRUE(morvi.start(dir.path().string()));
        if (i % 10 == 0) morvi.command(40101);
        const DWORD closing = GetTickCount();
        EXPECT_EQ(morvi.close(2000), 0u);
        EXPECT_LE(GetTickCount() - closing, 2000u);
        const std::string saved = readFileBytes(dir.file("Morvi.ini"));
        ASSERT_NE(saved.find("\r\nLapTime=1200\r\nBackGround=0\r\nStartColon=0\r\nWindowFix=0\r\nTxColorStop=0\r\n"),
                  std::string::npos);
        EXPECT_NE(saved.find("\r\nStart=59,F1\r\n"), std::string::npos);
    }
}

TEST(Soak, TenThousandLapsStillAnswerAndCloseCleanly) {
    ScratchDir dir;
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40101);
    for (int i = 0; i < 10000; ++i) morvi.command(40104);
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(morvi.window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer), 0);
    morvi.command(40107);  // shown: the whole report is built into it
    const std::string report = morvi.lapTimeText();
    EXPECT_NE(report.find("Total Time"), std::string::npos);
    EXPECT_GE(std::count(report.begin(), report.end(), '\n'), 10000);
    EXPECT_EQ(morvi.close(10000), 0u);
}

TEST(Soak, PaintsAndPopupMenusLeakNoObjects) {
    ScratchDir dir;
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(dir.path().string()));
    morvi.command(40101);
    auto objects = [&] {
        return std::make_pair(GetGuiResources(morvi.process(), GR_GDIOBJECTS),
                              GetGuiResources(morvi.process(), GR_USEROBJECTS));
    };
    pumpDriver(500);
    const auto before = objects();
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(morvi.window(), nullptr, FALSE);
        DWORD_PTR ignored;
        SendMessageTimeoutA(morvi.window(), WM_PAINT, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }
    for (int i = 0; i < 200; ++i) {
        PostMessageA(morvi.window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 10));
        pumpDriver(20);
        PostMessageA(morvi.window(), WM_CANCELMODE, 0, 0);
        pumpDriver(10);
    }
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutA(morvi.window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer), 0);
    const auto after = objects();
    EXPECT_EQ(morvi.close(), 0u);
    if (before.first == 0 && before.second == 0) GTEST_SKIP() << "Wine reports no GDI or USER object counts";
    EXPECT_LE(after.first, before.first + 5);
    EXPECT_LE(after.second, before.second + 5);
}

std::string expectedVersion;

std::string versionValue(const std::string& exe, const char* name) {
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(exe.c_str(), 0, size, info.data())) return std::string();
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) return std::string();
    return value;
}

// The program as unpacked from the release zip, started in its own folder.
TEST(Release, TheUnpackedProgramRunsAndKeepsItsSettingsBesideIt) {
    const std::string exe = windowsPath(morviExePath);
    const std::string folder = exe.substr(0, exe.find_last_of('\\'));
    EXPECT_EQ(versionValue(exe, "ProductName"), "Morvi");
    EXPECT_EQ(versionValue(exe, "FileVersion"), expectedVersion);
    MorviProcess morvi;
    ASSERT_TRUE(morvi.start(folder));
    EXPECT_TRUE(IsWindowVisible(morvi.window()));
    EXPECT_EQ(morvi.close(), 0u);
    EXPECT_NE(readFileBytes(folder + "\\Morvi.ini").find("\r\nTxColor=ffffff\r\n"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--morvi=", 8) == 0)
            morviExePath = argv[i] + 8;
        else if (std::strncmp(argv[i], "--version=", 10) == 0)
            expectedVersion = argv[i] + 10;
        else if (std::strncmp(argv[i], "--planted=", 10) == 0)
            plantedDir = argv[i] + 10;
    if (morviExePath.empty()) {
        std::fprintf(stderr, "usage: blackbox_tests --morvi=PATH\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
