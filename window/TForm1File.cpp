// The main window's native file commands: open and save "dac" drawings.
#include <vector>

#include "files/DacFile.h"
#include "kernel/UserPrompts.h"
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
    setWindowTitle(QString::fromStdString(path));
    store.ClearStore();
    LoadProgress progress(this);
    AppendDacRecords(store, records, [&](int64_t done, int64_t total) {
        progress.Report(done, total, store.lineTop + store.circleTop);
    });
    Redraw();
    return true;
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
    Prompts().Message("ファイル出力に成功しました", "Message");
}
