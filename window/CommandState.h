// The command state machine: palette commands, mouse steps, rubber bands and typed points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kernel/Elements.h"

class DrawingStore;
class Renderer;

// What the state machine needs of the window around it.
class CommandHost {
public:
    enum class Cursor { Default, Cross, UpArrow, Drag };
    enum class Box { Edit1, Edit2, Edit3, Edit4, Edit5 };

    virtual ~CommandHost() = default;
    virtual void SetCursor(Cursor cursor) = 0;
    virtual Cursor CurrentCursor() const = 0;
    virtual void SetTimerEnabled(bool on) = 0;
    // Scrolls the surface and returns how far it actually moved (the scroll bars stop at
    // their ends).
    struct Scrolled {
        int dx = 0, dy = 0;
    };
    virtual Scrolled ScrollBy(int dx, int dy) = 0;
    virtual void SetStatus(int panel, const std::string& text) = 0;
    virtual std::string BoxText(Box box) const = 0;
    virtual void Focus(Box box) = 0;
    // Shows the radius box (with the caption of its label) and, if asked, the angle boxes;
    // hideEntryBoxes hides all of them and their frame.
    virtual void ShowEntryBoxes(bool angles) = 0;
    virtual void HideEntryBoxes() = 0;
    // Shows the value box of an edit command with the text "10" under the given label,
    // and focuses it.
    virtual void ShowValueBox(const std::string& label) = 0;
    // Appends a line to the log pane.
    virtual void AppendLog(const std::string& text) = 0;
    virtual int ColourBoxIndex() const = 0;
    virtual int ActiveTab() const = 0;  // 0 "直線", 1 "円", 2 "編集", 3 "ﾂｰﾙ"
    virtual void SetSelectButtonDown(int tab) = 0;
    virtual void ReleasePrintAndRedrawButtons() = 0;
    virtual bool SnapButtonDown() const = 0;
};

// The box's text as a number, the way the framework's decimal conversion reads it: blanks
// around the number are allowed, anything else that is not a finite number is refused
// with the conversion error shown through the prompt seam.
std::optional<double> BoxNumber(const std::string& text);

struct WorldPoint {
    double x = 0.0, y = 0.0;
    bool operator==(const WorldPoint&) const = default;
};

class CommandState {
public:
    CommandState(DrawingStore& store, Renderer& renderer, CommandHost& host)
        : store_(store), renderer_(renderer), host_(host) {}

    int32_t commandCode = 100;
    int32_t toolStep = 5;
    WorldPoint firstPoint, secondPoint, rubberPoint;
    int32_t mouseX = 0, mouseY = 0;
    int32_t snapOn = 1;
    double snapDistance = 4000.0;
    // The user origin lives in the renderer, which draws its marker.

    // The no-rubber-band mark: the world point of pixel (-1, -1).
    WorldPoint NoRubberBand() const;
    void ClearRubberPoint() { rubberPoint = NoRubberBand(); }

    // Mouse and timer.
    void PaintBox1MouseDown(bool leftButton, int x, int y);
    void PaintBox1MouseMove(int x, int y);
    void PaintBox1MouseUp();
    void Timer1Timer();

    void ExecuteCommand();
    void TrackMouse(int x, int y);
    // The tick's tracking at (x, y): the band erased and drawn again there, the snap point
    // and the picked element those under (x, y).
    void TrackAt(int x, int y);
    void ToggleRubberBand(int32_t step);
    // After a full redraw: the highlight of the picked element, if one was shown, and the
    // current rubber band, so that the next tick's XOR erase finds what it erases.
    void RestoreOverlays();
    void LeaveCommand();
    void ResetToSelect();

    // Palette.
    void SpeedButton1Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void SpeedButton12Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void SpeedButton29Click(bool down);
    // The edit commands of the palette choose their command here: delete 111, trim to
    // corner 114, fillet 115, offset 116, split 117, angle measurement 118,
    // chamfer 119.
    void ChooseEditCommand(int32_t code);
    void SpeedButton30Click(bool down);

    // Typed coordinates.
    void Edit1KeyDown();
    void Edit2KeyDown();
    void Edit3KeyDown();
    void Edit4KeyDown();
    void Edit5KeyDown();
    void Edit3Change();

    // True while the command takes its input by picking elements, not points.
    bool PicksElements() const;
    // Whether the picked element is drawn highlighted now.
    bool HighlightShown() const { return highlightShown_; }

    // Escape: a command past its first step goes back to it (rubber band and picks gone);
    // a command at its first step gives way to the select tool.
    void Escape();
    // The step a command starts at.
    static int32_t FirstStep(int32_t code);

private:
    WorldPoint ClickPoint(int x, int y) const;
    WorldPoint RawPoint(int x, int y) const;
    void ChooseCommand(int32_t code, CommandHost::Cursor cursor, int32_t step);
    void DrawBand(const WorldPoint& p);
    bool ReadBox(CommandHost::Box box, double& out);

    DrawingStore& store_;
    Renderer& renderer_;
    CommandHost& host_;
    // Whether the picked element is drawn highlighted now: leaving a command wipes the
    // highlight but keeps the picked element.
    bool highlightShown_ = false;
    // The pan anchor's surface pixel: the pixel under the mouse at the press, moved only
    // by what the scroll bars could not take.
    int32_t panAnchorX_ = 0, panAnchorY_ = 0;
};
