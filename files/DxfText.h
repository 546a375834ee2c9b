// The texts of DXF files: their code pages, escapes and control codes.
#pragma once

#include <string>
#include <string_view>

// How the texts of one DXF file are encoded, from its header.
struct DxfTextEncoding {
    std::string codePage;  // $DWGCODEPAGE, e.g. "ANSI_932"; empty when the file gives none
    bool utf8 = false;     // $ACADVER AC1021 (R2007) or later
};

// A text value as UTF-8.
std::string DecodeDxfText(std::string_view raw, const DxfTextEncoding& encoding);
// A UTF-8 text as DXF export writes it: CP932 bytes, \U+XXXX for what CP932 lacks.
std::string EncodeDxfText(std::string_view utf8);
