#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "settings/file_access.h"
#include "settings/file_encoding.h"
#include "settings/key_names.h"
#include "settings/screen_units.h"
#include "settings/settings.h"

namespace {

// "ＭＳ ゴシック" in Shift-JIS, with the ASCII blank in the middle.
const char defaultFaceName[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

constexpr std::size_t pieceLimit = 255;  // characters taken by one line read

void setFaceName(LOGFONTA& font, const char* text, std::size_t length) {
    if (length > LF_FACESIZE - 1) length = LF_FACESIZE - 1;
    std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
    std::memcpy(font.lfFaceName, text, length);
}

// White: the display is black, and a first start must show its time.
constexpr COLORREF defaultTextColour = 0xFFFFFF;

void applyFontDefaults(Settings& s) {
    s.Focus = 1;
    s.Button = 1;
    s.displayFont.lfHeight = 24;
    setFaceName(s.displayFont, defaultFaceName, sizeof defaultFaceName - 1);
    sharedStore(s.fontDialogRecord.rgbColors, defaultTextColour);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A literal key followed by "=", at the very start of the line.
bool matchKey(const char*& p, const char* key) {
    const std::size_t n = std::strlen(key);
    if (std::strncmp(p, key, n) != 0 || p[n] != '=') return false;
    p += n + 1;
    return true;
}

// Like "%d": blanks, an optional sign, digits. Values past 32 bits wrap, so
// that a pattern such as 4294967295 reads back as -1 on every platform.
bool scanDecimal(const char*& p, std::int32_t& out) {
    const char* q = p;
    while (isBlank(*q)) ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (!isDigit(*q)) return false;
    std::uint32_t value = 0;
    while (isDigit(*q)) value = value * 10u + static_cast<std::uint32_t>(*q++ - '0');
    if (negative) value = 0u - value;
    out = static_cast<std::int32_t>(value);
    p = q;
    return true;
}

// Like "%x": blanks, an optional sign, an optional 0x, hexadecimal digits.
bool scanHex(const char*& p, std::uint32_t& out) {
    const char* q = p;
    while (isBlank(*q)) ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && hexValue(q[2]) >= 0) q += 2;
    if (hexValue(*q) < 0) return false;
    std::uint32_t value = 0;
    while (hexValue(*q) >= 0) value = value * 16u + static_cast<std::uint32_t>(hexValue(*q++));
    if (negative) value = 0u - value;
    out = value;
    p = q;
    return true;
}

// A line carries a row's key when it begins with the key and "=".
bool carriesKey(const char* line, const char* key) {
    const char* p = line;
    return matchKey(p, key);
}

// Each member of the file's rows, as it is stored.
enum class Word { I32, Long, U32, Colour, Byte, Face, Binding };

template <typename T>
constexpr Word wordOf() {
    if constexpr (std::is_same_v<T, KeyBinding>)
        return Word::Binding;
    else if constexpr (std::is_same_v<T, char[LF_FACESIZE]>)
        return Word::Face;
    else if constexpr (std::is_same_v<T, BYTE>)
        return Word::Byte;
    else if constexpr (std::is_same_v<T, COLORREF> && !std::is_same_v<COLORREF, std::uint32_t>)
        return Word::Colour;
    else if constexpr (std::is_same_v<T, std::uint32_t>)
        return Word::U32;
    else if constexpr (std::is_same_v<T, LONG> && !std::is_same_v<LONG, std::int32_t>)
        return Word::Long;
    else {
        static_assert(std::is_same_v<T, std::int32_t>, "a row's member is a 32-bit word, a byte, a face or a binding");
        return Word::I32;
    }
}

enum class Format { Decimal, Hex, Face, Binding };

// One row of Morvi.ini: its key, how its value is written, and the member
// that holds it. Reading, writing and copying the record all walk this one
// table, in the file's order.
struct Row {
    const char* key;
    Format format;
    Word word;
    std::size_t offset;
};

#define MORVI_ROW(key, format, member) \
    Row { key, Format::format, wordOf<std::remove_cvref_t<decltype(Settings{}.member)>>(), offsetof(Settings, member) }

const Row rows[] = {
    MORVI_ROW("Focus", Decimal, Focus),
    MORVI_ROW("Height", Decimal, displayFont.lfHeight),
    MORVI_ROW("Width", Decimal, displayFont.lfWidth),
    MORVI_ROW("Escapement", Decimal, displayFont.lfEscapement),
    MORVI_ROW("Orientation", Decimal, displayFont.lfOrientation),
    MORVI_ROW("Weight", Decimal, displayFont.lfWeight),
    MORVI_ROW("Italic", Decimal, displayFont.lfItalic),
    MORVI_ROW("Underline", Decimal, displayFont.lfUnderline),
    MORVI_ROW("StrikeOut", Decimal, displayFont.lfStrikeOut),
    MORVI_ROW("CharSet", Decimal, displayFont.lfCharSet),
    MORVI_ROW("OutPrecision", Decimal, displayFont.lfOutPrecision),
    MORVI_ROW("ClipPrecition", Decimal, displayFont.lfClipPrecision),
    MORVI_ROW("Quality", Decimal, displayFont.lfQuality),
    MORVI_ROW("PitchAndFamily", Decimal, displayFont.lfPitchAndFamily),
    MORVI_ROW("FaceName", Face, displayFont.lfFaceName),
    MORVI_ROW("Start", Binding, keyBindings[BindStart]),
    MORVI_ROW("Stop", Binding, keyBindings[BindStop]),
    MORVI_ROW("Reset", Binding, keyBindings[BindReset]),
    MORVI_ROW("Lap", Binding, keyBindings[BindLap]),
    MORVI_ROW("Next", Binding, keyBindings[BindNext]),
    MORVI_ROW("Left", Decimal, windowRect.left),
    MORVI_ROW("Right", Decimal, windowRect.right),
    MORVI_ROW("Top", Decimal, windowRect.top),
    MORVI_ROW("Bottom", Decimal, windowRect.bottom),
    MORVI_ROW("Button", Decimal, Button),
    MORVI_ROW("Title", Decimal, Title),
    MORVI_ROW("TxColor", Hex, fontDialogRecord.rgbColors),
    MORVI_ROW("Topmost", Decimal, Topmost),
    MORVI_ROW("Funbyou", Decimal, Funbyou),
    MORVI_ROW("LapTime", Decimal, LapTime),
    MORVI_ROW("BackGround", Decimal, BackGround),
    MORVI_ROW("StartColon", Decimal, StartColon),
    MORVI_ROW("WindowFix", Decimal, WindowFix),
    MORVI_ROW("TxColorStop", Hex, TxColorStop),
};

#undef MORVI_ROW

constexpr int rowCount = static_cast<int>(sizeof rows / sizeof rows[0]);
static_assert(rowCount == 34, "Morvi.ini has 34 rows");

template <typename T>
T& memberAt(Settings& s, const Row& row) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(&s) + row.offset);
}

template <typename T>
const T& memberAt(const Settings& s, const Row& row) {
    return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(&s) + row.offset);
}

// A number row's member as the 32-bit pattern the file writes; the poller
// reads some of them, so they go through sharedLoad and sharedStore.
std::uint32_t wordValue(const Settings& s, const Row& row) {
    switch (row.word) {
    case Word::I32: return static_cast<std::uint32_t>(sharedLoad(memberAt<std::int32_t>(s, row)));
    case Word::Long: return static_cast<std::uint32_t>(sharedLoad(memberAt<LONG>(s, row)));
    case Word::U32: return sharedLoad(memberAt<std::uint32_t>(s, row));
    case Word::Colour: return static_cast<std::uint32_t>(sharedLoad(memberAt<COLORREF>(s, row)));
    case Word::Byte: return memberAt<BYTE>(s, row);
    default: return 0;
    }
}

void setWord(Settings& s, const Row& row, std::uint32_t value) {
    switch (row.word) {
    case Word::I32: sharedStore(memberAt<std::int32_t>(s, row), static_cast<std::int32_t>(value)); break;
    case Word::Long: sharedStore(memberAt<LONG>(s, row), static_cast<LONG>(static_cast<std::int32_t>(value))); break;
    case Word::U32: sharedStore(memberAt<std::uint32_t>(s, row), value); break;
    case Word::Colour: sharedStore(memberAt<COLORREF>(s, row), static_cast<COLORREF>(value)); break;
    // The eight font bytes keep the low 8 bits: 256 is 0, -1 is 255.
    case Word::Byte: memberAt<BYTE>(s, row) = static_cast<BYTE>(value & 0xFFu); break;
    default: break;
    }
}

// The key is not compared: the value is what lies between the first "=" (past
// any leading ones) and the next "=" or the line end. A character that could
// not be kept makes it no name at all.
void parseFaceName(const char* line, LOGFONTA& font) {
    const char* p = line;
    while (*p == '=') ++p;
    p = std::strchr(p, '=');
    if (!p) return;
    ++p;
    std::size_t length = 0;
    while (p[length] != '\0' && p[length] != '=' && p[length] != '\n') ++length;
    if (length == 0 || std::memchr(p, settingsCharacterNotKept, length) != nullptr) return;
    setFaceName(font, p, length);
}

void setBindingName(KeyBinding& binding, const char* name, std::size_t length) {
    // A hand-written word longer than the field is cut to fit.
    if (length > sizeof binding.name - 1) length = sizeof binding.name - 1;
    std::memset(binding.name, 0, sizeof binding.name);
    std::memcpy(binding.name, name, length);
}

bool parseBinding(const char* line, const char* key, KeyBinding& binding) {
    const char* p = line;
    std::int32_t code;
    if (!matchKey(p, key) || !scanDecimal(p, code)) return false;
    sharedStore(binding.code, code);
    std::size_t length = 0;
    if (*p == ',') {
        ++p;
        while (isBlank(*p)) ++p;
        while (p[length] != '\0' && !isBlank(p[length])) ++length;
    }
    // A name with a character that could not be kept counts as none: the
    // code is what the row says.
    if (std::memchr(p, settingsCharacterNotKept, length) != nullptr) length = 0;
    if (length == 0) {
        // An unbound key keeps no name that would show a key doing nothing.
        if (code == 0) setBindingName(binding, "", 0);
        return true;
    }
    // The file keeps names up to their first blank: "Shift (Left)" is read as
    // "Shift". When the word is how the key's own name begins, the whole name
    // comes back, so left and right keys stay apart.
    if (code > 0 && code <= 255) {
        const char* full = lookupKeyName(static_cast<std::uint32_t>(code));
        if (std::strncmp(full, p, length) == 0 && full[length] == ' ') {
            setBindingName(binding, full, std::strlen(full));
            return true;
        }
    }
    setBindingName(binding, p, length);
    return true;
}

// Whether the line matched its row. The face name's row, which takes any
// line with a value, does not count: it tells nothing about the file.
bool parseRow(Settings& s, const Row& row, const char* line) {
    const char* p = line;
    switch (row.format) {
    case Format::Decimal: {
        std::int32_t v;
        if (!matchKey(p, row.key) || !scanDecimal(p, v)) return false;
        setWord(s, row, static_cast<std::uint32_t>(v));
        return true;
    }
    case Format::Hex: {
        std::uint32_t v;
        if (!matchKey(p, row.key) || !scanHex(p, v)) return false;
        setWord(s, row, v);
        return true;
    }
    case Format::Face: parseFaceName(line, s.displayFont); return false;
    case Format::Binding: return parseBinding(line, row.key, memberAt<KeyBinding>(s, row));
    }
    return false;
}

bool carriesSomeRowsKey(const char* line) {
    for (const Row& row : rows)
        if (carriesKey(line, row.key)) return true;
    return false;
}

// The line a row reads: its own by position when that carries its key (a
// file Morvi wrote), else the first that does, wherever it stands, so that
// a line taken out or added by hand moves no setting onto another row. The
// face name's row, whose key is not compared, takes its own line when no
// line carries its key and its own carries no other row's.
const char* lineForRow(int index, const std::vector<std::string>& lines) {
    const Row& row = rows[index];
    const std::size_t at = static_cast<std::size_t>(index);
    if (at < lines.size() && carriesKey(lines[at].c_str(), row.key)) return lines[at].c_str();
    for (const std::string& line : lines)
        if (carriesKey(line.c_str(), row.key)) return line.c_str();
    if (row.format == Format::Face && at < lines.size() && !carriesSomeRowsKey(lines[at].c_str()))
        return lines[at].c_str();
    return nullptr;
}

std::size_t boundedLength(const char* text, std::size_t capacity) {
    std::size_t n = 0;
    while (n < capacity && text[n] != '\0') ++n;
    return n;
}

#if defined(__GNUC__)
void appendLine(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
#endif

void appendLine(std::string& out, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0)
        out.append(line, static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n) : sizeof line - 1);
    out.append("\r\n");
}

// The file's lines as the loader reads them: CR LF as LF, as the platform's
// text mode gives it, and at most 255 characters a line, a longer one taken
// in pieces.
std::vector<std::string> settingsLines(const std::string& shiftJis) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < shiftJis.size(); ++i) {
        const char c = shiftJis[i];
        if (c == '\r' && i + 1 < shiftJis.size() && shiftJis[i + 1] == '\n') continue;
        line.push_back(c);
        if (c == '\n' || line.size() == pieceLimit) lines.push_back(std::move(line)), line.clear();
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

// How many rows matched a line of the text; -1 for an empty text, which
// applies the empty-file defaults.
int parseRows(Settings& s, const char* data, std::size_t size) {
    const std::string shiftJis = settingsTextAsShiftJis(data, size);
    if (shiftJis.empty()) {
        applyFontDefaults(s);  // Title keeps its value
        return -1;
    }
    const std::vector<std::string> lines = settingsLines(shiftJis);
    int matched = 0;
    for (int i = 0; i < rowCount; ++i)
        if (const char* line = lineForRow(i, lines)) matched += parseRow(s, rows[i], line) ? 1 : 0;
    return matched;
}

}  // namespace

Settings& processSettings() {
    static Settings instance{};
    return instance;
}

bool scanDecimalText(const char* text, std::int32_t* out) {
    const char* p = text;
    return scanDecimal(p, *out);
}

void applyNoFileDefaults(Settings& s) {
    applyFontDefaults(s);
    s.Title = 1;
}

bool parseSettingsText(Settings& s, const char* data, std::size_t size) { return parseRows(s, data, size) != 0; }

namespace {

// Every member the file carries, the words the poller reads one by one.
void copySettings(Settings& s, const Settings& from) {
    for (const Row& row : rows) {
        switch (row.word) {
        case Word::Face: std::memcpy(s.displayFont.lfFaceName, from.displayFont.lfFaceName, LF_FACESIZE); break;
        case Word::Binding: {
            KeyBinding& to = memberAt<KeyBinding>(s, row);
            const KeyBinding& b = memberAt<KeyBinding>(from, row);
            sharedStore(to.code, sharedLoad(b.code));
            std::memcpy(to.name, b.name, sizeof to.name);
            break;
        }
        default: setWord(s, row, wordValue(from, row)); break;
        }
    }
}

// Reads the file into `s` through a copy, so that a file that is no
// Morvi.ini changes nothing.
FileStatus readSettingsFile(Settings& s, const char* path) {
    const FileAccess& files = processFileAccess();
    std::string text;
    BusyWait wait;
    FileStatus status = retryWhileBusy(files, wait, [&] { return files.read(files.context, path, text); });
    if (status != FileStatus::Done) return status;
    // The record's words the poller reads are copied as they are shared.
    Settings parsed{};
    copySettings(parsed, s);
    const int matched = parseRows(parsed, text.data(), text.size());
    // A file of which not one line is a setting (junk, another program's
    // file) is no Morvi.ini: read, it would leave the display black on black.
    if (matched == 0) return FileStatus::Failed;
    copySettings(s, parsed);
    return FileStatus::Done;
}

}  // namespace

SettingsLoad loadSettingsFrom(Settings& s, const char* path) {
    const FileStatus status = readSettingsFile(s, path);
    if (status != FileStatus::Done) {
        applyNoFileDefaults(s);
        return status == FileStatus::Missing ? SettingsLoad::NoFile : SettingsLoad::Unreadable;
    }
    return SettingsLoad::Loaded;
}

void copySettingsButWindow(Settings& s, const Settings& from) {
    const RECT kept = sharedLoadRect(s.windowRect);
    copySettings(s, from);
    sharedStoreRect(s.windowRect, kept);
}

void restoreSettingsAtOpen(Settings& s, const Settings& atOpen, const ScreenUnits& units) {
    copySettingsButWindow(s, atOpen);
    sharedStore(s.displayFont.lfHeight, static_cast<LONG>(toScreenPixels(atOpen.displayFont.lfHeight, units.dpi)));
}

SettingsLoad reloadSettingsForCancel(Settings& s, const char* path, const Settings& atOpen, ScreenUnits& units) {
    const RECT kept = sharedLoadRect(s.windowRect);
    const SettingsLoad load = loadSettingsFrom(s, path);
    if (load == SettingsLoad::Loaded)
        settingsToScreen(s, units);
    else
        restoreSettingsAtOpen(s, atOpen, units);
    sharedStoreRect(s.windowRect, kept);
    return load;
}

std::string formatSettingsFile(const Settings& s) {
    std::string out;
    out.reserve(1024);
    for (const Row& row : rows) {
        switch (row.format) {
        case Format::Decimal:
            // The signed decimal of the pattern; the font bytes come as 0 to 255.
            appendLine(out, "%s=%d", row.key, static_cast<std::int32_t>(wordValue(s, row)));
            break;
        case Format::Hex: appendLine(out, "%s=%x", row.key, static_cast<unsigned>(wordValue(s, row))); break;
        case Format::Face: {
            const LOGFONTA& f = s.displayFont;
            appendLine(out, "%s=%.*s", row.key, static_cast<int>(boundedLength(f.lfFaceName, sizeof f.lfFaceName)),
                       f.lfFaceName);
            break;
        }
        case Format::Binding: {
            const KeyBinding& b = memberAt<KeyBinding>(s, row);
            appendLine(out, "%s=%d,%.*s", row.key, static_cast<int>(sharedLoad(b.code)),
                       static_cast<int>(boundedLength(b.name, sizeof b.name)), b.name);
            break;
        }
        }
    }
    return out;
}

namespace {

// 1 when Morvi.ini was there at start but could not be read, even after
// waiting: Morvi runs on the defaults, and only a confirmed OK may write
// over the file. GUI thread only.
std::int32_t fileUnreadable = 0;

}  // namespace

void loadSettings() {
    fileUnreadable = loadSettingsFrom(processSettings(), settingsFileName) == SettingsLoad::Unreadable ? 1 : 0;
    settingsToScreen(processSettings(), processScreenUnits());
}

bool settingsFileUnreadable() { return fileUnreadable == 1; }

bool saveSettingsOnExit() {
    if (fileUnreadable == 1) return false;
    return saveSettings();
}

// A file that reads now, or is gone, is no longer one the close must spare.
void reloadSettingsForCancel(const Settings& atOpen) {
    if (reloadSettingsForCancel(processSettings(), settingsFileName, atOpen, processScreenUnits()) !=
        SettingsLoad::Unreadable)
        fileUnreadable = 0;
}

bool saveSettings() {
    // What the user confirmed may replace the file, read or not.
    fileUnreadable = 0;
    return saveSettingsTo(settingsForFile(processSettings(), processScreenUnits()), settingsFileName);
}
