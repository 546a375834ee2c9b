// The command state machine's palette choices and typed coordinates.
#include "edit/Picking.h"
#include "model/DrawingStore.h"
#include "render/Renderer.h"
#include "window/CommandState.h"

using Cursor = CommandHost::Cursor;
using EntryBox = CommandHost::Box;

void CommandState::ChooseCommand(int32_t code, Cursor cursor, int32_t step) {
    LeaveCommand();
    commandCode = code;
    host_.SetCursor(cursor);
    toolStep = step;
    host_.Focus(EntryBox::Edit1);
}

void CommandState::SpeedButton1Click() {
    LeaveCommand();
    commandCode = 100;
    toolStep = 5;
}

void CommandState::SpeedButton3Click() { ChooseCommand(101, Cursor::Cross, 0); }

void CommandState::SpeedButton4Click() { ChooseCommand(106, Cursor::Cross, 0); }

void CommandState::SpeedButton13Click() {
    ChooseCommand(102, Cursor::Cross, 0);
    store_.currentCircle().fillStyle = 1;
}

void CommandState::SpeedButton11Click() {
    ChooseCommand(102, Cursor::Default, 0);
    store_.currentCircle().fillStyle = 0;
}

void CommandState::SpeedButton14Click() {
    ChooseCommand(104, Cursor::Cross, 1);
    store_.currentCircle().fillStyle = 1;
}

void CommandState::SpeedButton10Click() {
    ChooseCommand(103, Cursor::Cross, 1);
    ClearRubberPoint();
    store_.currentCircle().fillStyle = 1;
    double r;
    if (!ReadBox(EntryBox::Edit3, r)) return;
    store_.currentCircle().radius = r;
    host_.ShowEntryBoxes(false);
    host_.Focus(EntryBox::Edit3);
}

void CommandState::SpeedButton12Click() {
    ChooseCommand(105, Cursor::Cross, 1);
    ClearRubberPoint();
    store_.currentCircle().fillStyle = 1;
    double r, start, end;
    if (!ReadBox(EntryBox::Edit3, r)) return;
    store_.currentCircle().radius = r;
    if (!ReadBox(EntryBox::Edit4, start)) return;
    store_.currentCircle().startAngle = start;
    if (!ReadBox(EntryBox::Edit5, end)) return;
    store_.currentCircle().endAngle = end;
    host_.ShowEntryBoxes(true);
    host_.Focus(EntryBox::Edit3);
}

int32_t CommandState::FirstStep(int32_t code) {
    switch (code) {
        case 101:  // the two-click commands wait for their first point
        case 102:
        case 106:
            return 0;
        case 114:  // the commands picking two lines wait for their first pick
        case 115:
        case 118:
        case 119:
            return 3;
        case 100:
            return 5;
        default:  // one click: circles, arcs, the user origin, one-element edits
            return 1;
    }
}

void CommandState::ChooseEditCommand(int32_t code) {
    ChooseCommand(code, Cursor::Default, FirstStep(code));
    if (code == 115) host_.ShowValueBox("半径");
    if (code == 116 || code == 119) host_.ShowValueBox("距離");
}

void CommandState::Escape() {
    if (commandCode == 100) return;
    const int32_t first = FirstStep(commandCode);
    if (toolStep == first) {
        ResetToSelect();
        if (commandCode != 100) {  // the tool tab keeps its command on a tab change
            LeaveCommand();
            commandCode = 100;
            host_.SetSelectButtonDown(host_.ActiveTab());
            toolStep = 5;
        }
        return;
    }
    // Back to the first step: the band and the highlight wiped as leaving does, the cursor
    // and the command kept.
    renderer_.SetPenMode(Canvas::PenMode::Copy);
    renderer_.SetBrush(0, 1);
    UnhighlightPicked(store_, renderer_, 3);
    highlightShown_ = false;
    ToggleRubberBand(toolStep);
    ClearRubberPoint();
    store_.firstPick = store_.secondPick = -1;
    toolStep = first;
    host_.SetTimerEnabled(true);  // the next tick tracks the pointer for the first step
}

void CommandState::SpeedButton29Click(bool down) {
    if (down) {
        commandCode = 113;
        host_.SetCursor(Cursor::UpArrow);
        toolStep = 1;
        renderer_.ucsOn = 1;
    } else {
        ResetToSelect();
        renderer_.ucsOn = 0;
    }
    renderer_.DrawUcsMarker(renderer_.ucsOn != 0);
}

void CommandState::SpeedButton30Click(bool down) {
    if (down) {
        snapOn = 1;
        return;
    }
    ForgetSnapPoint(store_, renderer_);
    snapOn = 0;
}

void CommandState::Edit1KeyDown() { host_.Focus(EntryBox::Edit2); }

void CommandState::Edit2KeyDown() {
    // The commands that pick elements take no typed point: running one on the picks that
    // happen to be left over would delete or trim the wrong element.
    if (PicksElements()) {
        host_.Focus(EntryBox::Edit1);
        return;
    }
    double ox = renderer_.ucsOn ? renderer_.ucsX : 0.0;
    double oy = renderer_.ucsOn ? renderer_.ucsY : 0.0;
    double x, y;
    if (!ReadBox(EntryBox::Edit1, x) || !ReadBox(EntryBox::Edit2, y)) return;
    WorldPoint p{x + ox, y + oy};
    if (toolStep != 0) {
        secondPoint = p;
        toolStep = 0;
        ExecuteCommand();
    } else {
        firstPoint = p;
        rubberPoint = p;
        toolStep = 9;
    }
    host_.Focus(EntryBox::Edit1);
}

void CommandState::Edit3KeyDown() { host_.Focus(commandCode == 105 ? EntryBox::Edit4 : EntryBox::Edit1); }

void CommandState::Edit4KeyDown() { host_.Focus(EntryBox::Edit5); }

void CommandState::Edit5KeyDown() { host_.Focus(EntryBox::Edit1); }

void CommandState::Edit3Change() {
    ToggleRubberBand(toolStep);
    ClearRubberPoint();
    std::string text = host_.BoxText(EntryBox::Edit3);
    if (text.empty()) {
        store_.currentCircle().radius = 10.0;
        return;
    }
    if (auto r = BoxNumber(text)) store_.currentCircle().radius = *r;
}
