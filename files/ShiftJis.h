// Texts of files and the network: code page 932 (Shift-JIS with the Windows extensions) to
// Unicode and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

// Decodes code page 932 bytes for display: half-width kana, circled digits, the wave dash
// and the other Windows extensions come out as Windows shows them; a byte sequence that is
// not valid code page 932 (a stray trail byte, a lead byte cut off at the end) becomes one
// U+FFFD each, and the rest of the text is kept.
QString DecodeShiftJis(std::string_view bytes);

// The code page 932 bytes of one character, appended to `out`; false, appending nothing, when
// the code page has no such character. Where the code page holds a character twice (the NEC
// and IBM rows of the Windows extensions), the bytes Windows itself writes are chosen:
// the JIS rows first, then NEC row 13, then the IBM rows, the NEC copy of the IBM rows last.
bool AppendCodePage932(std::string& out, char32_t c);

// Texts as the drawing files keep them: code page 932 bytes, and "\U+XXXX" (four hex digits)
// for each character the code page lacks, UTF-16 surrogate pairs for characters beyond the
// Basic Multilingual Plane. From UTF-8; an invalid UTF-8 byte is written as U+FFFD.
std::string EncodeCodePage932Text(std::string_view utf8);
// And back to UTF-8, the "\U+XXXX" escapes resolved (a pair of escaped surrogates gives one
// character, a lone surrogate U+FFFD).
std::string DecodeCodePage932Text(std::string_view bytes);
// Resolves the "\U+XXXX" escapes of a text already decoded.
QString ResolveUnicodeEscapes(const QString& text);
