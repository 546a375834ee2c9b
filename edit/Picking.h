// Picking and snapping under the cursor: the nearest snap point and the nearest element.
#pragma once

#include <string>

class DrawingStore;
class Renderer;

struct PickContext {
    DrawingStore& store;
    Renderer& renderer;  // its view gives the transform and the scale
    double snapDistance;  // S: squared catch radius in pixels
};

// Catches the snap point nearest the cursor pixel (x, y) within sqrt(S) pixels, moves the
// XOR marker to it and returns the status text for it; an empty string leaves the status
// text as it was.
std::string PickSnapPoint(const PickContext& c, int x, int y);
// Picks the line or circle nearest the cursor within S * scale pixels, moves the highlight
// to it and returns the status text for it; empty when the status text stays.
std::string PickElement(const PickContext& c, int x, int y);
// Erases the caught point's marker (XOR) and forgets the point.
void ForgetSnapPoint(DrawingStore& store, Renderer& renderer);
// Redraws an element in its own colour and width over a highlight (copy mode).
void UnhighlightPicked(DrawingStore& store, Renderer& renderer, int penWidthOfWipe);
// Draws the highlight of the picked element again (after a full redraw has wiped it).
void HighlightPicked(DrawingStore& store, Renderer& renderer);
// Draws the caught point's marker again (XOR), after a full redraw has wiped it.
void ShowSnapMarker(DrawingStore& store, Renderer& renderer);
