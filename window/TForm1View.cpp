// The main window's view: the canvas behind PaintBox1, redraw, clear, new drawing, fit and zoom.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>

#include "edit/Picking.h"
#include "kernel/UserPrompts.h"
#include "window/PaintBox.h"
#include "window/TForm1.h"

void TForm1::ConnectView() {
    ScrollBox1->viewport()->installEventFilter(this);
    PaintBox1->installEventFilter(this);
    for (QScrollBar* bar : {ScrollBox1->horizontalScrollBar(), ScrollBox1->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (DrawingPanelSize() == lastPanelSize_) RememberScroll();
            SyncCanvasToViewport();
            RequestRepaint();
        });

    // Whatever was drawn on the canvas reaches the screen before the program waits for the
    // next event.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { FlushCanvas(); });
}

QSize TForm1::DrawingPanelSize() const { return ScrollBox1->size(); }

void TForm1::SetStatusPanel(int panel, const QString& text) { statusPanels[panel]->setText(text); }

QString TForm1::StatusPanelText(int panel) const { return statusPanels[panel]->text(); }

SurfaceGeometry TForm1::ReadSurface() const {
    SurfaceGeometry g;
    g.surfaceW = PaintBox1->width();
    g.surfaceH = PaintBox1->height();
    g.scrollX = ScrollBox1->horizontalScrollBar()->value();
    g.scrollY = ScrollBox1->verticalScrollBar()->value();
    const QSize panel = DrawingPanelSize();
    g.panelW = panel.width();
    g.panelH = panel.height();
    return g;
}

void TForm1::ApplySurface(const SurfaceGeometry& g) {
    PaintBox1->resize(g.surfaceW, g.surfaceH);
    // The scroll area sets the ranges for the new size itself; until it has, a position
    // beyond the old range must not be cut back.
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    if (h->maximum() < g.scrollX) h->setMaximum(g.scrollX);
    if (v->maximum() < g.scrollY) v->setMaximum(g.scrollY);
    h->setValue(g.scrollX);
    v->setValue(g.scrollY);
    RememberScroll();
    SyncCanvasToViewport();
    SyncRenderer();
}

void TForm1::RememberScroll() {
    lastScroll_ = QPoint(ScrollBox1->horizontalScrollBar()->value(),
                         ScrollBox1->verticalScrollBar()->value());
}

void TForm1::SyncCanvasToViewport() {
    const QSize viewport = ScrollBox1->viewport()->size();
    if (canvas.image().size() != viewport) canvas.Resize(viewport.width(), viewport.height());
    canvas.SetScroll(ScrollBox1->horizontalScrollBar()->value(),
                     ScrollBox1->verticalScrollBar()->value());
}

void TForm1::SyncRenderer() {
    renderer.surfaceW = PaintBox1->width();
    renderer.surfaceH = PaintBox1->height();
}

void TForm1::FlushCanvas() {
    const qint64 key = canvas.image().cacheKey();
    if (key == shownCanvasKey_) return;
    shownCanvasKey_ = key;
    PaintBox1->update();
}

void TForm1::ClearScreen() {
    SyncCanvasToViewport();
    SyncRenderer();
    renderer.ClearScreen();
}

void TForm1::Redraw() { RedrawAll(false); }

void TForm1::RedrawAll(bool keepMarker) {
    if (!formCreated_) return;
    repaintPending_ = false;
    if (redrawing_) {
        // Asked within a dialog that one of the events run below opened (the box after a
        // drawing was opened): this redraw resumes only once the dialog is closed, so the
        // canvas behind it is drawn now.
        if (!drawingCanvas_ && QThread::currentThread()->loopLevel() > waitingLevel_) {
            DrawCanvas(keepMarker);
            drawnEarly_ = true;
            return;
        }
        redrawAgain_ = true;
        return;
    }
    redrawing_ = true;
    drawnEarly_ = false;
    waitingLevel_ = QThread::currentThread()->loopLevel();
    // The events that are waiting run once, before the canvas is cleared: a timer tick or
    // a click then erases its rubber band from the canvas it was drawn on, not from a half
    // drawn one, and an event that asks for another redraw gets it after this one.
    QCoreApplication::processEvents();
    // Those events may have posted more: the scroll area lays itself out anew after the
    // surface changed size, which resizes the viewport. Done now, the canvas below gets its
    // final size at once.
    QCoreApplication::sendPostedEvents();
    // What those events asked to repaint (a drawing opened, the surface resized) is what
    // the redraw below paints: it syncs the canvas first. A second pass after it would only
    // paint the same again, a whole second on a drawing of a million elements.
    repaintPending_ = false;
    if (drawnEarly_ && !redrawAgain_) {
        redrawing_ = false;  // drawn while they ran (see above), and not asked for since
        return;
    }
    DrawCanvas(keepMarker);
    redrawing_ = false;
}

void TForm1::DrawCanvas(bool keepMarker) {
    drawingCanvas_ = true;
    do {
        redrawAgain_ = false;
        const int32_t caught = keepMarker ? store.snapIndex : -1;
        SyncCanvasToViewport();
        SyncRenderer();
        store.snapIndex = -1;
        renderer.Redraw(store);
        // A redraw for the window's sake (a scroll, a resize) keeps what the user is doing:
        // the caught point, the highlight and the rubber band are drawn again.
        if (caught != -1) {
            store.snapIndex = caught;
            ShowSnapMarker(store, renderer);
        }
        tools.machine.RestoreOverlays();
    } while (redrawAgain_);
    drawingCanvas_ = false;
    PaintBox1->update();
}

void TForm1::DrawOpenedDrawing() {
    // Opened as one of the events a redraw runs before it draws (a file given on the
    // command line opens while the window's first redraw waits): that redraw would draw it
    // only once the success box that follows is closed, and the user would look at an
    // empty canvas behind the box. Asked for again through the event loop, it is drawn
    // within the box's own loop (see RedrawAll), once the window has taken its size; with
    // no box the waiting redraw draws it, once.
    if (redrawing_ && !drawingCanvas_) RequestRepaint();
}

void TForm1::RequestRepaint() {
    if (repaintPending_) return;
    repaintPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (repaintPending_) RedrawAll(true);
        },
        Qt::QueuedConnection);
}

void TForm1::PaintBox1Paint() { Redraw(); }

void TForm1::FileClsClick() { ClearScreen(); }

void TForm1::RunBackClick() {
    if (commandCode == 103) toolStep = 0;
    Redraw();
}

void TForm1::SpeedButton17Click() {
    // A changed drawing asks whether to save it, which is the question to begin anew too.
    if (modified_) {
        if (!MaybeSaveChanges()) return;
    } else if (Prompts().Message("新規作成します", "Message", PromptButtons::OkCancel) !=
               PromptAnswer::Ok) {
        return;
    }
    store.ClearStore();
    journal.JournalCreate();  // a new drawing starts a new history
    dacPath_.clear();
    SetCaptionPath(QString());
    recovery_.Discard();
    ClearScreen();
}

void TForm1::SpeedButton21Click() {
    ClearScreen();
    FitViewToPanel();
    Redraw();  // with the current command's rubber band
}

void TForm1::FitViewToPanel() {
    store.snapIndex = -1;
    SurfaceGeometry g = ReadSurface();
    const std::string summary = FitAllView(view, g, store);
    ApplySurface(g);
    SetStatusPanel(0, QString::fromStdString(summary));
}

void TForm1::RememberFitOnShow() {
    FitOnShow& f = fitOnShow_;
    f.scale = view.scale;
    f.originX = view.originX;
    f.originY = view.originY;
    f.surface = PaintBox1->size();
    f.scroll = lastScroll_;
}

bool TForm1::ViewIsStillTheFit() const {
    const FitOnShow& f = fitOnShow_;
    return f.scale == view.scale && f.originX == view.originX && f.originY == view.originY &&
           f.surface == PaintBox1->size() && f.scroll == lastScroll_;
}

void TForm1::SpeedButton20Click() {
    SurfaceGeometry g = ReadSurface();
    if (!ZoomInView(view, g)) {
        SetStatusPanel(0, QStringLiteral("これ以上拡大できません"));
        return;
    }
    ApplySurface(g);
    Redraw();
}

void TForm1::SpeedButton22Click() {
    SurfaceGeometry g = ReadSurface();
    ZoomOutView(view, g);
    ApplySurface(g);
    Redraw();
}

void TForm1::ZoomAtCursor(int steps, int x, int y) {
    // Notches at the same pixel keep the world point the first of them found there.
    WheelAnchor& a = wheelAnchor_;
    const bool same = a.valid && a.x == x && a.y == y && a.scale == view.scale &&
                      a.originX == view.originX && a.originY == view.originY;
    if (!same) a = {true, x, y, view.WorldX(x), view.WorldY(y)};
    const bool zoomed = ZoomAtView(view, steps, x, y, a.wx, a.wy);
    a.scale = view.scale;
    a.originX = view.originX;
    a.originY = view.originY;
    if (!zoomed) {
        SetStatusPanel(0, steps > 0 ? QStringLiteral("これ以上拡大できません")
                                    : QStringLiteral("これ以上縮小できません"));
        return;
    }
    Redraw();  // with the current command's rubber band
    tools.SetTimerEnabled(true);  // the next tick shows the new scale and tracks again
}

void TForm1::PanView(int dx, int dy) {
    const CommandHost::Scrolled moved = tools.ScrollBy(dx, dy);
    // What the scroll bars could not take moves the drawing on the surface.
    if ((moved.dx != dx || moved.dy != dy) && ShiftView(view, moved.dx - dx, moved.dy - dy))
        RequestRepaint();
}
