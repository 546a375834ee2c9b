// When the program started, for the timing switch of the window: `korvo` hands its own start
// on to the window program it becomes.
#pragma once

#include <chrono>

// In `korvo`, first thing: when the timing run is asked for (KORVO_FIRST_PAINT_LOG set),
// puts the time now into the environment the window program will find.
void HandOnProgramStart();
// In the window program, first thing: the start handed on, taken out of the environment so
// that nothing started from the window inherits it; else the time now.
void MarkProgramStart();
// The start marked.
std::chrono::steady_clock::time_point ProgramStart();
