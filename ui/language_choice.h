// Which of Morvi's two languages a user meets: Japanese when the user's
// display language is Japanese, English (United States) for every other, so
// that what Morvi shows follows what Windows shows the user, whatever
// language Windows was installed in. Portable: the choice is tested natively.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t japaneseLanguage = 0x0411;  // LANG_JAPANESE, SUBLANG_DEFAULT
inline constexpr std::uint16_t englishLanguage = 0x0409;   // LANG_ENGLISH, SUBLANG_ENGLISH_US

constexpr std::uint16_t programLanguageFor(std::uint16_t userDisplayLanguage) {
    return (userDisplayLanguage & 0x3FF) == (japaneseLanguage & 0x3FF) ? japaneseLanguage : englishLanguage;
}
