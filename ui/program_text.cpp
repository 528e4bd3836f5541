#include "ui/program_text.h"

#include <cstring>
#include <vector>

std::wstring widenProgramText(const char* text, std::size_t maxBytes) {
    std::size_t length = 0;
    while (length < maxBytes && text[length] != '\0') ++length;
    if (length == 0) return std::wstring();
    const int n = static_cast<int>(length);
    const int wide = MultiByteToWideChar(programCodePage, 0, text, n, nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(programCodePage, 0, text, n, out.data(), wide);
    return out;
}

bool narrowProgramText(const wchar_t* text, char* out, std::size_t capacity) {
    const int length = lstrlenW(text);
    if (length == 0) {
        if (capacity == 0) return false;
        out[0] = '\0';
        return true;
    }
    // No best fit: a character Shift-JIS lacks must not become a look-alike
    // or a question mark that names another font or key.
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(programCodePage, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy || static_cast<std::size_t>(bytes) + 1 > capacity) return false;
    std::vector<char> narrow(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(programCodePage, WC_NO_BEST_FIT_CHARS, text, length, narrow.data(), bytes, nullptr, &lossy);
    // The way back must give the same text: no character was dropped or merged.
    if (lossy || widenProgramText(narrow.data(), narrow.size()) != std::wstring(text, static_cast<std::size_t>(length)))
        return false;
    std::memcpy(out, narrow.data(), narrow.size());
    out[narrow.size()] = '\0';
    return true;
}

std::string asciiText(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) out.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7F');
    return out;
}
