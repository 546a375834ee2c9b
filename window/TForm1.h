// The main window TForm1: owner of the drawing, the view and the command state, and the
// wiring from its controls to the code that does the work.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <array>
#include <string>
#include <vector>
#include <cstdint>

#include "model/DrawingStore.h"
#include "model/UndoJournal.h"
#include "net/TMan2Man.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"
#include "window/DrawingSync.h"
#include "window/Recovery.h"
#include "window/TForm1Tools.h"

class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;
class TColourBox;
class TPagesDlg;
class TPaintBox;
struct CommandHosts;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // False when the element tables could not be had at start-up; the program then ends
    // with status 3.
    bool storeCreated() const { return storeCreated_; }

    // ---- State owned by the window ----
    DrawingStore store;
    UndoJournal journal;
    View view;  // scale, origin, viewExtent, bounds box
    Canvas canvas;
    Renderer renderer{canvas, view};

    // The command state machine and its bridge to the controls; the names below are the
    // window's view of its state.
    TForm1Tools tools{*this};
    int32_t& commandCode = tools.machine.commandCode;
    int32_t& toolStep = tools.machine.toolStep;
    int32_t& snapOn = tools.machine.snapOn;
    int32_t& ucsOn = renderer.ucsOn;
    double& ucsOriginX = renderer.ucsX;
    double& ucsOriginY = renderer.ucsY;
    double& SnapDistance = tools.machine.snapDistance;
    double SplineResolution = 5.0;
    double ArcAngleMin = 140.0;
    double ArcAngleMax = 170.0;
    int32_t LineShareTag = 0, CircleShareTag = 0;
    std::array<uint8_t, 56> LineShareRecord{};
    std::array<uint8_t, 64> CircleShareRecord{};
    int refusedShares = 0;  // the partner's records that broke the file rules

    // ---- Controls (objectName = the control's name) ----
    QWidget* Panel1 = nullptr;  // centre: tool bar above the drawing area
    QWidget* CoolBar1 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    QWidget* Panel2 = nullptr;  // right band
    QTabWidget* PageControl1 = nullptr;
    QButtonGroup* paletteGroup = nullptr;  // every palette button, one exclusive group
    TColourBox* ComboBox1 = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr,
           *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr,
              *Edit5 = nullptr, *Edit6 = nullptr;
    QWidget* Panel3 = nullptr;  // bottom band: log and chat
    QWidget* Panel4 = nullptr;
    QWidget* Panel5 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanels[2] = {nullptr, nullptr};
    QTimer* Timer1 = nullptr;

    QToolButton* Button(const char* name) const;

    // The size of the drawing panel that the view rules call Panel1's width and height:
    // the part of Panel1 below the tool bar, which ScrollBox1 fills (its scroll bars
    // included, so the figure does not change when they come and go).
    QSize DrawingPanelSize() const;
    void SetStatusPanel(int panel, const QString& text);
    QString StatusPanelText(int panel) const;
    // The size of the widgets around the canvas, as the view commands read and set it.
    SurfaceGeometry ReadSurface() const;
    void ApplySurface(const SurfaceGeometry& surface);

    // ---- Start-up, resize, view ----
    void FormCreate();
    void FormResize();
    void ClearScreen();
    void Redraw();
    // Asks for a full redraw once the events that are waiting have run, as the window
    // system asks for a repaint; several requests make one redraw.
    void RequestRepaint();

    // ---- Command state ----
    void ResetToSelect();
    void LeaveCommand();
    // XOR-draws the current command's rubber band; no command of the select tool has one.
    void ToggleRubberBand(int32_t step);

    // ---- Handlers that work now ----
    void FileExitClick();
    void ComboBox1Change();
    void SpeedButton35Click();
    void SpeedButton19Click();
    void Undo1Click();
    void Redo1Click();
    // Escape: the current command's step ends, or the command (see CommandState::Escape).
    void EscapeKey();
    // The Delete key and the edit menu's delete: the highlighted element goes.
    void Delete1Click();
    void FileClsClick();
    void RunBackClick();
    void PaintBox1Paint();
    void SpeedButton17Click();
    void SpeedButton21Click();
    void SpeedButton20Click();
    void SpeedButton22Click();
    // Ctrl+wheel: one step of √2 in (steps > 0) or out about surface pixel (x, y), which
    // keeps its world point.
    void ZoomAtCursor(int steps, int x, int y);
    // The middle button's pan: the view moves by (dx, dy) surface pixels, by the scroll
    // bars as far as they go and by the origin for the rest.
    void PanView(int dx, int dy);
    void PageControl1Change();
    void SpeedButton1Click();

    // ---- The native drawing file (TForm1File.cpp) ----
    void FileOpenClick();
    void FilseSaveAsClick();
    // Ctrl+S: writes the drawing to its own "dac" file, or asks for one as save-as does.
    void FileSaveClick();
    // Whether the drawing changed since it was opened, saved or begun (the caption's '*').
    bool IsModified() const { return modified_; }
    // The file the caption names, or empty for a new drawing.
    const QString& CaptionPath() const { return captionPath_; }
    // Asks about unsaved changes before the drawing goes: true when it may go (saved or
    // given up), false when the user cancelled.
    bool MaybeSaveChanges();
    // Offers the drawing a process left in its recovery file when it ended without saving.
    void OfferRecovery();
    // Reads a "dac" file into the drawing as the open command does once a file is chosen:
    // the drawing is replaced only when the file could be read; false after the message.
    bool OpenDacFile(const std::string& path);

    // ---- DXF, settings, lines to arcs (TForm1Exchange.cpp) ----
    void DXFI1Click();
    void DXFE1Click();
    // Reads a DXF file into the drawing as the DXF command does once a file is chosen.
    bool OpenDxfFile(const std::string& path);
    void SettingsClick();
    void TooltoArcClick();
    // The settings dialog, made once right after the window and living as long.
    TPagesDlg* PagesDlg = nullptr;

    // ---- The binary import and printing (TForm1Print.cpp) ----
    void FileTarnix1Click();
    // Reads a drawing of the other drafting program as the import command does once a file
    // is chosen; false when the file could not be opened.
    bool OpenTarnixFile(const std::string& path);
    void SpeedButton23Click();

    // ---- Keeping both drawings equal (window/TForm1Sync.cpp) ----
    DrawingSync sync{store};
    void man2manFreeDataComming(TMan2Man* Sender, const void* pData, unsigned size);
    // Guest: the drawing is cleared and the host's is asked for.
    void TakeHostDrawing();
    // Once a second while connected: the drawing's transfer and the digest comparison.
    void ShareTimerTimer();

    // ---- Drawing together (window/TForm1Share.cpp) ----
    // Made with the window as its owner, so that its dialogs sit over the window; last of
    // the state, so that it goes first and nothing arrives for a store that has gone.
    TMan2Man man2man{this};
    void SpeedButton34Click();
    void Edit6KeyDown(int key);
    void man2manGuestArrived(TMan2Man* Sender, bool IsHost);
    void man2manGuestLalabye(TMan2Man* Sender);
    void man2manChatComming(TMan2Man* Sender);
    void man2manRegiDataComming(TMan2Man* Sender, RegiDataTag DataTag);
    void man2manLostConnection(TMan2Man* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);

    // ---- Palette handlers, handed to the command state machine (TForm1Commands.cpp) ----
    void SpeedButton30Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void SpeedButton12Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void SpeedButton25Click();
    void SpeedButton26Click();
    void SpeedButton27Click();
    void SpeedButton28Click();
    void SpeedButton29Click();
    void SpeedButton32Click();
    void SpeedButton36Click();
    void SpeedButton38Click();
    void Timer1Timer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();                         // TForm1Layout.cpp
    QWidget* BuildPanel2(CommandHosts& hosts);  // TForm1Layout.cpp
    QWidget* BuildPanel3(CommandHosts& hosts);  // TForm1Layout.cpp
    void BuildStatusBar();                      // TForm1Layout.cpp
    void ConnectView();                         // TForm1View.cpp
    void SyncRenderer();
    void SyncCanvasToViewport();
    void RememberScroll();
    // The full redraw; keepMarker keeps the caught snap point and its marker.
    void RedrawAll(bool keepMarker);
    // The drawing part of RedrawAll, again as long as something asks for it meanwhile.
    void DrawCanvas(bool keepMarker);
    // After a drawing was opened and fitted: asks for it to be drawn again when the redraw
    // that would draw it waits for the events, one of which opened it.
    void DrawOpenedDrawing();
    // Fit all without the redraw: the view, the surface and the status text.
    void FitViewToPanel();
    // A drawing opened before the window was on screen (given on the command line) was
    // fitted to the window's first size, not to the one the window manager gives it: it is
    // fitted again as the window changes size, until the canvas has been painted on screen
    // after such a fit, and only while neither the view nor the drawing changed meanwhile.
    struct FitOnShow {
        bool pending = false;
        bool refitted = false;
        double scale = 0.0;
        int32_t originX = 0, originY = 0;
        QSize surface;
        QPoint scroll;
    } fitOnShow_;
    void RememberFitOnShow();
    bool ViewIsStillTheFit() const;
    void FlushCanvas();
    void WireSharing();           // window/TForm1Share.cpp
    void RegisterShareRecords();  // window/TForm1Share.cpp
    void UnwireSharing();         // window/TForm1Share.cpp
    void ShowConnectedNames();    // window/TForm1Share.cpp
    void ShowUnconnected();       // window/TForm1Share.cpp
    void WireSync();              // window/TForm1Sync.cpp
    void StartSync(bool isHost);  // window/TForm1Sync.cpp
    void AskForHostDrawing();     // window/TForm1Sync.cpp
    void ShowTransfer(int64_t done, int64_t total);  // window/TForm1Sync.cpp
    void FinishTransfer();        // window/TForm1Sync.cpp
    void ShowDisagreement();      // window/TForm1Sync.cpp
    void NoteRefused(int64_t count);  // window/TForm1Share.cpp
    QTimer* shareTimer_ = nullptr;
    qint64 lastTransferRedraw_ = 0;
    // The guest held a drawing of its own when it joined: taking the host's asks first.
    bool drawingAtJoin_ = false;

    // Puts a drawing read into a store of its own in place of the window's: the view fits
    // it, the undo history starts anew.
    bool PrepareLoad(DrawingStore& loaded);
    void TakeLoadedDrawing(DrawingStore& loaded, const std::string& path);
    void ShowLoadCancelled();
    // A file that held no element: what was skipped, and the drawing stays.
    void ShowNothingReadable(int64_t skipped, const char* unit,
                             const std::vector<std::string>& notes = {});
    // The "dac" file the drawing was opened from or last saved to; empty for a new drawing
    // or one read from another format.
    std::string dacPath_;
    bool SaveDrawing(bool askName);
    QString ProposedName(const char* suffix) const;
    void SetCaptionPath(const QString& path);
    void SetModified(bool modified);
    QString captionPath_;
    bool modified_ = false;
    TRecovery recovery_;
    struct WheelAnchor {
        bool valid = false;
        int x = 0, y = 0;
        double wx = 0.0, wy = 0.0;
        double scale = 0.0;
        int32_t originX = 0, originY = 0;
    } wheelAnchor_;

    bool storeCreated_ = false;
    bool formCreated_ = false;
    QSize lastPanelSize_;
    // The scroll position as the user last left it, kept apart from the scroll bars, which
    // cut it to their new range during a resize before the window hears of the resize.
    QPoint lastScroll_;
    bool redrawing_ = false;      // within RedrawAll
    bool drawingCanvas_ = false;  // within DrawCanvas
    bool drawnEarly_ = false;     // drawn while RedrawAll ran the events
    int waitingLevel_ = 0;        // the event loops running when RedrawAll ran them
    bool redrawAgain_ = false;
    bool repaintPending_ = false;
    qint64 shownCanvasKey_ = 0;
};
