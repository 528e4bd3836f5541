#include "settings/file_encoding.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

bool hasNonAscii(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

#ifndef _WIN32

std::string convert(const char* to, const char* from, const std::string& text, bool& ok) {
    ok = false;
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* next = out.data();
    std::size_t outLeft = out.size();
    ok = iconv(cd, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

#endif

// Well-formed UTF-8: no overlong forms, no surrogates.
bool isUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned c = *p++;
        if (c < 0x80) continue;
        int more;
        unsigned value, least;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1, value = c & 0x1F, least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2, value = c & 0x0F, least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3, value = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p < more) return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        p += more;
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    }
    return true;
}

// One piece of UTF-8 in Shift-JIS; false when some character has no exact
// Shift-JIS form.
bool utf8ToShiftJis(const std::string& utf8, std::string& out) {
#ifdef _WIN32
    const int n = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
    if (wide <= 0) return false;
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, text.data(), wide);
    // No best fit: a look-alike would name another font or key.
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    out.assign(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), wide, out.data(), bytes, nullptr, &lossy);
    // The way back must give the same text: nothing dropped or merged.
    std::wstring back(static_cast<std::size_t>(wide), L'\0');
    return !lossy && MultiByteToWideChar(932, 0, out.data(), bytes, back.data(), wide) == wide && back == text;
#else
    bool ok = false;
    out = convert("CP932", "UTF-8", utf8, ok);
    bool back = false;
    return ok && convert("UTF-8", "CP932", out, back) == utf8 && back;
#endif
}

// Bytes in a UTF-8 sequence that starts with `lead` (valid UTF-8 given).
std::size_t sequenceLength(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

// A line of valid UTF-8 in Shift-JIS, character by character where the
// line as a whole cannot be: only what has no form is lost.
std::string lineAsShiftJis(const std::string& line) {
    if (!hasNonAscii(line)) return line;
    std::string out;
    if (utf8ToShiftJis(line, out)) return out;
    out.clear();
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t n = sequenceLength(static_cast<unsigned char>(line[at]));
        const std::string character = line.substr(at, n);
        std::string converted;
        if (n == 1)
            out += character;
        else if (utf8ToShiftJis(character, converted))
            out += converted;
        else
            out += settingsCharacterNotKept;
        at += n;
    }
    return out;
}

void appendUtf8(std::string& out, unsigned value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

// UTF-16 after its mark, in UTF-8. A lone surrogate becomes U+FFFD, which
// Shift-JIS has no form for; an odd last byte is dropped.
std::string utf16AsUtf8(const char* data, std::size_t size, bool bigEndian) {
    const auto unit = [&](std::size_t i) {
        const auto* b = reinterpret_cast<const unsigned char*>(data) + i;
        return bigEndian ? (unsigned{b[0]} << 8) | b[1] : (unsigned{b[1]} << 8) | b[0];
    };
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        unsigned value = unit(i);
        if (value >= 0xD800 && value <= 0xDBFF && i + 3 < size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            value = 0x10000 + ((value - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (value >= 0xD800 && value <= 0xDFFF) {
            value = 0xFFFD;
        }
        appendUtf8(out, value);
    }
    return out;
}

}  // namespace

std::string settingsTextAsShiftJis(const char* data, std::size_t size) {
    std::string text;
    const auto starts = [&](const char* mark, std::size_t n) { return size >= n && std::memcmp(data, mark, n) == 0; };
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        text = utf16AsUtf8(data + 2, size - 2, data[0] == '\xFE');
    else
        text.assign(data, size);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    if (!hasNonAscii(text) || !isUtf8(text)) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        out += lineAsShiftJis(text.substr(pos, end - pos));
        pos = end;
    }
    return out;
}
