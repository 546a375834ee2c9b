// Texts of files and the network: code page 932 (Shift-JIS with the Windows extensions) to Unicode.
#pragma once

#include <QString>
#include <string_view>

// Decodes code page 932 bytes for display: half-width kana, circled digits, the wave dash
// and the other Windows extensions come out as Windows shows them; a byte sequence that is
// not valid code page 932 (a stray trail byte, a lead byte cut off at the end) becomes one
// U+FFFD each, and the rest of the text is kept.
QString DecodeShiftJis(std::string_view bytes);
