// The command line: a drawing to open in the window, or a conversion without a window.
#pragma once

#include <QString>
#include <QStringList>

class TForm1;

struct CommandLine {
    enum class Mode { Window, Convert, Print, Help, Version, Invalid };
    Mode mode = Mode::Window;
    QString file;         // the drawing to read (Window: empty for none)
    QString output;       // Convert: the file to write; Print: the PDF file
    bool tarnix = false;  // the drawing is a file of the other drafting program
};

// Reads the arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);

// The text of --help and the line of --version.
QString UsageText();
QString VersionText();

// The kind of drawing file a path names, by its extension (case-insensitive).
// Files of the other drafting program have no extension of their own: --tarnix names them.
enum class DrawingFormat { Unknown, Dac, Dxf, Tarnix };
DrawingFormat FormatOf(const QString& path);

// Opens a drawing in the window with the reader its extension names, as the file menu does
// once the file is chosen. A file whose type is not known, or that cannot be read, is
// reported and leaves the drawing empty.
void OpenDrawing(TForm1& form, const QString& path, bool tarnix = false);

// Reads `input` and writes `output` without a window, with the readers, writers and
// default settings of the menu commands; what the window would show in message boxes goes
// to standard error. Returns the exit status: 0 when the output was written, 1 when the
// input could not be read or the output not written, 2 for a format it does not know.
int RunConvert(const QString& input, const QString& output, bool tarnix = false);

// Reads `input` and prints it to the PDF file `output` with the placement of the print
// command, without a window and without the question. The exit status as for RunConvert;
// a drawing without lines has nothing to print and gives 1.
int RunPrint(const QString& input, const QString& output, bool tarnix = false);
