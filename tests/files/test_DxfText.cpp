// The characters of DXF texts: code pages, UTF-8, escapes and control codes, and the export's
// code page 932.
#include <gtest/gtest.h>

#include <string>

#include "files/DxfText.h"
#include "files/ShiftJis.h"

TEST(DxfText, TextsDecodeByTheFilesEncodingThenEscapesAndControlCodes) {
    struct Row {
        std::string raw, codePage;
        bool utf8;
        std::string expected;
    };
    const Row rows[] = {
        {"plain text", "ANSI_1252", false, "plain text"},
        {"\x93\xfa\x96\x7b", "ANSI_932", false, "日本"},
        {"\x93\xfa\x96\x7b", "", false, "日本"},            // no code page: Shift-JIS
        {"\x93\xfa\x96\x7b", "ANSI_99999", false, "日本"},  // one unknown here: the same
        {"\xC4nd.", "ANSI_1252", false, "Änd."},
        {"\xC4nd.", " ansi_1252", false, "Änd."},
        {"\xC0\xE1", "ANSI_1251", false, "Аб"},
        {"\xD6\xD0", "ANSI_936", false, "中"},
        {"Änd. 日本", "ANSI_1252", true, "Änd. 日本"},  // R2007 and later: UTF-8 whatever the page
        {"A\xFF\xC3" "B", "", true, "A\uFFFD\uFFFDB"},
        {"\xFF", "", false, "\uFFFD"},
        {"\\U+6f22\\U+5B57 x", "ANSI_1252", false, "漢字 x"},
        {"\\U+D83D\\U+DE00|\\U+D83D|\\U+DE00", "", false, "😀|\uFFFD|\uFFFD"},
        {"\\U+12 \\U+zzzz \\u+0041", "", false, "\\U+12 \\U+zzzz \\u+0041"},
        // The trail byte of "表" is a backslash: escapes are found in characters, not bytes.
        {"\x95\x5cU+0041", "ANSI_932", false, "表U+0041"},
        {"%%c50 %%D90 %%p0.1 100%%%", "", false, "⌀50 °90 ±0.1 100%"},
        {"%%uUnder%%U %%oover%%O", "", false, "Under over"},
        {"%%065%%176", "ANSI_1252", false, "A°"},
        {"%%177", "ANSI_932", false, "ｱ"},
        {"%%177", "", true, "±"},
        {"50% %%x %%", "", false, "50% %%x %%"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DecodeDxfText(r.raw, DxfTextEncoding{r.codePage, r.utf8}), r.expected)
            << r.raw << " " << r.codePage;
}

TEST(DxfText, ExportWritesCodePage932AsWindowsDoesAndEscapesWhatItLacks) {
    const std::pair<std::string, std::string> rows[] = {
        {"abc \\ %", "abc \\ %"},
        {"日本 表", "\x93\xfa\x96\x7b \x95\x5c"},
        // Characters the code page holds twice take the bytes Windows writes.
        {"①～ｱ纊ⅰⅠ￢", "\x87\x40\x81\x60\xb1\xfa\x5c\xfa\x40\x87\x54\x81\xca"},
        {"Änd. €", "\\U+00C4nd. \\U+20AC"},
        {"😀", "\\U+D83D\\U+DE00"},
        {"A\xFF" "B", "A\\U+FFFDB"},
    };
    for (const auto& [utf8, bytes] : rows) {
        EXPECT_EQ(EncodeDxfText(utf8), bytes) << utf8;
        if (utf8.find('\xFF') == std::string::npos) {
            EXPECT_EQ(DecodeDxfText(bytes, DxfTextEncoding{"ANSI_932", false}), utf8);
        }
    }
    // Every character of the code page comes back as itself.
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const char pair[2] = {char(lead), char(trail)};
            const QString c = DecodeShiftJis(std::string_view(pair, 2));
            if (c.size() != 1 || c[0] == QChar::ReplacementCharacter) continue;
            const std::string utf8 = c.toStdString();
            EXPECT_EQ(DecodeCodePage932Text(EncodeDxfText(utf8)), utf8) << lead << " " << trail;
        }
    }
}
