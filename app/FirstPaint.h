// The timing switch of the window: the first full paint after a drawing was opened, logged.
#pragma once

class TForm1;

// True when the environment asks for the timing run (KORVO_FIRST_PAINT_LOG set): messages
// then go to standard error instead of boxes, so that nothing waits for a click.
bool FirstPaintLogWanted();
// Called once the drawing given on the command line has been read and drawn on the canvas:
// at the next paint of the drawing surface, which shows all of it, writes
// "korvo: first full paint S s" (seconds since `korvo` started) to standard error and ends
// the program.
void LogFirstPaintAndQuit(TForm1& form);
