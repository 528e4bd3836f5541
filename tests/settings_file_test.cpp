#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "settings/file_access.h"
#include "settings/screen_units.h"
#include "settings/settings.h"
#include "settings/settings_save.h"
#include "tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

const char msGothic[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

void setName(KeyBinding& b, int code, const char* name) {
    b.code = code;
    std::memset(b.name, 0, sizeof b.name);
    std::memcpy(b.name, name, std::min(std::strlen(name), sizeof b.name - 1));
}

// Every member the file carries set to a value of its own.
Settings distinctive() {
    Settings s{};
    s.Focus = 3;
    LOGFONTA& f = s.displayFont;
    f.lfHeight = -19;
    f.lfWidth = 7;
    f.lfEscapement = 900;
    f.lfOrientation = -900;
    f.lfWeight = 700;
    f.lfItalic = 1;
    f.lfUnderline = 2;
    f.lfStrikeOut = 3;
    f.lfCharSet = 128;
    f.lfOutPrecision = 4;
    f.lfClipPrecision = 5;
    f.lfQuality = 6;
    f.lfPitchAndFamily = 255;
    std::strcpy(f.lfFaceName, "Courier=New");
    setName(s.keyBindings[0], 0x3B, "F1");
    setName(s.keyBindings[1], 0x36, "Shift (Right)");
    setName(s.keyBindings[2], 0, "");
    setName(s.keyBindings[3], 0xDC, "Windows (Right)");
    setName(s.keyBindings[4], -2147483647 - 1, "\x81\xAA");
    s.windowRect = RECT{-10, 20, 330, 144};
    s.Button = 0;
    s.Title = -7;
    s.fontDialogRecord.rgbColors = 0x00ABCDEF;
    s.Topmost = 1;
    s.Funbyou = 2;
    s.LapTime = 0xFFFFFFFFu;
    s.BackGround = 1;
    s.StartColon = 1;
    s.WindowFix = 2;
    s.TxColorStop = 0x0000FF00;
    return s;
}

const char goldenText[] =
    "Focus=3\r\nHeight=-19\r\nWidth=7\r\nEscapement=900\r\nOrientation=-900\r\nWeight=700\r\n"
    "Italic=1\r\nUnderline=2\r\nStrikeOut=3\r\nCharSet=128\r\nOutPrecision=4\r\nClipPrecition=5\r\n"
    "Quality=6\r\nPitchAndFamily=255\r\nFaceName=Courier=New\r\n"
    "Start=59,F1\r\nStop=54,Shift (Right)\r\nReset=0,\r\nLap=220,Windows (Right)\r\n"
    "Next=-2147483648,\x81\xAA\r\n"
    "Left=-10\r\nRight=330\r\nTop=20\r\nBottom=144\r\nButton=0\r\nTitle=-7\r\nTxColor=abcdef\r\n"
    "Topmost=1\r\nFunbyou=2\r\nLapTime=-1\r\nBackGround=1\r\nStartColon=1\r\nWindowFix=2\r\n"
    "TxColorStop=ff00\r\n";

Settings loaded(const std::string& text, Settings s = {}) {
    parseSettingsText(s, text.data(), text.size());
    return s;
}

// A full, ordinary file, with one line replaced by the caller.
std::string fileWith(int line, const std::string& replacement, const std::string& text = goldenText) {
    std::string out;
    std::size_t pos = 0;
    for (int n = 1; pos < text.size(); ++n) {
        const std::size_t end = text.find("\r\n", pos);
        out += (n == line ? replacement : text.substr(pos, end - pos)) + "\r\n";
        pos = end + 2;
    }
    return out;
}

TEST(SettingsFile, GoldenBytesAndRoundTrip) {
    const Settings s = distinctive();
    EXPECT_EQ(formatSettingsFile(s), goldenText);

    ScratchDir dir;
    const std::string path = dir.file("Morvi.ini");
    saveSettingsTo(s, path.c_str());
    EXPECT_EQ(readFileBytes(path), goldenText);
    EXPECT_FALSE(std::filesystem::exists(path + savingFileSuffix));

    Settings back{};
    loadSettingsFrom(back, path.c_str());
    // What the file carries comes back, but for the cut of the face name at
    // "="; key names with a blank come back whole from the key name table.
    Settings expected = s;
    std::memset(expected.displayFont.lfFaceName, 0, sizeof expected.displayFont.lfFaceName);
    std::strcpy(expected.displayFont.lfFaceName, "Courier");
    EXPECT_EQ(std::memcmp(&back.displayFont, &expected.displayFont, sizeof(LOGFONTA)), 0);
    for (int i = 0; i < BindingCount; ++i) {
        EXPECT_EQ(back.keyBindings[i].code, expected.keyBindings[i].code) << i;
        EXPECT_STREQ(back.keyBindings[i].name, expected.keyBindings[i].name) << i;
    }
    EXPECT_EQ(formatSettingsFile(back), formatSettingsFile(expected));
}

TEST(SettingsFile, NoFileAndEmptyFileDefaults) {
    ScratchDir dir;
    Settings s{};
    loadSettingsFrom(s, dir.file("missing.ini").c_str());
    EXPECT_EQ(s.Focus, 1);
    EXPECT_EQ(s.Button, 1);
    EXPECT_EQ(s.Title, 1);
    EXPECT_EQ(s.displayFont.lfHeight, 24);
    EXPECT_EQ(std::memcmp(s.displayFont.lfFaceName, msGothic, sizeof msGothic), 0);  // with the zero fill
    EXPECT_EQ(formatSettingsFile(s),
              std::string("Focus=1\r\nHeight=24\r\nWidth=0\r\nEscapement=0\r\nOrientation=0\r\nWeight=0\r\n"
                          "Italic=0\r\nUnderline=0\r\nStrikeOut=0\r\nCharSet=0\r\nOutPrecision=0\r\n"
                          "ClipPrecition=0\r\nQuality=0\r\nPitchAndFamily=0\r\nFaceName=") +
                  msGothic +
                  "\r\nStart=0,\r\nStop=0,\r\nReset=0,\r\nLap=0,\r\nNext=0,\r\nLeft=0\r\nRight=0\r\nTop=0\r\n"
                  "Bottom=0\r\nButton=1\r\nTitle=1\r\nTxColor=ffffff\r\nTopmost=0\r\nFunbyou=0\r\nLapTime=0\r\n"
                  "BackGround=0\r\nStartColon=0\r\nWindowFix=0\r\nTxColorStop=0\r\n");

    const std::string empty = dir.file("empty.ini");
    writeFileBytes(empty, "");
    Settings e{};
    loadSettingsFrom(e, empty.c_str());
    EXPECT_EQ(e.Title, 0);  // left alone: the window starts without a caption
    EXPECT_EQ(e.Focus, 1);
    EXPECT_EQ(e.Button, 1);
    EXPECT_EQ(e.displayFont.lfHeight, 24);
    EXPECT_STREQ(e.displayFont.lfFaceName, msGothic);
    EXPECT_EQ(e.fontDialogRecord.rgbColors, 0xFFFFFFu);
    Settings other = distinctive();
    loadSettingsFrom(other, empty.c_str());
    EXPECT_EQ(other.Title, -7);
    EXPECT_EQ(other.TxColorStop, 0x0000FF00u);  // nothing else changes
}

TEST(SettingsFile, LfAndCrLfReadAlike) {
    std::string lf = goldenText;
    for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
    EXPECT_EQ(formatSettingsFile(loaded(lf)), formatSettingsFile(loaded(goldenText)));
    EXPECT_EQ(loaded(lf).TxColorStop, 0xFF00u);
}

TEST(SettingsFile, ShortFileLeavesTheMissingRowsAlone) {
    std::string text = goldenText;
    std::size_t pos = 0;
    for (int i = 0; i < 20; ++i) pos = text.find("\r\n", pos) + 2;
    Settings base{};
    base.windowRect = RECT{1, 2, 3, 4};
    base.Button = 9;
    base.LapTime = 1234;
    const Settings s = loaded(text.substr(0, pos), base);
    EXPECT_EQ(s.Focus, 3);
    EXPECT_EQ(s.keyBindings[4].code, -2147483647 - 1);
    EXPECT_EQ(s.windowRect.right, 3);
    EXPECT_EQ(s.Button, 9);
    EXPECT_EQ(s.LapTime, 1234u);
    EXPECT_EQ(s.fontDialogRecord.rgbColors, 0u);
}

// Lines taken out, added or made over-long by hand move no setting onto
// another row: a row whose line does not carry its key takes the one that
// does, wherever it stands.
TEST(SettingsFile, LinesOutOfPlaceAreReadByTheirKeys) {
    std::string withoutWidth = goldenText;
    withoutWidth.erase(withoutWidth.find("Width=7\r\n"), 9);
    const std::string longLine = "Focus=7" + std::string(293, 'x');  // 300 characters: two pieces
    const struct {
        std::string text;
        std::int32_t focus, width;
        const char* face;
    } cases[] = {
        {withoutWidth, 3, 0, "Courier"},
        {"Added=by hand\r\n" + std::string(goldenText), 3, 7, "Courier"},
        {fileWith(1, longLine), 7, 7, "Courier"},
        {fileWith(1, "Focus=8" + std::string(248, ' ')), 8, 7, "Courier"},  // 255 and a line end
        {fileWith(1, "Button=0"), 5, 7, "Courier"},                         // Focus is nowhere: kept
        {fileWith(15, "Start=1,F1"), 3, 7, "Kept"},                         // but not another row's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        Settings base{};
        base.Focus = 5;
        std::strcpy(base.displayFont.lfFaceName, "Kept");
        const Settings s = loaded(c.text, base);
        EXPECT_EQ(s.Focus, c.focus);
        EXPECT_EQ(s.displayFont.lfWidth, c.width);
        EXPECT_STREQ(s.displayFont.lfFaceName, c.face);
        EXPECT_EQ(s.keyBindings[0].code, 0x3B);
        EXPECT_EQ(s.Button, 0);
        EXPECT_EQ(s.TxColorStop, 0xFF00u);
    }
}

TEST(SettingsFile, NumericRows) {
    EXPECT_EQ(loaded(fileWith(1, "Focus= \t4")).Focus, 4);
    EXPECT_EQ(loaded(fileWith(1, "Focus=5abc")).Focus, 5);  // what follows the number is ignored
    EXPECT_EQ(loaded(fileWith(1, "Focus=+6")).Focus, 6);
    for (const char* bad : {" Focus=4", "focus=4", "Focus 4", "Focus=", "Focus=x1", "Height=4"}) {
        Settings base{};
        base.Focus = 42;
        EXPECT_EQ(loaded(fileWith(1, bad), base).Focus, 42) << bad;
    }
    // The rectangle's order in the file is Left, Right, Top, Bottom.
    const Settings r = loaded(fileWith(22, "Right=500"));
    EXPECT_EQ(r.windowRect.right, 500);
    EXPECT_EQ(r.windowRect.top, 20);
    EXPECT_EQ(loaded(fileWith(27, "TxColor=FFaa00")).fontDialogRecord.rgbColors, 0xFFAA00u);
    EXPECT_EQ(loaded(fileWith(27, "TxColor=0x12")).fontDialogRecord.rgbColors, 0x12u);
    EXPECT_EQ(loaded(fileWith(34, "TxColorStop=zz")).TxColorStop, 0u);
}

TEST(SettingsFile, EightBitRowsKeepTheLowByte) {
    const Settings s = loaded(fileWith(7, "Italic=256"));
    EXPECT_EQ(s.displayFont.lfItalic, 0);
    EXPECT_EQ(loaded(fileWith(8, "Underline=-1")).displayFont.lfUnderline, 255);
    EXPECT_EQ(loaded(fileWith(10, "CharSet=300")).displayFont.lfCharSet, 44);
    EXPECT_EQ(loaded(fileWith(12, "ClipPrecision=9")).displayFont.lfClipPrecision, 0);  // the file's spelling only
    Settings written{};
    written.displayFont.lfPitchAndFamily = 200;
    EXPECT_NE(formatSettingsFile(written).find("PitchAndFamily=200\r\n"), std::string::npos);
}

TEST(SettingsFile, LapTimeIsA32BitPattern) {
    EXPECT_EQ(loaded(fileWith(30, "LapTime=-1")).LapTime, 0xFFFFFFFFu);
    EXPECT_EQ(loaded(fileWith(30, "LapTime=4294967295")).LapTime, 0xFFFFFFFFu);
    EXPECT_EQ(loaded(fileWith(30, "LapTime=-100")).LapTime, static_cast<std::uint32_t>(-100));
    Settings s{};
    s.LapTime = 3000000000u;
    EXPECT_NE(formatSettingsFile(s).find("LapTime=-1294967296\r\n"), std::string::npos);
}

TEST(SettingsFile, FaceNameRow) {
    EXPECT_STREQ(loaded(fileWith(15, "Font=Arial")).displayFont.lfFaceName, "Arial");  // key not compared
    EXPECT_STREQ(loaded(fileWith(15, "FaceName= MS  Gothic ")).displayFont.lfFaceName, " MS  Gothic ");
    EXPECT_STREQ(loaded(fileWith(15, "==Name=Arial=x")).displayFont.lfFaceName, "Arial");
    Settings kept{};
    std::strcpy(kept.displayFont.lfFaceName, "Kept");
    for (const char* keeps : {"FaceName=", "FaceName", "FaceName==Arial", "==Arial"}) {
        EXPECT_STREQ(loaded(fileWith(15, keeps), kept).displayFont.lfFaceName, "Kept") << keeps;
    }
    const Settings longName = loaded(fileWith(15, "FaceName=" + std::string(40, 'F')));
    EXPECT_EQ(std::string(longName.displayFont.lfFaceName), std::string(31, 'F'));
    // A shorter name after a longer one leaves no old bytes behind.
    Settings s{};
    std::memset(s.displayFont.lfFaceName, 'Q', 31);
    s = loaded(fileWith(15, "FaceName=Ab"), s);
    EXPECT_EQ(std::memcmp(s.displayFont.lfFaceName, "Ab\0\0\0\0", 6), 0);
    EXPECT_EQ(s.displayFont.lfFaceName[31], 0);
}

TEST(SettingsFile, BindingRows) {
    Settings named{};
    setName(named.keyBindings[0], 0x3B, "F1");
    // Unbound as the program writes it: no name is left beside code 0.
    const Settings unbound = loaded(fileWith(16, "Start=0,"), named);
    EXPECT_EQ(unbound.keyBindings[0].code, 0);
    EXPECT_STREQ(unbound.keyBindings[0].name, "");
    EXPECT_STREQ(loaded(fileWith(16, "Start=59"), named).keyBindings[0].name, "F1");
    // The first word of the key's own name brings the whole name back.
    EXPECT_STREQ(loaded(fileWith(16, "Start=42,Shift")).keyBindings[0].name, "Shift (Left)");
    EXPECT_STREQ(loaded(fileWith(16, "Start=201,Page")).keyBindings[0].name, "Page Up");
    EXPECT_STREQ(loaded(fileWith(16, "Start=42,Shif")).keyBindings[0].name, "Shif");
    const Settings gap = loaded(fileWith(16, "Start=60 ,F2"), named);
    EXPECT_EQ(gap.keyBindings[0].code, 60);
    EXPECT_STREQ(gap.keyBindings[0].name, "F1");  // the comma must follow the digits
    EXPECT_STREQ(loaded(fileWith(16, "Start=61,  \tF3 rest")).keyBindings[0].name, "F3");
    EXPECT_STREQ(loaded(fileWith(17, "Stop=54,Page Up")).keyBindings[1].name, "Page");
    // Wrong key or no code: neither field changes.
    for (const char* bad : {"Stop=1,X", "Start=,X", "Start:1,X"}) {
        const Settings s = loaded(fileWith(16, bad), named);
        EXPECT_EQ(s.keyBindings[0].code, 0x3B) << bad;
        EXPECT_STREQ(s.keyBindings[0].name, "F1") << bad;
    }
    // A hand-written word longer than the field is cut to 15 characters.
    const Settings longWord = loaded(fileWith(19, "Lap=30," + std::string(40, 'w')));
    EXPECT_EQ(std::string(longWord.keyBindings[3].name), std::string(15, 'w'));
    // Codes outside 0..255 are kept and written back unchanged.
    const Settings odd = loaded(fileWith(16, "Start=999,X", fileWith(17, "Stop=-5,Y")));
    EXPECT_EQ(odd.keyBindings[0].code, 999);
    EXPECT_EQ(odd.keyBindings[1].code, -5);
    const std::string written = formatSettingsFile(odd);
    EXPECT_NE(written.find("Start=999,X\r\n"), std::string::npos);
    EXPECT_NE(written.find("Stop=-5,Y\r\n"), std::string::npos);
}

TEST(SettingsFile, CancelReloadKeepsTheWindowWhereItIsAndRestoresWithoutAFile) {
    ScratchDir dir;
    const std::string path = dir.file("Morvi.ini");
    // An OK whose save failed: the record holds what the user confirmed.
    Settings confirmed = distinctive();
    EXPECT_FALSE(saveSettingsTo(confirmed, dir.file("no-such-folder/Morvi.ini").c_str()));
    Settings s = confirmed;
    setName(s.keyBindings[0], 0, "");  // then a capture, a font and a colour, cancelled
    s.displayFont.lfHeight = 99;
    s.fontDialogRecord.rgbColors = 1;
    s.windowRect = RECT{5, 6, 7, 8};  // and a move
    ScreenUnits units;
    reloadSettingsForCancel(s, path.c_str(), confirmed, units);
    confirmed.windowRect = RECT{5, 6, 7, 8};
    EXPECT_EQ(formatSettingsFile(s), formatSettingsFile(confirmed));
    // The window at another scale since the dialog opened: the font comes back at it.
    units.dpi = 144;
    reloadSettingsForCancel(s, path.c_str(), confirmed, units);
    EXPECT_EQ(s.displayFont.lfHeight, toScreenPixels(-19, 144));
    units.dpi = 96;
    writeFileBytes(path, goldenText);
    reloadSettingsForCancel(s, path.c_str(), Settings{}, units);
    EXPECT_EQ(s.windowRect.left, 5);
    EXPECT_EQ(s.windowRect.bottom, 8);
    EXPECT_EQ(s.keyBindings[0].code, 0x3B);
}

// UTF-8 text as UTF-16 with its mark, as Notepad's "Unicode" and Windows
// PowerShell 5.1 save it.
std::string utf16(const std::string& utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    const auto put = [&](unsigned unit) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned value = n == 1 ? lead : lead & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) value = (value << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (value >= 0x10000) put(0xD800 + ((value - 0x10000) >> 10)), value = 0xDC00 + (value & 0x3FF);
        put(value);
        i += n;
    }
    return out;
}

// Files as people save them: Shift-JIS as Morvi writes it, UTF-8 from a
// modern Notepad with or without its mark, UTF-16 in either byte order,
// junk. Read for what they say and written back in Shift-JIS; a character
// Shift-JIS has no form for loses only itself; junk is no Morvi.ini at all.
TEST(SettingsFile, FilesAsPeopleSaveThemAreReadForWhatTheySay) {
    const std::string utf8 = fileWith(15, "FaceName=\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF",
                                      fileWith(19, "Lap=200,\u2191", fileWith(20, "Next=0,")));
    std::string junk;
    for (int i = 0; i < 600; ++i) junk.push_back(static_cast<char>((i * 131 + 7) % 256));
    const struct {
        std::string text;
        SettingsLoad result;
        const char *face, *lap;
        std::int32_t lapCode;
    } cases[] = {
        {utf8, SettingsLoad::Loaded, msGothic, "\x81\xAA", 200},
        {"\xEF\xBB\xBF" + utf8, SettingsLoad::Loaded, msGothic, "\x81\xAA", 200},
        {"\xEF\xBB\xBF" + std::string(goldenText), SettingsLoad::Loaded, "Courier", "Windows (Right)", 220},
        {fileWith(15, "FaceName=\u00DCnknown", utf8), SettingsLoad::Loaded, "Kept", "\x81\xAA", 200},
        {fileWith(19, "Lap=200,caf\u00E9", utf8), SettingsLoad::Loaded, msGothic, "", 200},
        {utf16(utf8, false), SettingsLoad::Loaded, msGothic, "\x81\xAA", 200},
        {utf16(fileWith(19, "Lap=201,\U0001F600", utf8), true), SettingsLoad::Loaded, msGothic, "", 201},
        {junk, SettingsLoad::Unreadable, msGothic, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ScratchDir dir;
        writeFileBytes(dir.file("Morvi.ini"), c.text);
        Settings s{};
        std::strcpy(s.displayFont.lfFaceName, "Kept");
        EXPECT_EQ(loadSettingsFrom(s, dir.file("Morvi.ini").c_str()), c.result);
        EXPECT_STREQ(s.displayFont.lfFaceName, c.face);
        EXPECT_STREQ(s.keyBindings[3].name, c.lap);
        EXPECT_EQ(s.keyBindings[3].code, c.lapCode);
        EXPECT_EQ(s.Focus, c.result == SettingsLoad::Loaded ? 3 : 1);
    }
}

TEST(SettingsFile, GarbageNeverBreaksTheLoader) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<char>((i * 131 + 7) % 256));
    Settings s = distinctive();
    parseSettingsText(s, bytes.data(), bytes.size());
    EXPECT_EQ(s.displayFont.lfFaceName[31], '\0');
    for (const KeyBinding& b : s.keyBindings) EXPECT_EQ(b.name[15], '\0');
    const std::string nul("Focus=1\0garbage\nHeight=3\n", 25);
    EXPECT_EQ(loaded(nul).displayFont.lfHeight, 3);
}

TEST(SettingsFile, ProcessWideRecordUsesMorviIniInTheCurrentFolder) {
    ScratchDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    processSettings() = distinctive();
    saveSettings();
    processSettings() = Settings{};
    loadSettings();
    std::filesystem::current_path(previous);
    EXPECT_EQ(readFileBytes(dir.file("Morvi.ini")), goldenText);
    EXPECT_EQ(processSettings().LapTime, 0xFFFFFFFFu);
    processSettings() = Settings{};
}

TEST(SettingsFile, SaveReplacesAnExistingFileOnlyThroughAFileOfItsOwn) {
    ScratchDir dir;
    const std::string path = dir.file("Morvi.ini");
    writeFileBytes(path, "old contents that are longer than nothing\r\n");
    Settings s{};
    applyNoFileDefaults(s);
    EXPECT_TRUE(saveSettingsTo(s, path.c_str()));
    EXPECT_EQ(readFileBytes(path), formatSettingsFile(s));
    // A temporary file that cannot be made (a folder stands in its place):
    // the save fails rather than write the file in place.
    const std::string before = readFileBytes(path);
    std::filesystem::create_directory(path + savingFileSuffix);
    s.Focus = 0;
    EXPECT_FALSE(saveSettingsTo(s, path.c_str()));
    EXPECT_EQ(readFileBytes(path), before);
    // Nothing can be written at all: a failure, and no crash.
    const std::string nowhere = dir.file("no-such-folder/Morvi.ini");
    EXPECT_FALSE(saveSettingsTo(s, nowhere.c_str()));
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// The file system with faults, counting every call from 0: the calls of
// the kinds in `held`, from the `from`-th on, answer `answer` (`count` of
// them; -1: all), a failed write leaving half its text as a full disk
// would; the others are the system's. At call `crashAt` the process ends,
// before the call or after it: from then on nothing reaches the disk.
// Sleeps are counted, not slept.
struct FaultyFiles {
    enum Call { Read = 1, Locate = 2, Write = 4, Move = 8, Remove = 16, Every = 31 };
    int held = 0, from = 0, count = 0;
    FileStatus answer = FileStatus::Busy;
    int crashAt = -1;
    bool crashAfter = false, crashed = false;
    int calls = 0, faultyAnswers = 0;
    unsigned slept = 0;
    FileAccess saved = processFileAccess();

    FaultyFiles() {
        FileAccess files = systemFileAccess();
        files.read = [](void* c, const char* path, std::string& out) {
            return call(c, Read, [&] { return systemFileAccess().read(nullptr, path, out); });
        };
        files.locate = [](void* c, const char* path, std::string& file, std::uint32_t& attributes) {
            return call(c, Locate, [&] { return systemFileAccess().locate(nullptr, path, file, attributes); });
        };
        files.write = [](void* c, const char* path, const std::string& text, std::uint32_t attributes) {
            return call(
                c, Write, [&] { return systemFileAccess().write(nullptr, path, text, attributes); },
                [&] { systemFileAccess().write(nullptr, path, text.substr(0, text.size() / 2), attributes); });
        };
        files.move = [](void* c, const char* source, const char* to, bool replace) {
            return call(c, Move, [&] { return systemFileAccess().move(nullptr, source, to, replace); });
        };
        files.remove = [](void* c, const char* path) {
            return call(c, Remove, [&] { return systemFileAccess().remove(nullptr, path); });
        };
        files.sleep = [](void* c, unsigned ms) { static_cast<FaultyFiles*>(c)->slept += ms; };
        files.context = this;
        processFileAccess() = files;
    }
    FaultyFiles(int kinds, int busy) : FaultyFiles() { held = kinds, count = busy; }
    ~FaultyFiles() { processFileAccess() = saved; }

    template <typename Real, typename Cut = void (*)()>
    static FileStatus call(
        void* context, Call kind, Real real, Cut cut = [] {}) {
        FaultyFiles& f = *static_cast<FaultyFiles*>(context);
        const int index = f.calls++;
        if (index == f.crashAt && !f.crashAfter) f.crashed = true;
        if (f.crashed) return FileStatus::Failed;
        FileStatus status;
        if ((kind & f.held) != 0 && index >= f.from && f.count != 0) {
            if (f.count > 0) --f.count;
            ++f.faultyAnswers;
            if (f.answer == FileStatus::Failed) cut();
            status = f.answer;
        } else {
            status = real();
        }
        if (index == f.crashAt) f.crashed = true;
        return status;
    }
};

// Every name in a folder.
std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Two saves in a row, each call of both failed (each answer the file system
// gives, once and from then on) or the process ended just before or just
// after it, then a fresh start. Morvi.ini is always the new settings or the
// previous ones, byte for byte, and a save that says it failed changed
// nothing; the start reads Morvi.ini alone; the person's files beside it,
// whatever their names, stay as they are, and so does what the person made
// of Morvi.ini; the next good save leaves nothing of Morvi's own.
TEST(SettingsFile, EveryFaultOrCrashOfTwoSavesLeavesTheNewFileOrThePrevious) {
    const std::string none = "(no file)";
    Settings first{}, second{};
    applyNoFileDefaults(first);
    second = first;
    second.LapTime = 2000;
    const std::string theirs[][2] = {{"Morvi.ini.20240101.bak", "a copy of mine\r\n"},
                                     {"Morvi.ini.4242.tmp", goldenText}};
    const struct {
        FileStatus answer;
        int count;
        bool crash, after;
    } faults[] = {
        {FileStatus::Missing, 1, false, false}, {FileStatus::Busy, 1, false, false},
        {FileStatus::Failed, 1, false, false},  {FileStatus::Missing, -1, false, false},
        {FileStatus::Busy, -1, false, false},   {FileStatus::Failed, -1, false, false},
        {FileStatus::Failed, 0, true, false},   {FileStatus::Failed, 0, true, true},
    };
    enum Start { Plain, NoFile, HiddenInALongFolder, LinkToAnotherFolder };
    std::vector<Start> starts = {Plain, NoFile, HiddenInALongFolder};
#ifndef _WIN32
    starts.push_back(LinkToAnotherFolder);  // Wine's CreateSymbolicLinkW makes nothing, yet answers success
#endif
    const int callsOfTwoSaves = 6;  // where and whether, then write and rename, twice
    for (const Start start : starts)
        for (int at = -1; at < callsOfTwoSaves; ++at)
            for (const auto& fault : faults) {
                if (at < 0 && &fault != faults) continue;
                SCOPED_TRACE(::testing::Message() << start << " call " << at << " fault " << (&fault - faults));
                ScratchDir dir, linkDir;
                // As long as Windows lets a folder be made (248): Morvi's own
                // name beside Morvi.ini is longer than MAX_PATH.
                std::filesystem::path folder = dir.path();
                if (start == HiddenInALongFolder) {
                    while (folder.string().size() < 196) folder /= std::string(50, 'd');
                    folder /= std::string(246 - folder.string().size(), 'e');
                    std::filesystem::create_directories(folder);
                }
                const std::string file = (folder / "Morvi.ini").string();
                const std::string path = start == LinkToAnotherFolder ? linkDir.file("Morvi.ini") : file;
                if (start != NoFile) writeFileBytes(file, goldenText);
                if (start == LinkToAnotherFolder) std::filesystem::create_symlink(file, path);
#ifdef _WIN32
                if (start == HiddenInALongFolder)
                    SetFileAttributesW(std::filesystem::path(file).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
                for (const auto& mine : theirs) writeFileBytes((folder / mine[0]).string(), mine[1]);
                auto contents = [&] { return std::filesystem::exists(path) ? readFileBytes(path) : none; };
                {
                    FaultyFiles files;
                    if (at >= 0) {
                        files.held = fault.crash ? 0 : FaultyFiles::Every;
                        files.from = at, files.count = fault.count, files.answer = fault.answer;
                        files.crashAt = fault.crash ? at : -1, files.crashAfter = fault.after;
                    }
                    for (const Settings* s : {&first, &second}) {
                        if (files.crashed) break;
                        const std::string before = contents();
                        const bool saved = saveSettingsTo(*s, path.c_str());
                        const std::string after = contents();
                        if (files.crashed)
                            EXPECT_TRUE(after == before || after == formatSettingsFile(*s));
                        else
                            EXPECT_EQ(after, saved ? formatSettingsFile(*s) : before);
                    }
                    if (at < 0 || (fault.answer == FileStatus::Busy && fault.count == 1)) {
                        EXPECT_EQ(contents(), formatSettingsFile(second));           // a short hold is waited for
                        EXPECT_EQ(files.calls, callsOfTwoSaves + (at < 0 ? 0 : 1));  // one try again
                    }
                }
                // The start: Morvi.ini as it is, whatever else lies beside it.
                const std::string left = contents();
                Settings next{};
                EXPECT_EQ(loadSettingsFrom(next, path.c_str()),
                          left == none ? SettingsLoad::NoFile : SettingsLoad::Loaded);
                if (left != none) {
                    EXPECT_EQ(formatSettingsFile(next), formatSettingsFile(loaded(left)));
                }
                const std::vector<std::string> names = namesIn(folder);
                EXPECT_EQ(
                    names.size() - std::count(names.begin(), names.end(), "Morvi.ini" + std::string(savingFileSuffix)),
                    left == none ? 2u : 3u);
                EXPECT_TRUE(saveSettingsTo(next, path.c_str()));
                EXPECT_EQ(namesIn(folder).size(), 3u);  // Morvi.ini and the person's two
                for (const auto& mine : theirs) EXPECT_EQ(readFileBytes((folder / mine[0]).string()), mine[1]);
                if (start == LinkToAnotherFolder) {
                    EXPECT_TRUE(std::filesystem::is_symlink(path));
                }
#ifdef _WIN32
                if (start == HiddenInALongFolder) {
                    EXPECT_NE(GetFileAttributesW(std::filesystem::path(file).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
                }
#endif
            }
}

TEST(SettingsFile, AHeldFileIsWaitedForABoundedTimeAndNeverLeavesAFileOfItsOwn) {
    const struct {
        int call;
        int busy;
        bool file, done;
        unsigned slept;
    } cases[] = {
        {FaultyFiles::Read, 0, true, true, 0},  // nothing holds it: no wait at all
        {FaultyFiles::Read, 3, true, true, 10 + 20 + 40},
        {FaultyFiles::Read, -1, true, false, busyWaitLimitMs},
        {FaultyFiles::Locate, 2, true, true, 10 + 20},
        {FaultyFiles::Write, -1, true, false, busyWaitLimitMs},
        {FaultyFiles::Move, 2, true, true, 10 + 20},
        {FaultyFiles::Move, -1, true, false, busyWaitLimitMs},
        {FaultyFiles::Move | FaultyFiles::Remove, 12, true, false, busyWaitLimitMs + 10 + 20},  // a wait of its own
        {FaultyFiles::Move, 2, false, true, 10 + 20},  // no file yet: made all the same
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ScratchDir dir;
        const std::string path = dir.file("Morvi.ini");
        if (c.file) writeFileBytes(path, goldenText);
        FaultyFiles files(c.call, c.busy);
        Settings s{}, defaults{};
        applyNoFileDefaults(defaults);
        bool done;
        if (c.call == FaultyFiles::Read) {
            done = loadSettingsFrom(s, path.c_str()) == SettingsLoad::Loaded;
            EXPECT_EQ(formatSettingsFile(s), formatSettingsFile(done ? loaded(goldenText) : defaults));
        } else {
            s = defaults;
            done = saveSettingsTo(s, path.c_str());
            EXPECT_EQ(readFileBytes(path), done ? formatSettingsFile(s) : goldenText);
            EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"Morvi.ini"});
        }
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(files.slept, c.slept);
        // Held for good: ten tries, 10, 20, 40, 80, 160, 200, 200, 200 and 90 ms apart.
        EXPECT_EQ(files.faultyAnswers, c.busy < 0 ? 10 : c.busy);
    }
    // Access denied on Windows, told by the attributes of the same path: held
    // (a deletion pending refuses even the query), or for good.
    const struct {
        std::uint32_t attributes, error;
        FileStatus status;
    } denied[] = {{0xFFFFFFFF, 5, FileStatus::Busy},   {0xFFFFFFFF, 303, FileStatus::Busy},
                  {0xFFFFFFFF, 2, FileStatus::Failed}, {0x20, 0, FileStatus::Busy},
                  {0x21, 0, FileStatus::Failed},       {0x10, 0, FileStatus::Failed}};
    for (const auto& d : denied) EXPECT_EQ(accessDeniedStatus(d.attributes, d.error), d.status) << d.attributes;
    // Every path reaches Windows in the form that takes any length.
    for (const auto& form : {std::pair<const char*, const char*>{"C:\\x\\Morvi.ini", "\\\\?\\C:\\x\\Morvi.ini"},
                             {"\\\\server\\share\\Morvi.ini", "\\\\?\\UNC\\server\\share\\Morvi.ini"},
                             {"\\\\?\\D:\\Morvi.ini", "\\\\?\\D:\\Morvi.ini"}})
        EXPECT_EQ(longPathForm(form.first), form.second);
}

// Held through the whole start: Morvi runs on the defaults, and only a
// confirmed OK writes over the file it could not read.
TEST(SettingsFile, AFileThatCouldNotBeReadIsNeverOverwrittenButByAnOk) {
    ScratchDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    writeFileBytes("Morvi.ini", goldenText);
    auto heldAtStart = [] {
        FaultyFiles files(FaultyFiles::Read, -1);
        loadSettings();
    };
    heldAtStart();
    EXPECT_EQ(processSettings().Focus, 1);  // the defaults
    EXPECT_FALSE(saveSettingsOnExit());
    EXPECT_EQ(readFileBytes("Morvi.ini"), goldenText);
    // A Cancel that reads the file now: the close saves what it read.
    {
        FaultyFiles files(FaultyFiles::Read, -1);
        reloadSettingsForCancel(Settings{});
    }
    EXPECT_FALSE(saveSettingsOnExit());
    reloadSettingsForCancel(Settings{});
    EXPECT_EQ(processSettings().Focus, 3);
    EXPECT_TRUE(saveSettingsOnExit());
    writeFileBytes("Morvi.ini", goldenText);
    heldAtStart();
    EXPECT_TRUE(saveSettings());
    EXPECT_NE(readFileBytes("Morvi.ini"), goldenText);
    EXPECT_TRUE(saveSettingsOnExit());  // what was confirmed may be saved again
    // Read at start: the closing save writes, and without a file too.
    writeFileBytes("Morvi.ini", goldenText);
    loadSettings();
    EXPECT_TRUE(saveSettingsOnExit());
    std::filesystem::remove("Morvi.ini");
    loadSettings();
    EXPECT_TRUE(saveSettingsOnExit());
    std::filesystem::current_path(previous);
    processSettings() = Settings{};
}

#ifndef _WIN32
// A save that fails part-way (here: the file size limit, as a full disk would)
// must leave the previous file exactly as it was.
TEST(SettingsFile, FailedSavesKeepThePreviousFileAndLeaveNoFileOfTheirOwn) {
    ScratchDir dir;
    const std::string path = dir.file("Morvi.ini");
    writeFileBytes(path, goldenText);
    auto onlyTheFileIsLeft = [&] {
        EXPECT_EQ(readFileBytes(path), goldenText);
        int entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) entries += entry.exists() ? 1 : 0;
        EXPECT_EQ(entries, 1);
    };
    Settings s{};
    applyNoFileDefaults(s);
    // A file marked read-only is never replaced.
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    EXPECT_FALSE(saveSettingsTo(s, path.c_str()));
    onlyTheFileIsLeft();
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);

    // A full disk part-way (here: the file size limit), also where no
    // temporary file can be made (a folder at its name, removed after).
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked);
        const std::string temporary = path + savingFileSuffix;
        if (blocked) std::filesystem::create_directory(temporary);
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 100;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = saveSettingsTo(s, path.c_str());
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(saved);
        if (blocked) std::filesystem::remove(temporary);
        onlyTheFileIsLeft();
    }
}
#endif

}  // namespace
