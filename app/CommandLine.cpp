// The command line: a drawing to open in the window, or a conversion without a window. Only
// the core of Qt and the files are used here: a conversion loads nothing of the window.
#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "files/DacFile.h"
#include "files/DxfReader.h"
#include "files/DxfWriter.h"
#include "files/TarnixReader.h"
#include "files/TextFileIo.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

#ifndef KORVO_VERSION
#define KORVO_VERSION "0"
#endif

namespace {

// QApplication's own options, which it takes out of the arguments before the program sees
// them; the parse before any application exists takes them out the same way. Qt accepts
// them with one dash or two, and those with a value with "=value" too.
QStringList WithoutQtOptions(const QStringList& arguments) {
    static const QStringList withValue = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
        "geometry", "title", "name", "visual"};
    static const QStringList flags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (!a.startsWith('-')) {
            kept << a;
            continue;
        }
        QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = name.indexOf('=');
        if (equals >= 0) name.truncate(equals);
        if (withValue.contains(name)) {
            if (equals < 0) ++i;  // the value is the next argument
        } else if (!flags.contains(name) && !(name == "qmljsdebugger" && equals >= 0)) {
            kept << a;
        }
    }
    return kept;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    QStringList a = WithoutQtOptions(arguments);
    c.tarnix = a.removeAll(QStringLiteral("--tarnix")) > 0;
    if (a.size() == 1 && (a[0] == "--help" || a[0] == "-h")) {
        c.mode = CommandLine::Mode::Help;
    } else if (a.size() == 1 && a[0] == "--version") {
        c.mode = CommandLine::Mode::Version;
    } else if (!a.isEmpty() && (a[0] == "--convert" || a[0] == "--print")) {
        if (a.size() != 3) {
            c.mode = CommandLine::Mode::Invalid;
        } else if (a[0] == "--convert") {
            c.mode = CommandLine::Mode::Convert;
            c.file = a[1];
            c.output = a[2];
        } else {
            c.mode = CommandLine::Mode::Print;
            c.output = a[1];
            c.file = a[2];
        }
    } else if (a.size() > 1 || (a.size() == 1 && a[0].startsWith('-'))) {
        c.mode = CommandLine::Mode::Invalid;
    } else if (a.size() == 1) {
        c.file = a[0];
    } else if (c.tarnix) {
        c.mode = CommandLine::Mode::Invalid;  // --tarnix with no file
    }
    return c;
}

CommandLine ParseProgramArguments(int argc, char** argv) {
    QStringList raw;
    for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    return ParseCommandLine(raw);
}

int RunWithoutWindow(int argc, char** argv, const CommandLine& commandLine) {
    using Mode = CommandLine::Mode;
    if (commandLine.mode == Mode::Help || commandLine.mode == Mode::Version ||
        commandLine.mode == Mode::Invalid) {
        const bool invalid = commandLine.mode == Mode::Invalid;
        const QByteArray text =
            (commandLine.mode == Mode::Version ? VersionText() : UsageText()).toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), invalid ? stderr : stdout);
        return invalid ? 2 : 0;
    }
    if (commandLine.mode == Mode::Convert) {
        QCoreApplication core(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return RunConvert(commandLine.file, commandLine.output, commandLine.tarnix, true);
    }
    return -1;
}

QString UsageText() {
    return QStringLiteral(
        "usage: korvo [--tarnix] [FILE]\n"
        "       korvo --convert [--tarnix] INPUT OUTPUT\n"
        "       korvo --print OUTPUT.pdf [--tarnix] INPUT\n"
        "       korvo --help | --version\n"
        "\n"
        "  FILE                    open a drawing (.dac or .dxf) in the window\n"
        "  --convert INPUT OUTPUT  read INPUT (.dac or .dxf) and write OUTPUT (.dac or .dxf)\n"
        "                          without a window\n"
        "  --print OUTPUT.pdf INPUT\n"
        "                          print INPUT on one landscape A4 page into a PDF file,\n"
        "                          placed as the print command places it\n"
        "  --tarnix                the input (FILE, INPUT) is a drawing of the other\n"
        "                          drafting program (\"Tarnix入力\"), whatever its name\n"
        "\n"
        "Without a window, messages go to standard error and the exit status is 0 when the\n"
        "output was written, 1 when the input could not be read or the output not written\n"
        "(or, for --print, the drawing has no line to scale the page by), 2 for a file type\n"
        "it does not know or a command line it does not understand.\n"
        "  --help                  show this text\n"
        "  --version               show the version\n"
        "\n"
        "File types go by extension, in any case. DXF is read with the settings the window\n"
        "starts with (spline resolution 5, arc angles 140 to 170 degrees).\n");
}

QString VersionText() { return QStringLiteral("korvo " KORVO_VERSION "\n"); }

DrawingFormat FormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("dac")) return DrawingFormat::Dac;
    if (suffix == QLatin1String("dxf")) return DrawingFormat::Dxf;
    return DrawingFormat::Unknown;
}

int ReadDrawing(DrawingStore& store, const QString& input, DrawingFormat format) {
    const std::string path = input.toStdString();
    std::string text = "読み込みに成功しました";
    switch (format) {
        case DrawingFormat::Dac: {
            // With the styles and texts, as the window opens the file.
            std::vector<DacRecord> records;
            DacExtras extras;
            if (!ReadDacFile(path, records, &extras)) {
                ShowMessage("ファイルオープンに失敗しました");
                return 1;
            }
            AppendDacRecords(store, records, {}, &extras);
            break;
        }
        case DrawingFormat::Dxf: {
            DxfReadReport report;
            if (!ImportDxfFile(path, store, DxfReadSettings{}, report)) {
                ShowMessage(report.refusal.empty() ? "ファイルオープンに失敗しました"
                                                   : report.refusal);
                return 1;
            }
            for (const std::string& note : report.notes) text += "\n" + note;
            break;
        }
        case DrawingFormat::Tarnix: {
            TarnixReadReport report;
            if (!ImportTarnixFile(path, store, report) || !report.complete) {
                ShowMessage("ファイル読み込みに失敗しました");
                return 1;
            }
            for (const std::string& note : report.notes) text += "\n" + note;
            break;
        }
        case DrawingFormat::Unknown:
            return 2;
    }
    Prompts().Message(text, "Message");
    return 0;
}

int UnknownType(const QString& path) {
    std::fprintf(stderr, "korvo: %s: unknown file type (use .dac or .dxf, or --tarnix)\n",
                 path.toLocal8Bit().constData());
    return 2;
}

namespace {

int ConvertInto(DrawingStore& store, const QString& input, DrawingFormat in,
                const std::string& outPath, DrawingFormat out) {
    if (!store.CreateStore()) return 1;
    // The file the output replaces gives back its cached pages while the drawing is read, on
    // a thread of its own: the new file's pages are then made from memory just freed, and
    // the rename at the end has nothing left to free. Not when it is the input itself.
    std::thread dropper;
    try {
        dropper = std::thread(DropCachedPages, outPath, input.toStdString());
    } catch (const std::system_error&) {
        // No thread: a dac save still frees them, just before it writes.
    }
    const int status = ReadDrawing(store, input, in);
    if (dropper.joinable()) dropper.join();
    if (status) return status;
    const bool written =
        out == DrawingFormat::Dac ? SaveDacFile(outPath, store) : SaveDxfFile(outPath, store);
    if (!written) {
        ShowMessage(out == DrawingFormat::Dac ? "DATファイル出力に失敗しました"
                                              : "ファイル出力に失敗しました");
        return 1;
    }
    Prompts().Message("ファイル出力に成功しました", "Message");
    return 0;
}

}  // namespace

int RunConvert(const QString& input, const QString& output, bool tarnix, bool thenExit) {
    const DrawingFormat in = tarnix ? DrawingFormat::Tarnix : FormatOf(input);
    const DrawingFormat out = FormatOf(output);
    if (in == DrawingFormat::Unknown) return UnknownType(input);
    if (out == DrawingFormat::Unknown) return UnknownType(output);
    if (!thenExit) {
        DrawingStore store;
        return ConvertInto(store, input, in, output.toStdString(), out);
    }
    auto* store = new DrawingStore;  // never taken apart: the process ends below
    const int status = ConvertInto(*store, input, in, output.toStdString(), out);
    std::fflush(nullptr);
    std::_Exit(status);
}
