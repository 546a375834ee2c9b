// The main window's native file commands: open and save "dac" drawings.
#include <QPlainTextEdit>
#include <vector>

#include "files/DacFile.h"
#include "kernel/UserPrompts.h"
#include "window/ColourBox.h"
#include "window/LoadProgress.h"
#include "window/TForm1.h"

namespace {

FileDialogRequest DacDialog(const char* title, const QString& caption) {
    FileDialogRequest r;
    r.title = title;
    r.filter = "CADファイル (*.dac)";
    r.defaultSuffix = "dac";
    r.initialPath = caption.toStdString();
    return r;
}

}  // namespace

void TForm1::FileOpenClick() {
    // The drawing stays as it is until a file has been chosen and read: a cancelled dialog
    // or an unreadable file must not cost the user the drawing on the screen.
    auto path = Prompts().OpenFileName(DacDialog("開く", windowTitle()));
    if (!path) return;
    if (OpenDacFile(*path)) Prompts().Message("読み込みに成功しました", "Message");
}

bool TForm1::OpenDacFile(const std::string& path) {
    std::vector<DacRecord> records;
    if (!ReadDacFile(path, records)) {
        ShowMessage("ファイルオープンに失敗しました");
        return false;
    }
    // Read into a store of its own: a cancelled load leaves the drawing as it was.
    DrawingStore loaded;
    if (!PrepareLoad(loaded)) {
        ShowMessage("ファイルオープンに失敗しました");
        return false;
    }
    loaded.ClearStore();
    try {
        LoadProgress progress(this);
        AppendDacRecords(loaded, records, [&](int64_t done, int64_t total) {
            progress.Report(done, total, loaded.lineTop + loaded.circleTop);
        });
    } catch (const LoadCancelled&) {
        ShowLoadCancelled();
        return false;
    }
    setWindowTitle(QString::fromStdString(path));
    TakeLoadedDrawing(loaded);
    dacPath_ = path;
    return true;
}

bool TForm1::PrepareLoad(DrawingStore& loaded) {
    if (!loaded.CreateStore()) return false;
    // A read clears its store first, and the clear gives the current slots the colour box's
    // colour, as it does for the window's own store: the first element read keeps taking it.
    loaded.resetToSelect = [this, &loaded] { loaded.SetCurrentColour(ComboBox1->currentIndex() + 1); };
    return true;
}

void TForm1::TakeLoadedDrawing(DrawingStore& loaded) {
    store.TakeDrawing(loaded);
    journal.JournalCreate();  // undo never reaches into the drawing that was there before
    dacPath_.clear();
    SpeedButton21Click();  // the view fits the drawing
}

void TForm1::ShowLoadCancelled() {
    Prompts().Message("読み込みを取り消しました。何も読み込まれていません", "Message");
}

void TForm1::FilseSaveAsClick() {
    auto path = Prompts().SaveFileName(DacDialog("名前を付けて保存", windowTitle()));
    if (!path) return;
    // The file is written beside the old one and replaces it only when complete, so a full
    // disk or a vanished folder never leaves the user with a destroyed file.
    if (!SaveDacFile(*path, store)) {
        ShowMessage("DATファイル出力に失敗しました");
        return;
    }
    dacPath_ = *path;
    setWindowTitle(QString::fromStdString(*path));
    Prompts().Message("ファイル出力に成功しました", "Message");
}

void TForm1::FileSaveClick() {
    if (dacPath_.empty()) {
        FilseSaveAsClick();
        return;
    }
    if (!SaveDacFile(dacPath_, store)) {
        ShowMessage("DATファイル出力に失敗しました");
        return;
    }
    // A save the user makes by habit every few minutes says so in the log, not in a box.
    Memo1->appendPlainText(QStringLiteral("保存しました: ") + QString::fromStdString(dacPath_));
}
