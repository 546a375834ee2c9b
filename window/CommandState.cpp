// The command state machine: mouse steps, the timer's tracking, rubber bands and execution.
#include "window/CommandState.h"

#include <cmath>
#include <cstdio>
#include <regex>

#include "edit/EditCommands.h"
#include "edit/Picking.h"
#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"
#include "model/UndoJournal.h"
#include "render/Renderer.h"

std::optional<double> BoxNumber(const std::string& text) {
    static const std::regex number(R"(^[ \t]*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*$)");
    if (std::regex_match(text, number)) {
        double v = std::strtod(text.c_str(), nullptr);
        if (std::isfinite(v)) return v;
    }
    Prompts().Message("'" + text + "' は有効な数値ではありません", "Korvo",
                      PromptButtons::Ok, PromptIcon::Error);
    return std::nullopt;
}

WorldPoint CommandState::NoRubberBand() const {
    return {renderer_.view().WorldX(-1), renderer_.view().WorldY(-1)};
}

WorldPoint CommandState::RawPoint(int x, int y) const {
    return {renderer_.view().WorldX(x), renderer_.view().WorldY(y)};
}

WorldPoint CommandState::ClickPoint(int x, int y) const {
    if (snapOn == 1 && store_.snapIndex != -1) return {store_.snapPoint.x, store_.snapPoint.y};
    return RawPoint(x, y);
}

bool CommandState::ReadBox(CommandHost::Box box, double& out) {
    auto v = BoxNumber(host_.BoxText(box));
    if (!v) return false;
    out = *v;
    return true;
}

bool CommandState::PicksElements() const {
    return commandCode == 111 || (commandCode >= 114 && commandCode <= 119);
}

void CommandState::PaintBox1MouseDown(bool leftButton, int x, int y) {
    if (!leftButton) return;
    // A click acts on what is under the pointer at the click, not on the snap point or
    // the element of the last tick, which may be a move or more behind.
    if (commandCode != 100) TrackAt(x, y);
    switch (toolStep) {
        case 0:
            firstPoint = ClickPoint(x, y);
            rubberPoint = firstPoint;
            toolStep = 9;
            break;
        case 9:
            secondPoint = ClickPoint(x, y);
            if (secondPoint.x != firstPoint.x || secondPoint.y != firstPoint.y) {
                toolStep = 0;
                ExecuteCommand();
            } else {
                ShowMessage("選択が同じです");
            }
            break;
        case 1:
            secondPoint = ClickPoint(x, y);
            ExecuteCommand();
            break;
        case 3:
            store_.firstPick = store_.pickedLine;
            if (store_.firstPick == -1) break;
            firstPoint = RawPoint(x, y);
            toolStep = 4;
            break;
        case 4:
            store_.secondPick = store_.pickedLine;
            if (store_.secondPick == -1 || store_.secondPick == store_.firstPick) break;
            secondPoint = RawPoint(x, y);
            toolStep = 3;
            ExecuteCommand();
            break;
        case 5:
            host_.SetCursor(CommandHost::Cursor::Drag);
            secondPoint = RawPoint(x, y);
            panAnchorX_ = x;
            panAnchorY_ = y;
            break;
    }
}

void CommandState::PaintBox1MouseMove(int x, int y) {
    // The tick tracks the pointer where it is now: compared with the position of the
    // previous event, a single jump left the highlight and the status at the old spot.
    mouseX = x;
    mouseY = y;
    const View& v = renderer_.view();
    bool still = v.ScreenX(rubberPoint.x) == mouseX && v.ScreenY(rubberPoint.y) == mouseY;
    host_.SetTimerEnabled(!still);
}

void CommandState::PaintBox1MouseUp() {
    if (commandCode == 100) host_.SetCursor(CommandHost::Cursor::Default);
}

void CommandState::Timer1Timer() {
    host_.SetTimerEnabled(false);
    if (commandCode != 100) TrackAt(mouseX, mouseY);
    if (commandCode == 100 && host_.CurrentCursor() == CommandHost::Cursor::Drag) {
        // The grabbed point keeps its surface pixel while the surface scrolls under the
        // mouse; the mouse position is that of the last move, before this scroll.
        int dx = (panAnchorX_ - mouseX) / 8 * 8;  // toward zero, whole steps of 8
        int dy = (panAnchorY_ - mouseY) / 8 * 8;
        const CommandHost::Scrolled moved = host_.ScrollBy(dx, dy);
        panAnchorX_ -= dx - moved.dx;
        panAnchorY_ -= dy - moved.dy;
        secondPoint = RawPoint(panAnchorX_, panAnchorY_);
    }
    const View& v = renderer_.view();
    char text[256];
    std::snprintf(text, sizeof text, "[%12.6lf, %12.6lf] Scale[%12.6lf]", v.WorldX(mouseX),
                  v.WorldY(mouseY), v.scale);
    host_.SetStatus(0, text);
}

void CommandState::TrackAt(int x, int y) {
    mouseX = x;
    mouseY = y;
    ToggleRubberBand(toolStep);
    TrackMouse(x, y);
}

void CommandState::TrackMouse(int x, int y) {
    PickContext pick{store_, renderer_, snapDistance};
    auto status = [this](const std::string& s) {
        if (!s.empty()) host_.SetStatus(1, s);
    };
    if (toolStep == 0) {
        if (snapOn == 1) status(PickSnapPoint(pick, x, y));
        return;
    }
    renderer_.SetPenMode(Canvas::PenMode::Xor);
    renderer_.SetBrush(0, 1);
    if (PicksElements()) {
        const int32_t line = store_.pickedLine, circle = store_.pickedCircle;
        status(PickElement(pick, x, y));
        if (store_.pickedLine != line || store_.pickedCircle != circle)
            highlightShown_ = store_.pickedLine != -1 || store_.pickedCircle != -1;
    }
    if ((!PicksElements() || commandCode == 117) && snapOn == 1) status(PickSnapPoint(pick, x, y));
    WorldPoint p = ClickPoint(x, y);
    DrawBand(p);
    rubberPoint = p;
}

// The rubber band of the current command at p, drawn with the current slots' settings.
void CommandState::DrawBand(const WorldPoint& p) {
    LineElement& l = store_.currentLine();
    CircleElement& c = store_.currentCircle();
    switch (commandCode) {
        case 101:
            renderer_.SetPenColour(l.colour);
            SetLineEnds(l, firstPoint.x, firstPoint.y, p.x, p.y);
            renderer_.DrawLine(l.x1, l.y1, l.x2, l.y2);
            break;
        case 102: {
            double r = PointDistance(firstPoint.x, firstPoint.y, p.x, p.y);
            SetCircleData(c, firstPoint.x, firstPoint.y, r, 0, 0);
            renderer_.DrawCircle(c.cx, c.cy, c.radius, c.colour, 0, 0);
            break;
        }
        case 103:
            SetCircleData(c, p.x, p.y, c.radius, 0, 0);
            renderer_.DrawCircle(c.cx, c.cy, c.radius, c.colour, 0, 0);
            break;
        case 105:
            SetCircleData(c, p.x, p.y, c.radius, c.startAngle, c.endAngle);
            renderer_.DrawCircle(c.cx, c.cy, c.radius, c.colour, c.startAngle, c.endAngle);
            break;
        case 106:
            SetLineEnds(l, firstPoint.x, firstPoint.y, p.x, p.y);
            renderer_.DrawRectOutline(l.x1, l.y1, l.x2, l.y2, l.colour);
            break;
    }
}

void CommandState::ToggleRubberBand(int32_t step) {
    if (step == 0) return;
    renderer_.SetPenMode(Canvas::PenMode::Xor);
    renderer_.SetBrush(0, 1);
    switch (commandCode) {
        case 101:
        case 102:
        case 106:
            DrawBand(rubberPoint);
            break;
        case 103:
        case 105:
            if (rubberPoint.x < renderer_.view().WorldX(0)) break;
            DrawBand(rubberPoint);
            break;
    }
}

void CommandState::RestoreOverlays() {
    if (highlightShown_) HighlightPicked(store_, renderer_);
    ToggleRubberBand(toolStep);
}

void CommandState::ExecuteCommand() {
    ToggleRubberBand(1);
    renderer_.SetPenMode(Canvas::PenMode::Copy);
    // Whatever one command does to the drawing is one step of undo.
    UndoAction action(store_.journal);
    switch (commandCode) {
        case 101:
            store_.AddLine(firstPoint.x, firstPoint.y, secondPoint.x, secondPoint.y, 1);
            break;
        case 102: {
            double r = PointDistance(firstPoint.x, firstPoint.y, secondPoint.x, secondPoint.y);
            store_.AddCircle(firstPoint.x, firstPoint.y, r, 0, 0, 1);
            break;
        }
        case 103:
            store_.AddCircle(secondPoint.x, secondPoint.y, store_.currentCircle().radius, 0, 0, 1);
            toolStep = 1;
            ClearRubberPoint();
            break;
        case 104: {
            CircleElement arc = store_.currentCircle();
            arc.radius = 0;
            if (ArcBy3Points(arc, 0, 0, 100, 0, secondPoint.x, secondPoint.y))
                store_.AddCircle(arc.cx, arc.cy, arc.radius, arc.startAngle, arc.endAngle, 1);
            break;
        }
        case 105: {
            double radius, start, end;
            if (!ReadBox(CommandHost::Box::Edit3, radius) || !ReadBox(CommandHost::Box::Edit5, end) ||
                !ReadBox(CommandHost::Box::Edit4, start)) {
                // The band is erased above: forget its point, or the next tick's toggle
                // would draw it back there and leave it behind. The tool stays where it
                // was, also after a typed point.
                ClearRubberPoint();
                toolStep = 1;
                break;
            }
            store_.AddCircle(secondPoint.x, secondPoint.y, radius, start, end, 1);
            toolStep = 1;
            ClearRubberPoint();
            break;
        }
        case 106: {
            const double x1 = firstPoint.x, y1 = firstPoint.y;
            const double x2 = secondPoint.x, y2 = secondPoint.y;
            renderer_.DrawRectOutline(x1, y1, x2, y2, store_.currentLine().colour);
            store_.AddLine(x1, y1, x2, y1, 1);
            store_.AddLine(x1, y2, x2, y2, 1);
            store_.AddLine(x1, y1, x1, y2, 1);
            store_.AddLine(x2, y1, x2, y2, 1);
            break;
        }
        case 111:
            EditDelete(store_);
            break;
        case 114:
            EditTrimToCorner(store_, store_.firstPick, store_.secondPick, firstPoint.x,
                             firstPoint.y, secondPoint.x, secondPoint.y);
            break;
        case 115: {
            double r;
            if (!ReadBox(CommandHost::Box::Edit3, r)) break;
            EditFillet(store_, store_.firstPick, store_.secondPick, firstPoint.x, firstPoint.y,
                       secondPoint.x, secondPoint.y, r);
            break;
        }
        case 119: {
            double d;
            if (!ReadBox(CommandHost::Box::Edit3, d)) break;
            EditChamfer(store_, store_.firstPick, store_.secondPick, firstPoint.x, firstPoint.y,
                        secondPoint.x, secondPoint.y, d);
            break;
        }
        case 116: {
            if (store_.pickedLine == -1 && store_.pickedCircle == -1) break;
            double d;
            if (!ReadBox(CommandHost::Box::Edit3, d)) break;
            EditOffset(store_, secondPoint.x, secondPoint.y, d);
            break;
        }
        case 117:
            EditSplit(store_, secondPoint.x, secondPoint.y);
            break;
        case 118: {
            std::string text = EditMeasureAngle(store_, store_.firstPick, store_.secondPick);
            if (!text.empty()) host_.AppendLog(text);
            break;
        }
        case 113:
            renderer_.DrawUcsMarker(false);
            renderer_.ucsX = secondPoint.x;
            renderer_.ucsY = secondPoint.y;
            ResetToSelect();
            renderer_.DrawUcsMarker(true);
            break;
    }
}

void CommandState::LeaveCommand() {
    host_.SetCursor(CommandHost::Cursor::Default);
    renderer_.SetPenMode(Canvas::PenMode::Copy);
    renderer_.SetBrush(0, 1);
    UnhighlightPicked(store_, renderer_, 3);
    highlightShown_ = false;
    ToggleRubberBand(toolStep);
    toolStep = 0;
    store_.SetCurrentColour(host_.ColourBoxIndex() + 1);
}

void CommandState::ResetToSelect() {
    host_.ReleasePrintAndRedrawButtons();
    if (host_.SnapButtonDown()) {
        snapOn = 1;
    } else {
        ForgetSnapPoint(store_, renderer_);
        snapOn = 0;
    }
    host_.HideEntryBoxes();
    int tab = host_.ActiveTab();
    if (tab == 3) return;  // the tool tab keeps the command
    LeaveCommand();
    commandCode = 100;
    host_.SetSelectButtonDown(tab);
    if (tab == 1) store_.currentCircle().fillStyle = 1;
    // The select button is down, so the select tool waits as its button leaves it: a drag
    // pans. (Step 0 here left a pressed select button whose drags did nothing.)
    toolStep = 5;
}
