// The bridge between the main window's controls and the command state machine.
#pragma once

#include <QObject>
#include <QPoint>

#include "window/CommandState.h"

class TForm1;

// Answers the state machine's questions from the window's controls, and carries the
// drawing surface's mouse events and the entry boxes' keys to it.
class TForm1Tools final : public QObject, public CommandHost {
    Q_OBJECT

public:
    explicit TForm1Tools(TForm1& form);

    CommandState machine;

    void SetCursor(Cursor cursor) override;
    Cursor CurrentCursor() const override { return cursor_; }
    void SetTimerEnabled(bool on) override;
    Scrolled ScrollBy(int dx, int dy) override;
    void SetStatus(int panel, const std::string& text) override;
    std::string BoxText(Box box) const override;
    void Focus(Box box) override;
    void ShowEntryBoxes(bool angles) override;
    void HideEntryBoxes() override;
    void ShowValueBox(const std::string& label) override;
    void AppendLog(const std::string& text) override;
    int ColourBoxIndex() const override;
    int ActiveTab() const override;
    void SetSelectButtonDown(int tab) override;
    void ReleasePrintAndRedrawButtons() override;
    bool SnapButtonDown() const override;

    // Connects the surface, the timer and the entry boxes; called once the controls exist.
    void Wire();
    // Whether the pointer is over the drawing surface.
    bool PointerOnDrawing() const { return pointerInside_; }
    // Whether a drag (left or middle button) is going on over the drawing.
    bool ButtonHeld() const { return leftHeld_ || middlePan_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TForm1& form_;
    Cursor cursor_ = Cursor::Default;
    bool leftHeld_ = false;  // the left button went down on the surface and is not up yet
    bool pointerInside_ = false;
    // The middle button's pan: the global position of the last move while it is held.
    bool middlePan_ = false;
    QPoint panLast_;
    // Ctrl+wheel: eighths of a degree not yet turned into a zoom step (touchpads send less
    // than a notch at a time).
    int wheelRest_ = 0;
};
