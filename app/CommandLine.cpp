// The command line: the drawing named on it, read by the reader its extension names.
#include "app/CommandLine.h"

#include <QFileInfo>
#include <cstdio>

#include "core/TForm1.h"
#include "core/UserPrompts.h"

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine c;
    if (arguments.size() > 1 || (!arguments.isEmpty() && arguments.front().startsWith('-'))) {
        std::fprintf(stderr, "usage: korvo [FILE.dac]\n");
        c.understood = false;
        return c;
    }
    if (!arguments.isEmpty()) c.file = arguments.front();
    return c;
}

void OpenDrawing(TForm1& form, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("dac")) {
        if (form.OpenDacFile(path.toStdString()))
            Prompts().Message("読み込みに成功しました", "Message");
        return;
    }
    ShowMessage("ファイルオープンに失敗しました");
}
