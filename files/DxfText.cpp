// Placeholder until the text codec lands: texts pass as they are.
#include "files/DxfText.h"

std::string DecodeDxfText(std::string_view raw, const DxfTextEncoding&) { return std::string(raw); }
std::string EncodeDxfText(std::string_view utf8) { return std::string(utf8); }
