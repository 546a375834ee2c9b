// The main window's DXF commands, settings dialog and lines-to-arcs; progress of long loads.
#include <QTimer>

#include "edit/LinesToArcs.h"
#include "files/DxfReader.h"
#include "files/DxfWriter.h"
#include "kernel/UserPrompts.h"
#include "window/LoadProgress.h"
#include "window/TForm1.h"
#include "window/TPagesDlg.h"

namespace {

FileDialogRequest DxfDialog(const char* title, const std::string& initialPath) {
    FileDialogRequest r;
    r.title = title;
    r.filter = "DXFファイル (*.dxf)";
    r.defaultSuffix = "dxf";
    r.initialPath = initialPath;
    return r;
}

}  // namespace

void TForm1::DXFI1Click() {
    if (!MaybeSaveChanges()) return;
    // The drawing stays until a file has been chosen and opened.
    auto path = Prompts().OpenFileName(DxfDialog("開く", ""));
    if (!path) return;
    OpenDxfFile(*path);
}

bool TForm1::OpenDxfFile(const std::string& path) {
    DxfReadSettings settings;
    settings.splineResolution = SplineResolution;
    settings.arcAngleMin = ArcAngleMin;
    settings.arcAngleMax = ArcAngleMax;
    DxfReadReport report;
    // Read into a store of its own: a cancelled load leaves the drawing as it was.
    DrawingStore loaded;
    bool opened = PrepareLoad(loaded);
    try {
        LoadProgress progress(this);
        opened = opened && ImportDxfFile(path, loaded, settings, report,
                                         [&](int64_t done, int64_t total, int64_t entities) {
                                             progress.Report(done, total, entities);
                                         });
    } catch (const LoadCancelled&) {
        ShowLoadCancelled();
        return false;
    }
    if (!opened) {
        ShowMessage(report.refusal.empty() ? "ファイルオープンに失敗しました" : report.refusal);
        Timer1->start();
        return false;
    }
    if (loaded.lineTop == 0 && loaded.circleTop == 0 && loaded.textCount == 0) {
        ShowNothingReadable(report.entities, "図形", report.notes);
        return false;
    }
    TakeLoadedDrawing(loaded, path);
    std::string text = "読み込みに成功しました";
    // Whatever was left unread is said with the success, never hidden behind it.
    for (const std::string& note : report.notes) text += "\n" + note;
    Prompts().Message(text, "Message", PromptButtons::Ok,
                      report.notes.empty() ? PromptIcon::None : PromptIcon::Warning);
    return true;
}

void TForm1::DXFE1Click() {
    auto path = Prompts().SaveFileName(DxfDialog("名前を付けて保存", ProposedName("dxf").toStdString()));
    if (!path) return;
    if (!SaveDxfFile(*path, store)) {
        ShowMessage("ファイル出力に失敗しました");
        return;
    }
    Prompts().Message("ファイル出力に成功しました", "Message");
}

void TForm1::SettingsClick() {
    PagesDlg->RefreshSettings();
    PagesDlg->exec();
}

void TForm1::TooltoArcClick() {
    UndoAction action(&journal);  // the whole run is one step of undo
    LinesToArcs(store, ArcAngleMin, ArcAngleMax);
}
