// The command line: a drawing to open in the window, or a conversion without a window.
#pragma once

#include <QString>
#include <QStringList>

class DrawingStore;

struct CommandLine {
    enum class Mode { Window, Convert, Print, Help, Version, Invalid };
    Mode mode = Mode::Window;
    QString file;         // the drawing to read (Window: empty for none)
    QString output;       // Convert: the file to write; Print: the PDF file
    bool tarnix = false;  // the drawing is a file of the other drafting program
};

// Reads the arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);
// Reads the program's own arguments, before any application exists.
CommandLine ParseProgramArguments(int argc, char** argv);

// Answers what needs no window and no display: help, the version, a usage error (the usage
// where errors go, status 2) and a conversion. Returns the exit status, or -1 when the
// command line asks for the window or for printing.
int RunWithoutWindow(int argc, char** argv, const CommandLine& commandLine);

// The text of --help and the line of --version.
QString UsageText();
QString VersionText();

// The kind of drawing file a path names, by its extension (case-insensitive).
// Files of the other drafting program have no extension of their own: --tarnix names them.
enum class DrawingFormat { Unknown, Dac, Dxf, Tarnix };
DrawingFormat FormatOf(const QString& path);

// Reads `input` and writes `output` without a window, with the readers, writers and
// default settings of the menu commands; what the window would show in message boxes goes
// to standard error. Returns the exit status: 0 when the output was written, 1 when the
// input could not be read or the output not written, 2 for a format it does not know.
// With `thenExit` the process ends there with that status, the drawing left to the system
// to take back at once rather than taken apart piece by piece (some hundredths of a second
// for a drawing of a million elements).
int RunConvert(const QString& input, const QString& output, bool tarnix = false,
               bool thenExit = false);

// Reads a drawing into the store as the menu commands do, telling on standard error what
// their message boxes would show. The exit status: 0 when read, 1 when it cannot be, 2 for
// a format it does not know.
int ReadDrawing(DrawingStore& store, const QString& input, DrawingFormat format);
// Says on standard error that the type of the file at `path` is not known; returns 2.
int UnknownType(const QString& path);
