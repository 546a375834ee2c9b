// What the command line asks of the window program: a drawing opened in the window, or printed.
#pragma once

#include <QString>

class TForm1;

// Opens a drawing in the window with the reader its extension names, as the file menu does
// once the file is chosen. A file whose type is not known, or that cannot be read, is
// reported and leaves the drawing empty.
void OpenDrawing(TForm1& form, const QString& path, bool tarnix = false);

// Reads `input` and prints it to the PDF file `output` with the placement of the print
// command, without a window and without the question. The exit status as for RunConvert;
// a drawing without lines has nothing to print and gives 1.
int RunPrint(const QString& input, const QString& output, bool tarnix = false);
