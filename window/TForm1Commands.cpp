// The main window's palette handlers: each hands its button to the command state machine.
#include <QToolButton>

#include "window/TForm1.h"


// Edit and tool menus, tool bar.
void TForm1::SpeedButton30Click() { tools.machine.SpeedButton30Click(Button("SpeedButton30")->isChecked()); }

// Drawing commands of the palette.
void TForm1::SpeedButton3Click() { tools.machine.SpeedButton3Click(); }
void TForm1::SpeedButton4Click() { tools.machine.SpeedButton4Click(); }
void TForm1::SpeedButton10Click() { tools.machine.SpeedButton10Click(); }
void TForm1::SpeedButton11Click() { tools.machine.SpeedButton11Click(); }
void TForm1::SpeedButton12Click() { tools.machine.SpeedButton12Click(); }
void TForm1::SpeedButton13Click() { tools.machine.SpeedButton13Click(); }
void TForm1::SpeedButton14Click() { tools.machine.SpeedButton14Click(); }
void TForm1::SpeedButton29Click() { tools.machine.SpeedButton29Click(Button("SpeedButton29")->isChecked()); }

// Edit commands of the palette.
void TForm1::SpeedButton25Click() { tools.machine.ChooseEditCommand(119); }  // chamfer
void TForm1::SpeedButton26Click() { tools.machine.ChooseEditCommand(115); }  // fillet
void TForm1::SpeedButton27Click() { tools.machine.ChooseEditCommand(116); }  // offset
void TForm1::SpeedButton28Click() { tools.machine.ChooseEditCommand(111); }  // delete
void TForm1::SpeedButton32Click() { tools.machine.ChooseEditCommand(114); }  // trim to corner
void TForm1::SpeedButton36Click() { tools.machine.ChooseEditCommand(117); }  // split
void TForm1::SpeedButton38Click() { tools.machine.ChooseEditCommand(118); }  // angle measurement

// The mouse tracking timer.
void TForm1::Timer1Timer() { tools.machine.Timer1Timer(); }
