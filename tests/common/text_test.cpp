// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/common/cp1252.h"
#include "core/common/io_error.h"
#include "core/common/number_format.h"
#include "core/common/unicode_text.h"

namespace veltrane {
namespace {

TEST(Cp1252, ConvertsEveryByteToItsCharacterAndBack) {
    struct Case { std::string cp1252; std::string utf8; };
    const Case cases[] = {
        {"Rotated 180\xB0", "Rotated 180\xC2\xB0"},
        {"\x80", "\xE2\x82\xAC"},          // euro sign
        {"\x9F", "\xC5\xB8"},              // Y with diaeresis
        {"\x81", "\xC2\x81"},              // undefined byte: its C1 control
        {"caf\xE9", "caf\xC3\xA9"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
    }
    EXPECT_EQ(Utf8ToCp1252("\xE2\x98\x83 \xC3"), "? ?");  // no such byte; a cut sequence
}

TEST(Utf16, ConvertsEveryScriptAndKeepsLoneSurrogates) {
    struct Case { std::string utf8; std::u16string utf16; };
    const Case cases[] = {
        {"", u""},
        {"vr\xC3\xA9g", u"vr\u00E9g"},
        {"\xCF\x83\xCF\x84\xCE\xB5", u"\u03C3\u03C4\u03B5"},            // Greek
        {"\xE7\xAB\x8B\xE4\xBD\x93", u"\u7ACB\u4F53"},                  // Japanese
        {"\xF0\x9F\x93\xB7", u"\U0001F4F7"},                            // a surrogate pair
        {"a\xED\xA0\x80" "b", std::u16string{u'a', char16_t(0xD800), u'b'}},  // a lone surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    }
    // Malformed bytes: a stray continuation, a cut sequence, an overlong slash, beyond U+10FFFF.
    for (const char* bad : {"\x80", "\xE7\xAB", "\xC0\xAF", "\xF4\x90\x80\x80"}) {
        SCOPED_TRACE(bad);
        const std::u16string units = Utf8ToUtf16(bad);
        EXPECT_FALSE(units.empty());
        EXPECT_EQ(units.find_first_not_of(u'\uFFFD'), std::u16string::npos);
    }
}

TEST(FormatFloat, UsesTheDecimalSeparatorOfTheFormatGiven) {
    const NumberFormat point, comma{','};
    EXPECT_EQ(FormatFloat(point, "%5.2f", 1.0), " 1.00");
    EXPECT_EQ(FormatFloat(point, "F%0.1f", 2.8), "F2.8");
    EXPECT_EQ(FormatFloat(comma, "%5.2f mm", 6.3), " 6,30 mm");
    EXPECT_EQ(FormatFloats(comma, "%0.0f:%0.0f:%0.0f", 9, 30, 45.5), "9:30:46");
    EXPECT_EQ(FormatFloat(point, "%4.4f sec", 1.0 / 60), "0.0167 sec");
}

TEST(NumberFormatOfUserLocale, TakesAPointForALocaleTheSystemDoesNotKnow) {
#ifdef _WIN32
    GTEST_SKIP() << "the locale names of the environment are a POSIX convention";
#else
    const char* saved = std::getenv("LC_ALL");
    const std::string before = saved != nullptr ? saved : "";
    ::setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
    EXPECT_EQ(NumberFormatOfUserLocale().decimalSeparator, '.');
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(NumberFormatOfUserLocale().decimalSeparator, '.');
    if (saved != nullptr) ::setenv("LC_ALL", before.c_str(), 1);
    else ::unsetenv("LC_ALL");
#endif
}

TEST(InOutError, CarriesTheRunTimeTexts) {
    EXPECT_STREQ(InOutError(2, "a").what(), "File not found");
    EXPECT_STREQ(InOutError(5, "a").what(), "File access denied");
    EXPECT_STREQ(InOutError(100, "a").what(), "Read beyond end of file");
    EXPECT_STREQ(InOutError(101, "a").what(), "Disk full");
    EXPECT_STREQ(InOutError(21, "a").what(), "I/O error 21");
}

}  // namespace
}  // namespace veltrane
