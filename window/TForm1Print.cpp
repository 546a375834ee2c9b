// The main window's import of the other drafting program's files, and the print command.
#include <QPrinter>
#include <QTimer>

#include "files/TarnixReader.h"
#include "kernel/UserPrompts.h"
#include "render/Mprint.h"
#include "window/LoadProgress.h"
#include "window/TForm1.h"

void TForm1::FileTarnix1Click() {
    if (!MaybeSaveChanges()) return;
    FileDialogRequest r;
    r.title = "開く";
    r.filter = "すべてのファイル (*)";
    r.defaultSuffix = "dac";
    // The drawing stays until a file has been chosen and opened.
    auto path = Prompts().OpenFileName(r);
    if (!path) return;
    OpenTarnixFile(*path);
}

bool TForm1::OpenTarnixFile(const std::string& path) {
    TarnixReadReport report;
    // Read into a store of its own: a cancelled load leaves the drawing as it was.
    DrawingStore loaded;
    bool opened = PrepareLoad(loaded);
    try {
        LoadProgress progress(this);
        opened = opened && ImportTarnixFile(path, loaded, report,
                                            [&](int64_t done, int64_t total, int64_t records) {
                                                progress.Report(done, total, records);
                                            });
    } catch (const LoadCancelled&) {
        ShowLoadCancelled();
        return false;
    }
    if (!opened) {
        ShowMessage("ファイル読み込みに失敗しました");
        return false;
    }
    // Also after an early end: what the store holds is what the user sees.
    TakeLoadedDrawing(loaded, path);
    if (!report.complete) {
        ShowMessage("ファイル読み込みに失敗しました");
        return true;
    }
    std::string text = "読み込みに成功しました";
    for (const std::string& note : report.notes) text += "\n" + note;
    Prompts().Message(text, "Message", PromptButtons::Ok,
                      report.notes.empty() ? PromptIcon::None : PromptIcon::Warning);
    return true;
}

void TForm1::SpeedButton23Click() {
    if (Prompts().Message("印刷開始します", "Message", PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    // The page is scaled to what is drawn; without anything there is nothing to scale by.
    if (!DrawingBounds(store)) {
        ShowMessage("図形がないため印刷できません");
        return;
    }
    auto target = Prompts().PrintDialog();
    if (!target) return;
    bool printed;
    if (!target->outputFile.empty()) {
        printed = PrintDrawingToPdf(target->outputFile, store);
    } else {
        QPrinter printer(QPrinter::HighResolution);
        if (!target->printerName.empty())
            printer.setPrinterName(QString::fromStdString(target->printerName));
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Landscape);
        // Texts are sized in printer pixels: the resolution of the PDF, so that paper and
        // file look alike.
        printer.setResolution(600);
        printed = PrintDrawing(printer, store);
    }
    if (!printed) ShowMessage("印刷に失敗しました");
}
