// The main window: start-up, resize, the select tool's reset and the simple handlers.
#include "window/TForm1.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>

#include "edit/EditCommands.h"
#include "files/DacFile.h"
#include "kernel/UserPrompts.h"
#include "render/JapaneseFonts.h"
#include "window/ColourBox.h"
#include "window/PaintBox.h"
#include "window/TPagesDlg.h"

namespace {

constexpr int kDesignedWidth = 688;
constexpr int kDesignedHeight = 575;

// The palette tabs, in their order.
enum PaletteTab { kTabLine = 0, kTabCircle = 1, kTabEdit = 2, kTabTool = 3 };

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    InstallJapaneseFontSubstitutes();
    BuildLayout();
    ConnectView();
    tools.Wire();
    WireSharing();
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->installEventFilter(this);
    // Escape reaches the drawing wherever the focus is, the entry boxes included.
    auto* escape = new QAction(this);
    escape->setObjectName(QStringLiteral("EscapeKey"));
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(escape);
    connect(escape, &QAction::triggered, this, &TForm1::EscapeKey);

    // FormCreate reads Panel1 at the designed size; showing the window maximised then
    // passes through FormResize like any other change of size.
    resize(kDesignedWidth, kDesignedHeight);
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    ensurePolished();
    for (QWidget* w : {static_cast<QWidget*>(this), centralWidget(), Panel1})
        if (w->layout()) w->layout()->activate();
    FormCreate();
    // Unsaved changes go to the recovery file now and then, never in the middle of a drag.
    recovery_.Start([this] { return modified_ && !tools.ButtonHeld(); },
                    [this](const std::string& path) { return SaveDacFile(path, store); });
    PagesDlg = new TPagesDlg(this, store,
                             {&SplineResolution, &SnapDistance, &ArcAngleMin, &ArcAngleMax});
}

TForm1::~TForm1() { UnwireSharing(); }

QToolButton* TForm1::Button(const char* name) const {
    return findChild<QToolButton*>(QString::fromUtf8(name));
}

void TForm1::FormCreate() {
    if (!store.CreateStore()) {
        ShowMessage("vertexメモリ確保に失敗しました");
        return;  // the program ends with status 3 (storeCreated() is false)
    }
    storeCreated_ = true;
    store.renderer = &renderer;
    store.journal = &journal;
    store.resetToSelect = [this] { ResetToSelect(); };
    store.changed = [this] { SetModified(true); };

    view.scale = 1.0;
    commandCode = 100;
    snapOn = 1;
    ucsOn = 0;
    SnapDistance = 4000.0;
    SplineResolution = 5.0;
    ArcAngleMin = 140.0;
    ArcAngleMax = 170.0;
    toolStep = 5;

    const QSize panel = DrawingPanelSize();
    lastPanelSize_ = panel;
    view.viewExtentW = panel.width();
    view.viewExtentH = panel.height();
    view.originX = panel.width() / 2;
    view.originY = panel.height() / 2;
    ucsOriginX = ucsOriginY = 0.0;

    PaintBox1->resize(panel);
    ComboBox1->setCurrentIndex(6);

    // Both copies register in the same order, so that their tags agree.
    RegisterShareRecords();

    formCreated_ = true;
    ClearScreen();
}

void TForm1::FormResize() {
    // Checked before the resize below moves the view.
    const bool refit = fitOnShow_.pending && ViewIsStillTheFit();
    const QSize oldPanel = lastPanelSize_;
    const QSize panel = DrawingPanelSize();
    lastPanelSize_ = panel;
    // Until a zoom or fit-all gives the surface a size of its own, the surface is the
    // drawing panel: it follows the panel, so no band of the panel is left where nothing
    // can be seen or drawn.
    const bool surfaceIsPanel =
        PaintBox1->size() == oldPanel && QSize(view.viewExtentW, view.viewExtentH) == oldPanel;
    if (surfaceIsPanel) {
        ResizeView(view, panel.width(), panel.height());
        PaintBox1->resize(panel);
    } else {
        // A surface of its own keeps the world point at the centre of the visible panel
        // there, as the plain resize does: by scrolling as far as the surface allows, and
        // by moving the origin for the rest. The scroll position is the one from before
        // the resize; the scroll area has already cut it to the new range.
        SurfaceGeometry g;
        g.surfaceW = PaintBox1->width();
        g.surfaceH = PaintBox1->height();
        g.scrollX = lastScroll_.x();
        g.scrollY = lastScroll_.y();
        g.panelW = oldPanel.width();
        g.panelH = oldPanel.height();
        ResizeSurfaceView(view, g, panel.width(), panel.height());
        ApplySurface(g);
    }
    if (refit) {
        ClearScreen();
        FitViewToPanel();
        RememberFitOnShow();
        fitOnShow_.refitted = true;
    } else {
        fitOnShow_.pending = false;
    }
    RequestRepaint();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit6 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Edit6KeyDown(13);
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride && qobject_cast<QLineEdit*>(watched)) {
        // The edit boxes would take Ctrl+Z and Ctrl+Y as their own undo and redo; in this
        // window they are the drawing's, wherever the focus is. Delete is the box's own
        // unless the pointer is on the drawing over a highlighted element.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination k = key->keyCombination();
        const bool deleteOnDrawing = k == QKeyCombination(Qt::Key_Delete) &&
                                     tools.PointerOnDrawing() && tools.machine.HighlightShown();
        if (k == (Qt::CTRL | Qt::Key_Z) || k == (Qt::CTRL | Qt::Key_Y) ||
            k == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z) || deleteOnDrawing) {
            event->ignore();
            return true;
        }
    }
    if (watched == PaintBox1 && event->type() == QEvent::Paint && fitOnShow_.refitted)
        fitOnShow_.pending = false;  // the window has its size on screen
    if (watched == ScrollBox1->viewport() && event->type() == QEvent::Resize) {
        SyncCanvasToViewport();
        if (formCreated_ && DrawingPanelSize() != lastPanelSize_) {
            FormResize();
        } else {
            RequestRepaint();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    RequestRepaint();  // the first paint runs the full redraw
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) RequestRepaint();
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(this, canClose);
    if (canClose) canClose = MaybeSaveChanges();
    if (canClose) {
        recovery_.Discard();  // a clean exit leaves nothing to recover
        QMainWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

// ---- The select tool ----

void TForm1::ToggleRubberBand(int32_t step) { tools.machine.ToggleRubberBand(step); }

void TForm1::LeaveCommand() { tools.machine.LeaveCommand(); }

void TForm1::ResetToSelect() { tools.machine.ResetToSelect(); }

void TForm1::PageControl1Change() { ResetToSelect(); }

void TForm1::SpeedButton1Click() { tools.machine.SpeedButton1Click(); }

// ---- Simple handlers ----

void TForm1::FileExitClick() { close(); }

void TForm1::ComboBox1Change() { store.SetCurrentColour(ComboBox1->currentIndex() + 1); }

void TForm1::SpeedButton35Click() { Panel3->setHidden(!Panel3->isHidden()); }

void TForm1::SpeedButton19Click() {}

void TForm1::Undo1Click() {
    Undo1(journal, store, [this](const std::string& text) {
        Memo1->appendPlainText(QString::fromStdString(text));
    });
}

void TForm1::Redo1Click() {
    if (!Redo1(journal, store)) Memo1->appendPlainText(QStringLiteral("Nothing to REDO."));
}

void TForm1::EscapeKey() {
    if (commandCode == 113) {
        // Choosing the user origin ends as its button's release ends it.
        if (QToolButton* ucs = Button("SpeedButton29")) ucs->setChecked(false);
        SpeedButton29Click();
        return;
    }
    tools.machine.Escape();
}

void TForm1::Delete1Click() {
    if (!tools.machine.HighlightShown()) return;
    UndoAction action(&journal);
    EditDelete(store);
}
