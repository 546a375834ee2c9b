// The command line: the drawing named on it, read by the reader its extension names.
#pragma once

#include <QString>
#include <QStringList>

class TForm1;

struct CommandLine {
    bool understood = true;  // false: the usage has been printed, the program should end
    QString file;            // empty: start with an empty drawing
};

// Reads the arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);

// Opens a drawing in the window with the reader its extension names, as the file menu would
// once the file is chosen. A file whose type is not known, or that cannot be read, is
// reported and leaves the drawing empty.
void OpenDrawing(TForm1& form, const QString& path);
