#include "ui/font_faces.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/program_text.h"

namespace {

std::uint16_t bigEndian16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// The TrueType/OpenType 'name' table: a header, then records of platform,
// encoding, language, name id, length and offset, all big-endian 16-bit.
std::wstring familyNameIn(const std::vector<unsigned char>& table) {
    if (table.size() < 6) return std::wstring();
    const std::size_t count = bigEndian16(&table[2]);
    const std::size_t strings = bigEndian16(&table[4]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 12 * i;
        if (at + 12 > table.size()) break;
        const unsigned char* record = &table[at];
        const bool windowsUnicode = bigEndian16(record) == 3 && bigEndian16(record + 2) <= 1;
        if (!windowsUnicode || bigEndian16(record + 4) != 0x0409 || bigEndian16(record + 6) != 1) continue;
        const std::size_t length = bigEndian16(record + 8);
        const std::size_t offset = strings + bigEndian16(record + 10);
        if (offset + length > table.size()) break;
        std::wstring name;
        for (std::size_t k = 0; k + 1 < length; k += 2)
            name.push_back(static_cast<wchar_t>(bigEndian16(&table[offset + k])));
        return name;
    }
    return std::wstring();
}

// The members the two descriptions share, all but the face name, which
// both hold in the same places before it.
static_assert(offsetof(LOGFONTA, lfFaceName) == offsetof(LOGFONTW, lfFaceName));
template <typename To, typename From>
To numbersOf(const From& f) {
    To out{};
    std::memcpy(&out, &f, offsetof(LOGFONTA, lfFaceName));
    return out;
}

}  // namespace

LOGFONTW wideLogFont(const LOGFONTA& f) {
    LOGFONTW out = numbersOf<LOGFONTW>(f);
    // At most 31 bytes give at most 31 characters: the terminator stays.
    widenProgramText(f.lfFaceName, sizeof f.lfFaceName).copy(out.lfFaceName, LF_FACESIZE - 1);
    return out;
}

LOGFONTA narrowLogFont(const LOGFONTW& f) { return numbersOf<LOGFONTA>(f); }

LOGFONTW displayLogFont(const LOGFONTA& font) {
    LOGFONTW out = wideLogFont(font);
    out.lfWidth = 0;
    return out;
}

std::wstring englishFamilyName(const LOGFONTW& font) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const HFONT created = CreateFontIndirectW(&font);
    const HGDIOBJ old = SelectObject(dc, created);
    std::wstring name;
    // Only the font asked for: a face Windows does not have is matched to
    // another, whose name would stand for it.
    wchar_t realised[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, realised);
    if (lstrcmpiW(realised, font.lfFaceName) == 0) {
        constexpr DWORD nameTag = 0x656D616E;  // "name", as GetFontData takes it
        const DWORD size = GetFontData(dc, nameTag, 0, nullptr, 0);
        if (size != GDI_ERROR && size > 0) {
            std::vector<unsigned char> table(size);
            if (GetFontData(dc, nameTag, 0, table.data(), size) == size) name = familyNameIn(table);
        }
    }
    SelectObject(dc, old);
    DeleteObject(created);
    DeleteDC(dc);
    return name;
}

bool faceForSettings(const LOGFONTW& chosen, char (&out)[LF_FACESIZE]) {
    if (narrowProgramText(chosen.lfFaceName, out, sizeof out)) return true;
    const std::wstring english = englishFamilyName(chosen);
    return !english.empty() && narrowProgramText(english.c_str(), out, sizeof out);
}
