// The main window's handlers whose commands are still to be built; each names what it will do.
#include "core/TForm1.h"

// File menu: native file, DXF in and out, Tarnix import.
void TForm1::FileOpenClick() {}     // open a "dac" drawing
void TForm1::FilseSaveAsClick() {}  // save as "dac"
void TForm1::DXFI1Click() {}        // DXF input (menu and SpeedButton18)
void TForm1::DXFE1Click() {}        // DXF output
void TForm1::FileTarnix1Click() {}  // Tarnix import

// Edit and tool menus, tool bar.
void TForm1::SettingsClick() {}       // the settings dialog (menu and SpeedButton33)
void TForm1::TooltoArcClick() {}      // lines to arcs
void TForm1::SpeedButton23Click() {}  // print
void TForm1::SpeedButton30Click() {}  // snap on/off

// Drawing commands of the palette.
void TForm1::SpeedButton3Click() {}   // line
void TForm1::SpeedButton4Click() {}   // rectangle
void TForm1::SpeedButton10Click() {}  // circle of the typed radius
void TForm1::SpeedButton11Click() {}  // filled circle
void TForm1::SpeedButton12Click() {}  // arc of the typed radius and angles
void TForm1::SpeedButton13Click() {}  // circle by centre and a point
void TForm1::SpeedButton14Click() {}  // arc through three points
void TForm1::SpeedButton29Click() {}  // user coordinate origin

// Edit commands of the palette.
void TForm1::SpeedButton26Click() {}  // fillet
void TForm1::SpeedButton27Click() {}  // offset
void TForm1::SpeedButton28Click() {}  // delete
void TForm1::SpeedButton32Click() {}  // trim to corner
void TForm1::SpeedButton36Click() {}  // split
void TForm1::SpeedButton38Click() {}  // angle measurement

// Sharing and the mouse tracking timer.
void TForm1::SpeedButton34Click() {}  // connect / disconnect
void TForm1::Timer1Timer() {}         // snapping, picking and the rubber band
