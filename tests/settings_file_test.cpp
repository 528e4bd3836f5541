#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "settings/file_access.h"
#include "settings/screen_units.h"
#include "settings/settings.h"
#include "tests/test_support.h"

#ifndef _WIN32
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
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

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

TEST(SettingsFile, SaveReplacesAnExistingFileOnlyThroughItsTemporaryFile) {
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
    std::filesystem::create_directory(temporarySettingsName(path.c_str()));
    s.Focus = 0;
    EXPECT_FALSE(saveSettingsTo(s, path.c_str()));
    EXPECT_EQ(readFileBytes(path), before);
    // Nothing can be written at all: a failure, and no crash.
    const std::string nowhere = dir.file("no-such-folder/Morvi.ini");
    EXPECT_FALSE(saveSettingsTo(s, nowhere.c_str()));
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// The file system as another program holding a file makes it: the first
// `busy` calls of the kinds held answer Busy (-1: every one), then the
// system's own do the work. Sleeps are counted, not slept. `replaceError`
// acts out a failed ReplaceFileW as Windows documents it (the files it
// leaves, and the status Morvi makes of that error); `moveAnswer`, unless
// Done, answers every rename.
struct HeldFiles {
    enum Call { Read = 1, Write = 2, Replace = 4, Move = 8, Remove = 16 };
    int held;
    int busy;
    std::uint32_t replaceError = 0;
    FileStatus moveAnswer = FileStatus::Done;
    int busyAnswers = 0;
    unsigned slept = 0;
    FileAccess saved = processFileAccess();

    HeldFiles(int call, int count) : held(call), busy(count) {
        FileAccess files = systemFileAccess();
        files.read = [](void* c, const char* path, std::string& out) {
            return answer(c, Read, [&] { return systemFileAccess().read(nullptr, path, out); });
        };
        files.write = [](void* c, const char* path, const std::string& text) {
            return answer(c, Write, [&] { return systemFileAccess().write(nullptr, path, text); });
        };
        files.replace = [](void* c, const char* from, const char* to, const char* backup) {
            return answer(c, Replace, [&] {
                const std::uint32_t error = static_cast<HeldFiles*>(c)->replaceError;
                if (error == 0) return systemFileAccess().replace(nullptr, from, to, backup);
                if (error == 1177) std::filesystem::rename(to, backup);  // `to` moved aside, `from` left
                return replaceFailureStatus(error, FileStatus::Failed);
            });
        };
        files.move = [](void* c, const char* from, const char* to) {
            const FileStatus given = static_cast<HeldFiles*>(c)->moveAnswer;
            return answer(c, Move, [&] {
                return given != FileStatus::Done ? given : systemFileAccess().move(nullptr, from, to);
            });
        };
        files.remove = [](void* c, const char* path) {
            return answer(c, Remove, [&] { return systemFileAccess().remove(nullptr, path); });
        };
        files.sleep = [](void* c, unsigned ms) { static_cast<HeldFiles*>(c)->slept += ms; };
        files.context = this;
        processFileAccess() = files;
    }
    ~HeldFiles() { processFileAccess() = saved; }
    template <typename Real>
    static FileStatus answer(void* context, Call call, Real real) {
        HeldFiles& f = *static_cast<HeldFiles*>(context);
        if ((call & f.held) == 0 || f.busy == 0) return real();
        if (f.busy > 0) --f.busy;
        ++f.busyAnswers;
        return FileStatus::Busy;
    }
};

// What a folder holds: "ini" for Morvi.ini, "tmp" and "bak" for what a save
// left beside it, in that order.
std::string filesIn(const ScratchDir& dir) {
    std::string kinds;
    for (const char* kind : {"ini", "tmp", "bak"})
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().extension() == std::string(".") + kind)
                kinds += kinds.empty() ? kind : std::string(" ") + kind;
    return kinds;
}

// Every outcome of a replace that Windows documents, with a backup name:
// what the save answers, what it leaves, and what the next start reads.
// Nothing ever leaves the folder without the settings.
TEST(SettingsFile, EveryOutcomeOfAReplaceLeavesSettingsTheNextStartReads) {
    const FileStatus done = FileStatus::Done, failed = FileStatus::Failed, busy = FileStatus::Busy;
    const struct {
        std::uint32_t error;
        FileStatus move;
        bool saved;
        const char* left;
        bool nextReadsNew;
    } cases[] = {
        {0, done, true, "ini", true},           {32, done, false, "ini", false},  // held for good
        {1175, done, false, "ini", false},                                        // Morvi.ini could not be taken away
        {1176, done, false, "ini", false},  // the new file could not be renamed: both kept their names
        {1177, done, true, "ini", true},    // Morvi.ini went to the backup name; the rename finishes
        {1177, failed, false, "tmp bak", true}, {1177, busy, false, "tmp bak", true},
        {50, done, true, "ini", true},  // a drive with no replace: renamed over it
        {1, failed, false, "ini", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ScratchDir dir;
        const std::string path = dir.file("Morvi.ini");
        writeFileBytes(path, goldenText);
        Settings s{};
        applyNoFileDefaults(s);
        {
            HeldFiles files(HeldFiles::Replace, c.error == 32 ? -1 : 0);
            files.replaceError = c.error == 32 ? 0 : c.error;
            files.moveAnswer = c.move;
            EXPECT_EQ(saveSettingsTo(s, path.c_str()), c.saved);
        }
        EXPECT_EQ(filesIn(dir), c.left);
        if (std::filesystem::exists(path)) {
            EXPECT_EQ(readFileBytes(path), c.saved ? formatSettingsFile(s) : goldenText);
        }
        Settings next{};
        EXPECT_EQ(loadSettingsFrom(next, path.c_str()), SettingsLoad::Loaded);
        EXPECT_EQ(formatSettingsFile(next), formatSettingsFile(c.nextReadsNew ? s : loaded(goldenText)));
        // The next good save tidies up.
        EXPECT_TRUE(saveSettingsTo(next, path.c_str()));
        EXPECT_EQ(filesIn(dir), "ini");
    }
}

TEST(SettingsFile, AHeldFileIsWaitedForABoundedTimeAndNeverLeavesATemporaryFile) {
    const struct {
        int call;
        int busy;
        bool readOnly, done;
        unsigned slept;
    } cases[] = {
        {HeldFiles::Read, 0, false, true, 0},  // nothing holds it: no wait at all
        {HeldFiles::Read, 3, false, true, 10 + 20 + 40},
        {HeldFiles::Read, -1, false, false, busyWaitLimitMs},
        {HeldFiles::Write, -1, false, false, busyWaitLimitMs},
        {HeldFiles::Replace, 2, false, true, 10 + 20},
        {HeldFiles::Replace, -1, false, false, busyWaitLimitMs},
        {HeldFiles::Remove, 2, true, false, 10 + 20},  // read-only: refused at once; the temporary file goes
        {HeldFiles::Replace | HeldFiles::Remove, 12, false, false, busyWaitLimitMs + 10 + 20},  // a wait of its own
        {HeldFiles::Move, 2, false, true, 10 + 20},  // no file yet: created, not replaced
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ScratchDir dir;
        const std::string path = dir.file("Morvi.ini");
        if (c.call != HeldFiles::Move) writeFileBytes(path, goldenText);
        if (c.readOnly)
            std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::remove);
        HeldFiles files(c.call, c.busy);
        Settings s{}, defaults{};
        applyNoFileDefaults(defaults);
        bool done;
        if (c.call == HeldFiles::Read) {
            done = loadSettingsFrom(s, path.c_str()) == SettingsLoad::Loaded;
            EXPECT_EQ(formatSettingsFile(s), formatSettingsFile(done ? loaded(goldenText) : defaults));
        } else {
            s = defaults;
            done = saveSettingsTo(s, path.c_str());
            EXPECT_EQ(readFileBytes(path), done ? formatSettingsFile(s) : goldenText);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        }
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(files.slept, c.slept);
        // Held for good: ten tries, 10, 20, 40, 80, 160, 200, 200, 200 and 90 ms apart.
        EXPECT_EQ(files.busyAnswers, c.busy < 0 ? 10 : c.busy);
        std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
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
}

// Held through the whole start: Morvi runs on the defaults, and only a
// confirmed OK writes over the file it could not read.
TEST(SettingsFile, AFileThatCouldNotBeReadIsNeverOverwrittenButByAnOk) {
    ScratchDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    writeFileBytes("Morvi.ini", goldenText);
    {
        HeldFiles files(HeldFiles::Read, -1);
        loadSettings();
    }
    EXPECT_EQ(processSettings().Focus, 1);  // the defaults
    EXPECT_FALSE(saveSettingsOnExit());
    EXPECT_EQ(readFileBytes("Morvi.ini"), goldenText);
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
TEST(SettingsFile, FailedSavesKeepThePreviousFileAndLeaveNoTemporaryFile) {
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
        const std::string temporary = temporarySettingsName(path.c_str());
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
