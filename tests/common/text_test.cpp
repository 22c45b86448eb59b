#include <gtest/gtest.h>

#include "core/common/cp1252.h"
#include "core/common/io_error.h"
#include "core/common/number_format.h"

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

TEST(FormatFloat, UsesTheConfiguredDecimalSeparator) {
    EXPECT_EQ(FormatFloat("%5.2f", 1.0), " 1.00");
    EXPECT_EQ(FormatFloat("F%0.1f", 2.8), "F2.8");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatFloat("%5.2f mm", 6.3), " 6,30 mm");
    EXPECT_EQ(FormatFloats("%0.0f:%0.0f:%0.0f", 9, 30, 45.5), "9:30:46");
    SetDecimalSeparator('.');
    EXPECT_EQ(FormatFloat("%4.4f sec", 1.0 / 60), "0.0167 sec");
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
