// The edit commands on the drawing: delete, trim to corner, fillet, offset, split, angle.
#pragma once

#include <cstdint>
#include <string>

class DrawingStore;

// Every change goes through the store's interactive operations with broadcast 1, so it is
// drawn, gets its snap points, is journalled for undo and reaches a connected partner.

// Deletes the highlighted line, else the highlighted circle.
void EditDelete(DrawingStore& store);
// Trims or extends lines a and b to their common corner, keeping the parts on the sides of
// the clicks (p1 on a, p2 on b). Parallel lines come back as they were.
void EditTrimToCorner(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                      double p2y);
// Rounds the corner of a and b with an arc of radius r; r = 0 does nothing.
void EditFillet(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                double p2y, double r);
// Cuts the corner of a and b at distance d from it along both lines and joins the cut ends
// with a line; d = 0 does nothing.
void EditChamfer(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                 double p2y, double d);
// Adds a copy of the highlighted line or circle at distance d, on the side of P.
void EditOffset(DrawingStore& store, double px, double py, double d);
// Cuts the highlighted line or circle in two at P.
void EditSplit(DrawingStore& store, double px, double py);
// The log line of the angle between lines a and b: "なす角 = " and the angle.
std::string EditMeasureAngle(const DrawingStore& store, int32_t a, int32_t b);

// A double as the general float-to-text conversion writes it: up to 15 significant
// digits, no trailing zeros, scientific form only for magnitudes below 0.00001 or with
// more than 15 integer digits ("1E-6", "1.5E20").
std::string FloatToStr(double v);
