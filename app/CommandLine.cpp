// The command line: a drawing to open in the window, or a conversion without a window.
#include "app/CommandLine.h"

#include <QFileInfo>
#include <cstdio>
#include <vector>

#include "core/DacFile.h"
#include "core/DrawingStore.h"
#include "core/TForm1.h"
#include "core/UserPrompts.h"
#include "exchange/DxfReader.h"
#include "exchange/DxfWriter.h"

#ifndef KORVO_VERSION
#define KORVO_VERSION "0"
#endif

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    const QStringList& a = arguments;
    if (a.size() == 1 && (a[0] == "--help" || a[0] == "-h")) {
        c.mode = CommandLine::Mode::Help;
    } else if (a.size() == 1 && a[0] == "--version") {
        c.mode = CommandLine::Mode::Version;
    } else if (!a.isEmpty() && a[0] == "--convert") {
        if (a.size() == 3) {
            c.mode = CommandLine::Mode::Convert;
            c.file = a[1];
            c.output = a[2];
        } else {
            c.mode = CommandLine::Mode::Invalid;
        }
    } else if (a.size() > 1 || (a.size() == 1 && a[0].startsWith('-'))) {
        c.mode = CommandLine::Mode::Invalid;
    } else if (a.size() == 1) {
        c.file = a[0];
    }
    return c;
}

QString UsageText() {
    return QStringLiteral(
        "usage: korvo [FILE]\n"
        "       korvo --convert INPUT OUTPUT\n"
        "       korvo --help | --version\n"
        "\n"
        "  FILE                    open a drawing (.dac or .dxf) in the window\n"
        "  --convert INPUT OUTPUT  read INPUT (.dac or .dxf) and write OUTPUT (.dac or .dxf)\n"
        "                          without a window; messages go to standard error; the\n"
        "                          exit status is 0 when OUTPUT was written, 1 when INPUT\n"
        "                          could not be read or OUTPUT not written, 2 for a file\n"
        "                          type it does not know or a command line it does not\n"
        "                          understand\n"
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

void OpenDrawing(TForm1& form, const QString& path) {
    switch (FormatOf(path)) {
        case DrawingFormat::Dac:
            if (form.OpenDacFile(path.toStdString()))
                Prompts().Message("読み込みに成功しました", "Message");
            return;
        case DrawingFormat::Dxf:
            form.OpenDxfFile(path.toStdString());
            return;
        case DrawingFormat::Unknown:
            break;
    }
    ShowMessage("ファイルオープンに失敗しました");
}

int RunConvert(const QString& input, const QString& output) {
    const DrawingFormat in = FormatOf(input), out = FormatOf(output);
    if (in == DrawingFormat::Unknown || out == DrawingFormat::Unknown) {
        std::fprintf(stderr, "korvo: %s: unknown file type (use .dac or .dxf)\n",
                     (in == DrawingFormat::Unknown ? input : output).toLocal8Bit().constData());
        return 2;
    }
    DrawingStore store;
    if (!store.CreateStore()) return 1;
    const std::string inPath = input.toStdString(), outPath = output.toStdString();
    if (in == DrawingFormat::Dac) {
        std::vector<DacRecord> records;
        if (!ReadDacFile(inPath, records)) {
            ShowMessage("ファイルオープンに失敗しました");
            return 1;
        }
        AppendDacRecords(store, records);
        Prompts().Message("読み込みに成功しました", "Message");
    } else {
        DxfReadReport report;
        if (!ImportDxfFile(inPath, store, DxfReadSettings{}, report)) {
            ShowMessage("ファイルオープンに失敗しました");
            return 1;
        }
        std::string text = "読み込みに成功しました";
        for (const std::string& note : report.notes) text += "\n" + note;
        Prompts().Message(text, "Message");
    }
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
