#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "file_access.h"
#include "file_encoding.h"
#include "key_names.h"
#include "screen_units.h"
#include "settings.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

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

bool readInt(const char* line, const char* key, std::int32_t& out) {
    const char* p = line;
    return matchKey(p, key) && scanDecimal(p, out);
}

// Members are int32 or LONG, which is long on Windows.
template <typename Int>
bool parseInt(const char* line, const char* key, Int& member) {
    std::int32_t v;
    if (!readInt(line, key, v)) return false;
    sharedStore(member, static_cast<Int>(v));
    return true;
}

bool parseByte(const char* line, const char* key, BYTE& member) {
    std::int32_t v;
    if (!readInt(line, key, v)) return false;
    member = static_cast<BYTE>(static_cast<std::uint32_t>(v) & 0xFFu);
    return true;
}

template <typename Colour>
bool parseHex(const char* line, const char* key, Colour& member) {
    const char* p = line;
    std::uint32_t v;
    if (!matchKey(p, key) || !scanHex(p, v)) return false;
    sharedStore(member, static_cast<Colour>(v));
    return true;
}

// The key is not compared: the value is what lies between the first "=" (past
// any leading ones) and the next "=" or the line end.
void parseFaceName(const char* line, LOGFONTA& font) {
    const char* p = line;
    while (*p == '=') ++p;
    p = std::strchr(p, '=');
    if (!p) return;
    ++p;
    std::size_t length = 0;
    while (p[length] != '\0' && p[length] != '=' && p[length] != '\n') ++length;
    if (length == 0) return;
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

const char* const bindingKeys[BindingCount] = {"Start", "Stop", "Reset", "Lap", "Next"};

// Whether the line matched its row. The face name's row, which takes any
// line with a value, does not count: it tells nothing about the file.
bool parseRow(Settings& s, int row, const char* line) {
    LOGFONTA& f = s.displayFont;
    switch (row) {
    case 1: return parseInt(line, "Focus", s.Focus);
    case 2: return parseInt(line, "Height", f.lfHeight);
    case 3: return parseInt(line, "Width", f.lfWidth);
    case 4: return parseInt(line, "Escapement", f.lfEscapement);
    case 5: return parseInt(line, "Orientation", f.lfOrientation);
    case 6: return parseInt(line, "Weight", f.lfWeight);
    case 7: return parseByte(line, "Italic", f.lfItalic);
    case 8: return parseByte(line, "Underline", f.lfUnderline);
    case 9: return parseByte(line, "StrikeOut", f.lfStrikeOut);
    case 10: return parseByte(line, "CharSet", f.lfCharSet);
    case 11: return parseByte(line, "OutPrecision", f.lfOutPrecision);
    case 12: return parseByte(line, "ClipPrecition", f.lfClipPrecision);
    case 13: return parseByte(line, "Quality", f.lfQuality);
    case 14: return parseByte(line, "PitchAndFamily", f.lfPitchAndFamily);
    case 15: parseFaceName(line, f); return false;
    case 16:
    case 17:
    case 18:
    case 19:
    case 20: return parseBinding(line, bindingKeys[row - 16], s.keyBindings[row - 16]);
    case 21: return parseInt(line, "Left", s.windowRect.left);
    case 22: return parseInt(line, "Right", s.windowRect.right);
    case 23: return parseInt(line, "Top", s.windowRect.top);
    case 24: return parseInt(line, "Bottom", s.windowRect.bottom);
    case 25: return parseInt(line, "Button", s.Button);
    case 26: return parseInt(line, "Title", s.Title);
    case 27: return parseHex(line, "TxColor", s.fontDialogRecord.rgbColors);
    case 28: return parseInt(line, "Topmost", s.Topmost);
    case 29: return parseInt(line, "Funbyou", s.Funbyou);
    case 30: {
        std::int32_t v;
        if (!readInt(line, "LapTime", v)) return false;
        sharedStore(s.LapTime, static_cast<std::uint32_t>(v));
        return true;
    }
    case 31: return parseInt(line, "BackGround", s.BackGround);
    case 32: return parseInt(line, "StartColon", s.StartColon);
    case 33: return parseInt(line, "WindowFix", s.WindowFix);
    case 34: return parseHex(line, "TxColorStop", s.TxColorStop);
    default: return false;
    }
}

}  // namespace

// The temporary file is this process's own: two Morvi in one folder may save
// at the same moment (the end of a Windows session).
std::string temporarySettingsName(const char* path) {
#ifdef _WIN32
    const unsigned long id = GetCurrentProcessId();
#else
    const unsigned long id = static_cast<unsigned long>(getpid());
#endif
    return std::string(path) + "." + std::to_string(id) + ".tmp";
}

namespace {

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

bool parseSettingsText(Settings& s, const char* data, std::size_t size) {
    const std::string shiftJis = settingsTextAsShiftJis(data, size);
    if (shiftJis.empty()) {
        applyFontDefaults(s);  // Title keeps its value
        return true;
    }
    // CR LF reads as LF, as the platform's text mode gives it.
    std::string text;
    text.reserve(shiftJis.size());
    for (std::size_t i = 0; i < shiftJis.size(); ++i) {
        if (shiftJis[i] == '\r' && i + 1 < shiftJis.size() && shiftJis[i + 1] == '\n') continue;
        text.push_back(shiftJis[i]);
    }
    bool matched = false;
    std::size_t pos = 0;
    for (int row = 1; row <= 34 && pos < text.size(); ++row) {
        char line[pieceLimit + 1];
        std::size_t n = 0;
        while (n < pieceLimit && pos < text.size()) {
            const char c = text[pos++];
            line[n++] = c;
            if (c == '\n') break;
        }
        line[n] = '\0';
        matched = parseRow(s, row, line) || matched;
    }
    return matched;
}

SettingsLoad loadSettingsFrom(Settings& s, const char* path) {
    const FileAccess& files = processFileAccess();
    std::string text;
    BusyWait wait;
    FileStatus status = retryWhileBusy(files, wait, [&] { return files.read(files.context, path, text); });
    // A file of which not one line is a setting (junk, another program's
    // file) is no Morvi.ini: read, it would leave the display black on black.
    // The record's words the poller reads are copied as they are shared.
    Settings parsed{};
    copySettingsButWindow(parsed, s);
    sharedStoreRect(parsed.windowRect, sharedLoadRect(s.windowRect));
    if (status == FileStatus::Done && !parseSettingsText(parsed, text.data(), text.size())) status = FileStatus::Failed;
    if (status != FileStatus::Done) {
        applyNoFileDefaults(s);
        return status == FileStatus::Missing ? SettingsLoad::NoFile : SettingsLoad::Unreadable;
    }
    copySettingsButWindow(s, parsed);
    sharedStoreRect(s.windowRect, parsed.windowRect);
    return SettingsLoad::Loaded;
}

void copySettingsButWindow(Settings& s, const Settings& from) {
    s.Focus = from.Focus;
    s.displayFont = from.displayFont;
    for (int i = 0; i < BindingCount; ++i) {
        sharedStore(s.keyBindings[i].code, sharedLoad(from.keyBindings[i].code));
        std::memcpy(s.keyBindings[i].name, from.keyBindings[i].name, sizeof s.keyBindings[i].name);
    }
    s.Button = from.Button;
    s.Title = from.Title;
    // Of the font dialog's record only the colour is a setting.
    sharedStore(s.fontDialogRecord.rgbColors, sharedLoad(from.fontDialogRecord.rgbColors));
    s.Topmost = from.Topmost;
    sharedStore(s.Funbyou, sharedLoad(from.Funbyou));
    sharedStore(s.LapTime, sharedLoad(from.LapTime));
    sharedStore(s.BackGround, sharedLoad(from.BackGround));
    sharedStore(s.StartColon, sharedLoad(from.StartColon));
    s.WindowFix = from.WindowFix;
    sharedStore(s.TxColorStop, sharedLoad(from.TxColorStop));
}

void restoreSettingsAtOpen(Settings& s, const Settings& atOpen, const ScreenUnits& units) {
    copySettingsButWindow(s, atOpen);
    sharedStore(s.displayFont.lfHeight, static_cast<LONG>(toScreenPixels(atOpen.displayFont.lfHeight, units.dpi)));
}

void reloadSettingsForCancel(Settings& s, const char* path, const Settings& atOpen, ScreenUnits& units) {
    const RECT kept = sharedLoadRect(s.windowRect);
    if (loadSettingsFrom(s, path) == SettingsLoad::Loaded)
        settingsToScreen(s, units);
    else
        restoreSettingsAtOpen(s, atOpen, units);
    sharedStoreRect(s.windowRect, kept);
}

std::string formatSettingsFile(const Settings& s) {
    const LOGFONTA& f = s.displayFont;
    std::string out;
    out.reserve(1024);
    appendLine(out, "Focus=%d", s.Focus);
    appendLine(out, "Height=%d", static_cast<int>(f.lfHeight));
    appendLine(out, "Width=%d", static_cast<int>(f.lfWidth));
    appendLine(out, "Escapement=%d", static_cast<int>(f.lfEscapement));
    appendLine(out, "Orientation=%d", static_cast<int>(f.lfOrientation));
    appendLine(out, "Weight=%d", static_cast<int>(f.lfWeight));
    appendLine(out, "Italic=%d", f.lfItalic);
    appendLine(out, "Underline=%d", f.lfUnderline);
    appendLine(out, "StrikeOut=%d", f.lfStrikeOut);
    appendLine(out, "CharSet=%d", f.lfCharSet);
    appendLine(out, "OutPrecision=%d", f.lfOutPrecision);
    appendLine(out, "ClipPrecition=%d", f.lfClipPrecision);
    appendLine(out, "Quality=%d", f.lfQuality);
    appendLine(out, "PitchAndFamily=%d", f.lfPitchAndFamily);
    appendLine(out, "FaceName=%.*s", static_cast<int>(boundedLength(f.lfFaceName, sizeof f.lfFaceName)), f.lfFaceName);
    for (int i = 0; i < BindingCount; ++i) {
        const KeyBinding& b = s.keyBindings[i];
        appendLine(out, "%s=%d,%.*s", bindingKeys[i], b.code, static_cast<int>(boundedLength(b.name, sizeof b.name)),
                   b.name);
    }
    appendLine(out, "Left=%d", static_cast<int>(s.windowRect.left));
    appendLine(out, "Right=%d", static_cast<int>(s.windowRect.right));
    appendLine(out, "Top=%d", static_cast<int>(s.windowRect.top));
    appendLine(out, "Bottom=%d", static_cast<int>(s.windowRect.bottom));
    appendLine(out, "Button=%d", s.Button);
    appendLine(out, "Title=%d", s.Title);
    appendLine(out, "TxColor=%x", static_cast<unsigned>(s.fontDialogRecord.rgbColors));
    appendLine(out, "Topmost=%d", s.Topmost);
    appendLine(out, "Funbyou=%d", s.Funbyou);
    appendLine(out, "LapTime=%d", static_cast<std::int32_t>(s.LapTime));
    appendLine(out, "BackGround=%d", s.BackGround);
    appendLine(out, "StartColon=%d", s.StartColon);
    appendLine(out, "WindowFix=%d", s.WindowFix);
    appendLine(out, "TxColorStop=%x", static_cast<unsigned>(s.TxColorStop));
    return out;
}

// The text goes to a temporary file beside the target, which replaces the
// target only once it is complete, so a failed save keeps the previous file.
// Where no temporary file can be made the save fails: writing the target in
// place would empty it first, and a write that then fails would cut it short.
bool saveSettingsTo(const Settings& s, const char* path) {
    const FileAccess& files = processFileAccess();
    const std::string text = formatSettingsFile(s);
    const std::string temporary = temporarySettingsName(path);
    const char* from = temporary.c_str();
    BusyWait wait;  // one bound for the whole save
    FileStatus status = retryWhileBusy(files, wait, [&] { return files.write(files.context, from, text); });
    if (status == FileStatus::Done)
        status = retryWhileBusy(files, wait, [&] { return files.replace(files.context, from, path); });
    if (status == FileStatus::Missing)
        status = retryWhileBusy(files, wait, [&] { return files.move(files.context, from, path); });
    if (status == FileStatus::Done) return true;
    // A scanner may be holding the fresh temporary file too: its removal
    // waits on its own, or a save that spent its wait would leave it behind.
    BusyWait cleanUp;
    retryWhileBusy(files, cleanUp, [&] { return files.remove(files.context, from); });
    return false;
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

bool saveSettingsOnExit() {
    if (fileUnreadable == 1) return false;
    return saveSettings();
}

void reloadSettingsForCancel(const Settings& atOpen) {
    reloadSettingsForCancel(processSettings(), settingsFileName, atOpen, processScreenUnits());
}

bool saveSettings() {
    // What the user confirmed may replace the file, read or not.
    fileUnreadable = 0;
    return saveSettingsTo(settingsForFile(processSettings(), processScreenUnits()), settingsFileName);
}
