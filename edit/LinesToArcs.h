// Lines-to-arcs: pairs of lines meeting end to end at a gentle bend become one arc.
#pragma once

#include "kernel/Elements.h"

class DrawingStore;

// Finds the end point the two lines share (as l1 has it) and tries the arc through it and the
// lines' far ends with the bend window [lower, upper] and its mirror [360 - upper, 360 - lower]
// (degrees of the interior angle at the common point). Returns how many windows accepted (0, 1
// or 2); `arc` is filled when the result is not 0: ArcBy3Points with the far ends passed in
// the order of their x, then y, so that swapping l1 and l2 gives the same arc to the last
// digit. Lines without a common end point give 0.
int ArcFromJoinedLines(CircleElement& arc, const LineElement& l1, const LineElement& l2,
                       double lower, double upper);

// The menu command's work: one sort of the point table, the greedy pairing, deletions and
// additions through the store's interactive operations (DeleteLine(…, 1), AddCircle(…, 1):
// journalled, undoable, shared). Returns the number of arcs made.
int LinesToArcs(DrawingStore& store, double arcAngleMin, double arcAngleMax);
