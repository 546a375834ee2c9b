// Texts of files decoded for display: the Windows extensions of Shift-JIS and damaged bytes.
#include <gtest/gtest.h>

#include "files/ShiftJis.h"

TEST(ShiftJis, WindowsExtensionsDecodeAsWindowsShowsThem) {
    // ①, the wave dash, half-width ｱ, an NEC-selected IBM kanji, small roman ⅰ, hiragana あ
    const std::string bytes = "\x87\x40\x81\x60\xB1\xED\x40\xFA\x40\x82\xA0";
    EXPECT_EQ(DecodeShiftJis(bytes), QString::fromUtf8("①～ｱ纊ⅰあ"));
    EXPECT_EQ(DecodeShiftJis("plain ASCII"), QStringLiteral("plain ASCII"));
}

TEST(ShiftJis, InvalidBytesBecomeReplacementCharactersAndTheRestIsKept) {
    EXPECT_EQ(DecodeShiftJis("A\x81\x20"
                             "BC"),
              QString::fromUtf8("A\uFFFD BC"));
    EXPECT_EQ(DecodeShiftJis("AB\x81"), QString::fromUtf8("AB\uFFFD"));
    EXPECT_EQ(DecodeShiftJis(std::string("\x82\xA0\0\x82\xA2", 5)), QString::fromUtf8("あ\0い", 7));
}
