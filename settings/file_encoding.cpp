#include "file_encoding.h"

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

// One line of UTF-8 in Shift-JIS; false when some character has no exact
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

}  // namespace

std::string settingsTextAsShiftJis(const char* data, std::size_t size) {
    std::string text(data, size);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    if (!hasNonAscii(text) || !isUtf8(text)) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(pos, end - pos);
        std::string converted;
        if (!hasNonAscii(line))
            out += line;
        else if (utf8ToShiftJis(line, converted))
            out += converted;
        else if (line.back() == '\n')
            out += '\n';
        pos = end;
    }
    return out;
}
