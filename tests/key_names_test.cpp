#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "settings/key_names.h"
#include "ui/language_choice.h"

namespace {

TEST(KeyNames, TableIsOrderedUniqueAndEveryNameFitsABinding) {
    std::set<std::uint32_t> codes;
    std::uint32_t previous = 0;
    for (const KeyName& row : KeyNameTable) {
        EXPECT_GT(row.code, previous);
        EXPECT_LE(row.code, 0xDFu);
        previous = row.code;
        codes.insert(row.code);
        ASSERT_NE(row.name, nullptr);
        EXPECT_LE(std::strlen(row.name), 15u) << row.code;
        EXPECT_GT(std::strlen(row.name), 0u) << row.code;
    }
    EXPECT_EQ(codes.size(), 120u);
}

TEST(KeyNames, LookupOfListedKeys) {
    EXPECT_STREQ(lookupKeyName(0x39), "Space");
    EXPECT_STREQ(lookupKeyName(0xDC), "Windows (Right)");
    EXPECT_EQ(std::strlen(lookupKeyName(0xDC)), 15u);
    EXPECT_STREQ(lookupKeyName(0x01), "Esc");
    EXPECT_STREQ(lookupKeyName(0x3B), "F1");
    EXPECT_STREQ(lookupKeyName(0x1D), "Ctrl (Left)");
    EXPECT_STREQ(lookupKeyName(0x0F), "Tab");
    EXPECT_STREQ(lookupKeyName(0xDF), "Sleep");
    // Two pairs of keys share a name; only the code tells them apart.
    EXPECT_STREQ(lookupKeyName(0x2B), "\\");
    EXPECT_STREQ(lookupKeyName(0x7D), "\\");
    EXPECT_STREQ(lookupKeyName(0x0D), "=");
    EXPECT_STREQ(lookupKeyName(0x8D), "=");
}

TEST(KeyNames, JapaneseNamesAreShiftJisBytes) {
    EXPECT_STREQ(lookupKeyName(0x79), "\x95\xCF\x8A\xB7");          // 変換
    EXPECT_STREQ(lookupKeyName(0x7B), "\x96\xB3\x95\xCF\x8A\xB7");  // 無変換
    EXPECT_STREQ(lookupKeyName(0xC8), "\x81\xAA");                  // ↑
    EXPECT_STREQ(lookupKeyName(0xCB), "\x81\xA9");                  // ←
    EXPECT_STREQ(lookupKeyName(0xCD), "\x81\xA8");                  // →
    EXPECT_STREQ(lookupKeyName(0xD0), "\x81\xAB");                  // ↓
    EXPECT_EQ(std::memcmp(unlistedKeyName, "\x95\x73\x96\xBE\0", 5), 0);
}

TEST(KeyNames, UnlistedCodesAndRow0x90GiveTheSharedUnlistedName) {
    EXPECT_EQ(lookupKeyName(0x3A), unlistedKeyName);  // Caps Lock
    EXPECT_EQ(lookupKeyName(0x90), unlistedKeyName);  // its own row, the same string
    EXPECT_EQ(lookupKeyName(0x00), unlistedKeyName);
    EXPECT_EQ(lookupKeyName(0xFF), unlistedKeyName);
    EXPECT_EQ(lookupKeyName(0x13B), unlistedKeyName);  // not F1 cut to 8 bits
    for (std::uint32_t code = 0; code < 256; ++code) {
        const char* name = lookupKeyName(code);
        ASSERT_NE(name, nullptr);
        bool listed = false;
        for (const KeyName& row : KeyNameTable) listed = listed || row.code == code;
        EXPECT_EQ(isUnlistedKeyName(name), !listed || code == 0x90) << code;
    }
    // A copy of the name counts too: the test compares bytes, not pointers.
    char copy[16] = "\x95\x73\x96\xBE";
    EXPECT_TRUE(isUnlistedKeyName(copy));
    EXPECT_FALSE(isUnlistedKeyName("\x95\x73\x96\xBE!"));
    EXPECT_FALSE(isUnlistedKeyName("1"));
}

// What the user reads follows their display language, whatever language
// Windows was installed in: Japanese for Japanese, English for every other.
TEST(ProgramLanguage, FollowsTheUsersDisplayLanguage) {
    const struct {
        std::uint16_t display, shown;
    } cases[] = {{0x0411, japaneseLanguage}, {0x0011, japaneseLanguage},  // Japanese, and its neutral form
                 {0x0804, englishLanguage},  {0x0412, englishLanguage},   // Chinese (PRC), Korean
                 {0x0407, englishLanguage},  {0x0809, englishLanguage},  {0x0000, englishLanguage}};
    for (const auto& c : cases) EXPECT_EQ(programLanguageFor(c.display), c.shown) << std::hex << c.display;
}

}  // namespace
