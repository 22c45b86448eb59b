// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>

#include "core/common/extract_mode.h"
#include "core/common/process_id.h"

namespace veltrane {
namespace {

TEST(ModeWords, AreReadInAnyLetterCaseAndWrittenInLowerCase) {
    struct Case { const char* word; std::optional<ExtractMode> mode; };
    const Case cases[] = {
        {"odd", ExtractMode::Odd},  {"ODD", ExtractMode::Odd},   {"Even", ExtractMode::Even},
        {"eVeN", ExtractMode::Even}, {"all", std::nullopt},      {"", std::nullopt},
        {"odd ", std::nullopt},      {"od", std::nullopt},       {"evens", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(ParseModeWord(c.word), c.mode);
    }
    EXPECT_EQ(ModeWord(ExtractMode::All), "");
    EXPECT_EQ(ModeWord(ExtractMode::Odd), "odd");
    EXPECT_EQ(ModeWord(ExtractMode::Even), "even");
}

TEST(ProcessIds, TellThisProcessFromNumbersThatNameNone) {
    EXPECT_GT(CurrentProcessId(), 0);
    EXPECT_TRUE(IsProcessRunning(CurrentProcessId()));
    // Above any process number the systems hand out (and a multiple of 4, as Windows' are).
    EXPECT_FALSE(IsProcessRunning(0x7FFFFFFC));
    EXPECT_FALSE(IsProcessRunning(0));
    EXPECT_FALSE(IsProcessRunning(-1));
}

}  // namespace
}  // namespace veltrane
