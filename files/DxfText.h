// The characters of DXF texts: the file's encoding, escapes and control codes, both ways.
#pragma once

#include <string>
#include <string_view>

// How the texts of one DXF file are encoded, from its header.
struct DxfTextEncoding {
    std::string codePage;  // $DWGCODEPAGE value, e.g. "ANSI_932", "ANSI_1252", empty if none
    bool utf8 = false;     // $ACADVER AC1021 (R2007) or later
};

// A text value (group 1/3 of TEXT, MTEXT, ATTRIB ...) as UTF-8: the bytes decoded by the
// encoding (UTF-8 files: invalid bytes replaced; no code page or one unknown here: Shift-JIS;
// "ANSI_xxx" pages through Qt's converters, "windows-xxx"), then the "\U+XXXX" escapes and
// the control codes "%%c" (U+2300), "%%d" (°), "%%p" (±), "%%%" (%), "%%nnn" (the character of
// that three-digit code), in either case; the underline and overline toggles "%%u" and "%%o"
// are removed. Pure ASCII without '\' or '%' comes back as it is, without a converter; the
// converter of a code page is opened once per thread and kept while the code page stays.
std::string DecodeDxfText(std::string_view raw, const DxfTextEncoding& encoding);
// A UTF-8 text as DXF export writes it: CP932 bytes, \U+XXXX for what CP932 lacks.
std::string EncodeDxfText(std::string_view utf8);
