// What the command line asks of the window program: a drawing opened in the window, or printed.
#include "app/WindowCommands.h"

#include "app/CommandLine.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"
#include "render/Mprint.h"
#include "window/TForm1.h"

void OpenDrawing(TForm1& form, const QString& path, bool tarnix) {
    if (tarnix) {
        form.OpenTarnixFile(path.toStdString());
        return;
    }
    switch (FormatOf(path)) {
        case DrawingFormat::Dac:
            if (form.OpenDacFile(path.toStdString()))
                Prompts().Message("読み込みに成功しました", "Message");
            return;
        case DrawingFormat::Dxf:
            form.OpenDxfFile(path.toStdString());
            return;
        default:
            break;
    }
    ShowMessage("ファイルオープンに失敗しました");
}

int RunPrint(const QString& input, const QString& output, bool tarnix) {
    const DrawingFormat in = tarnix ? DrawingFormat::Tarnix : FormatOf(input);
    if (in == DrawingFormat::Unknown) return UnknownType(input);
    DrawingStore store;
    if (!store.CreateStore()) return 1;
    if (int status = ReadDrawing(store, input, in)) return status;
    // The page is scaled to what is drawn, as in the window; without anything there is
    // nothing to scale by.
    if (!DrawingBounds(store)) {
        ShowMessage("図形がないため印刷できません");
        return 1;
    }
    if (!PrintDrawingToPdf(output.toStdString(), store)) {
        ShowMessage("印刷に失敗しました");
        return 1;
    }
    return 0;
}
