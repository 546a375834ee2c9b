// The main window's native file commands: open and save "dac" drawings.
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QWindow>
#include <vector>

#include "files/DacFile.h"
#include "kernel/UserPrompts.h"
#include "window/ColourBox.h"
#include "window/LoadProgress.h"
#include "window/Recovery.h"
#include "window/TForm1.h"

namespace {

FileDialogRequest DacDialog(const char* title, const QString& initialPath) {
    FileDialogRequest r;
    r.title = title;
    r.filter = "CADファイル (*.dac)";
    r.defaultSuffix = "dac";
    r.initialPath = initialPath.toStdString();
    return r;
}

}  // namespace

QString TForm1::ProposedName(const char* suffix) const {
    // The caption's file in the format being written: a DXF is never offered for
    // overwriting with dac text, nor a dac file with DXF.
    const QString path = captionPath_.isEmpty() ? QStringLiteral("Korvo") : captionPath_;
    const QFileInfo info(path);
    const QString base = info.suffix().isEmpty() ? path : path.left(path.size() - info.suffix().size() - 1);
    return base + QLatin1Char('.') + QLatin1String(suffix);
}

void TForm1::SetCaptionPath(const QString& path) {
    captionPath_ = path;
    modified_ = false;
    setWindowTitle(path.isEmpty() ? QStringLiteral("Korvo") : path);
}

void TForm1::SetModified(bool modified) {
    if (modified) fitOnShow_.pending = false;  // the user works on the drawing as it is shown
    if (modified == modified_) return;
    modified_ = modified;
    // The asterisk follows whatever the caption says (a session shows HOST or CLIENT).
    QString title = windowTitle();
    if (title.endsWith(QLatin1Char('*'))) title.chop(1);
    setWindowTitle(modified ? title + QLatin1Char('*') : title);
    if (!modified) recovery_.Discard();
}

bool TForm1::MaybeSaveChanges() {
    if (!modified_) return true;
    switch (Prompts().Message("図面が変更されています。保存しますか？", "Korvo",
                              PromptButtons::SaveDiscardCancel, PromptIcon::Question)) {
        case PromptAnswer::Yes:
            return SaveDrawing(false);  // a cancelled save dialog cancels the whole action
        case PromptAnswer::No:
            return true;
        default:
            return false;
    }
}

void TForm1::OfferRecovery() {
    const std::vector<std::string> leftovers = TRecovery::Leftovers();
    if (leftovers.empty()) return;
    const std::string& newest = leftovers.front();
    if (Prompts().Message("前回保存されなかった図面があります。復元しますか？", "Korvo",
                          PromptButtons::YesNo, PromptIcon::Question) == PromptAnswer::Yes) {
        std::vector<DacRecord> records;
        DacExtras extras;
        DrawingStore loaded;
        if (!ReadDacFile(newest, records, &extras) || !PrepareLoad(loaded)) {
            ShowMessage("ファイルオープンに失敗しました");
            return;  // the file stays for another try
        }
        loaded.ClearStore();
        AppendDacRecords(loaded, records, {}, &extras);
        // The restored drawing has no file of its own yet and is not saved anywhere.
        TakeLoadedDrawing(loaded, std::string());
        SetModified(true);
    }
    TRecovery::Remove(newest);
}

void TForm1::FileOpenClick() {
    if (!MaybeSaveChanges()) return;
    // The drawing stays as it is until a file has been chosen and read: a cancelled dialog
    // or an unreadable file must not cost the user the drawing on the screen.
    auto path = Prompts().OpenFileName(DacDialog("開く", captionPath_));
    if (!path) return;
    if (OpenDacFile(*path)) Prompts().Message("読み込みに成功しました", "Message");
}

bool TForm1::OpenDacFile(const std::string& path) {
    std::vector<DacRecord> records;
    DacExtras extras;
    if (!ReadDacFile(path, records, &extras)) {
        ShowMessage("ファイルオープンに失敗しました");
        return false;
    }
    if (records.empty() && extras.texts.empty()) {
        // Random bytes or another program's file: say so, and keep the drawing.
        ShowNothingReadable(extras.skippedLines, "行");
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
        AppendDacRecords(
            loaded, records,
            [&](int64_t done, int64_t total) {
                progress.Report(done, total, loaded.lineTop + loaded.circleTop);
            },
            &extras);
    } catch (const LoadCancelled&) {
        ShowLoadCancelled();
        return false;
    }
    TakeLoadedDrawing(loaded, path);
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

void TForm1::TakeLoadedDrawing(DrawingStore& loaded, const std::string& path) {
    store.TakeDrawing(loaded);
    journal.JournalCreate();  // undo never reaches into the drawing that was there before
    dacPath_.clear();
    SetCaptionPath(QString::fromStdString(path));
    recovery_.Discard();
    SpeedButton21Click();  // the view fits the drawing
    const QWindow* shown = windowHandle();
    fitOnShow_.pending = !shown || !shown->isExposed();
    fitOnShow_.refitted = false;
    if (fitOnShow_.pending) RememberFitOnShow();
    DrawOpenedDrawing();
}

void TForm1::ShowNothingReadable(int64_t skipped, const char* unit,
                                 const std::vector<std::string>& notes) {
    std::string text = "読み込める図形がありませんでした\n読み飛ばした" + std::string(unit) + ": " +
                       std::to_string(skipped);
    for (const std::string& note : notes) text += "\n" + note;
    Prompts().Message(text, "Message", PromptButtons::Ok, PromptIcon::Warning);
}

void TForm1::ShowLoadCancelled() {
    Prompts().Message("読み込みを取り消しました。何も読み込まれていません", "Message");
}

void TForm1::FilseSaveAsClick() { SaveDrawing(true); }

void TForm1::FileSaveClick() { SaveDrawing(false); }

bool TForm1::SaveDrawing(bool askName) {
    if (askName || dacPath_.empty()) {
        auto path = Prompts().SaveFileName(DacDialog("名前を付けて保存", ProposedName("dac")));
        if (!path) return false;
        // The file is written beside the old one and replaces it only when complete, so a
        // full disk or a vanished folder never leaves the user with a destroyed file.
        if (!SaveDacFile(*path, store)) {
            ShowMessage("DATファイル出力に失敗しました");
            return false;
        }
        dacPath_ = *path;
        SetCaptionPath(QString::fromStdString(*path));
        recovery_.Discard();
        Prompts().Message("ファイル出力に成功しました", "Message");
        return true;
    }
    if (!SaveDacFile(dacPath_, store)) {
        ShowMessage("DATファイル出力に失敗しました");
        return false;
    }
    SetCaptionPath(QString::fromStdString(dacPath_));
    recovery_.Discard();
    // A save the user makes by habit every few minutes says so in the log, not in a box.
    Memo1->appendPlainText(QStringLiteral("保存しました: ") + QString::fromStdString(dacPath_));
    return true;
}
