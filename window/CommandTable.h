// The table of every menu entry and button of the main window, and the loop that makes them.
#pragma once

#include <span>

#include "window/Icons.h"

class QBoxLayout;
class QButtonGroup;
class QGridLayout;
class QMenu;
class TForm1;

enum class CommandPlace {
    FileMenu,
    EditMenu,
    ToolMenu,
    ToolBar,      // CoolBar1, left to right
    ToolBarZoom,  // the stacked pair of zoom buttons inside the tool bar
    PaletteLine,  // tab "直線"
    PaletteCircle,
    PaletteEdit,
    PaletteTool,
    Panel2,  // the user coordinate origin button of the right band
    Panel5,  // the connect button of the chat pane
};

struct CommandEntry {
    CommandPlace place;
    const char* name;     // objectName; nullptr makes a menu separator
    const char* caption;  // text of menu entries and captioned buttons, else nullptr
    const char* hint;     // tool tip, or nullptr
    Glyph glyph;
    void (TForm1::*handler)();  // nullptr: the button does nothing
    int shortcut;               // QKeyCombination::toCombined(), 0 for none
    int width, height;          // buttons only
    bool toggle;                // stays down when pressed (palette buttons are a radio group)
    bool down;                  // down at start
};

std::span<const CommandEntry> CommandTable();

// Where the loop puts what it makes; the layout code creates these.
struct CommandHosts {
    QMenu* fileMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* toolMenu = nullptr;
    QBoxLayout* toolBar = nullptr;
    QBoxLayout* zoomColumn = nullptr;  // inside the tool bar, where the zoom pair goes
    QGridLayout* palette[4] = {nullptr, nullptr, nullptr, nullptr};
    QButtonGroup* paletteGroup = nullptr;
    QBoxLayout* panel2Row = nullptr;
    QBoxLayout* panel5Row = nullptr;
};

// Makes every entry of the table, wires it to its handler on `form` and places it.
void BuildCommands(TForm1& form, const CommandHosts& hosts);
