// Any bytes as Morvi.ini: the loader must stay in bounds, and what it makes of
// them must survive a save and a reload unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/file_encoding.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Settings first{};
    parseSettingsText(first, reinterpret_cast<const char*>(data), size);
    if (first.displayFont.lfFaceName[LF_FACESIZE - 1] != '\0') std::abort();
    for (const KeyBinding& b : first.keyBindings)
        if (b.name[sizeof b.name - 1] != '\0') std::abort();

    const std::string written = formatSettingsFile(first);
    // Shift-JIS that happens to be valid UTF-8 is read as UTF-8: no round trip.
    if (settingsTextAsShiftJis(written.data(), written.size()) != written) return 0;
    Settings second{};
    parseSettingsText(second, written.data(), written.size());
    if (formatSettingsFile(second) != written) std::abort();
    return 0;
}
