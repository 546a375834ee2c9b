// The DXF writer (Mtrans): the texts of an ASCII DXF file and the export of a drawing.
#pragma once

#include <string>
#include <string_view>

#include "files/TextFileIo.h"

class DrawingStore;

// Each builder replaces the content of `out` with the text of its piece. Group codes are
// right-aligned in three characters, integer values in six, element values are written as
// "%.6lf" in the C locale, and every line ends in CR LF.

// The HEADER section. Empty, unless the drawing has a text beyond ASCII: then it names the
// file's version ("AC1009") and code page 932, without which other programs would read the
// texts' bytes as UTF-8 or in their own code page, and leave their "\U+XXXX" escapes as they are.
void WriteDxfHeader(std::string& out, bool codePage932 = false);
// The TABLES section: six line types and the layers "0" and "1".
void WriteDxfTables(std::string& out);
// The BLOCKS section, empty.
void WriteDxfBlocks(std::string& out);
// HEADER, TABLES and BLOCKS, then the opening of the ENTITIES section.
void WriteDxfPrologue(std::string& out, bool codePage932 = false);

// Lines go on layer "1", circles, arcs and texts on layer "0".
void WriteDxfLine(std::string& out, double x1, double y1, double x2, double y2);
void WriteDxfCircle(std::string& out, double cx, double cy, double r);
void WriteDxfArc(std::string& out, double cx, double cy, double r, double start, double end);
// `text` (UTF-8) is written in code page 932, "\U+XXXX" for each character the code page lacks
// (EncodeDxfText); CR and LF become blanks: a line break inside the value would shift every
// group after it by one line.
void WriteDxfText(std::string& out, double x, double y, double height, std::string_view text,
                  double angle);
// The close of ENTITIES and the end of the file.
void WriteDxfEnd(std::string& out);

// True when a text (UTF-8) holds a character beyond ASCII: a byte of 0x80 or above.
bool NeedsCodePage932(std::string_view text);

// Writes the whole DXF file of the drawing through the sink in chunks; false as soon as the sink
// fails.
bool WriteDxfRecords(const DrawingStore& store, const TextSink& sink);
// Replaces `path` by a complete new DXF file (SaveFileAtomically); false when anything fails,
// and then an existing file at `path` is untouched.
bool SaveDxfFile(const std::string& path, const DrawingStore& store);
