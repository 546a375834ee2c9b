// Drawing of elements, markers and the user-origin marker in world coordinates.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElementPainter.h"
#include "render/Canvas.h"
#include "render/View.h"

class DrawingStore;

class Renderer : public ElementPainter {
public:
    Renderer(Canvas& canvas, View& view) : canvas_(canvas), view_(view) {}

    Canvas& canvas() { return canvas_; }
    View& view() { return view_; }

    // The user coordinate origin and whether it is on; the window owns them, the
    // renderer draws their marker.
    int32_t ucsOn = 0;
    double ucsX = 0.0, ucsY = 0.0;
    // Surface size, for ClearScreen.
    int surfaceW = 0, surfaceH = 0;
    // Canvas settings through the colour table.
    void SetPenColour(int index);
    void SetTextColour(int index);
    void SetBrush(int index, int style);  // style 0 = solid, 1 = none
    void SetPenWidth(int pixels);
    void SetPenMode(Canvas::PenMode mode) { canvas_.SetPenMode(mode); }

    void DrawLine(double x1, double y1, double x2, double y2);
    void DrawCircle(double cx, double cy, double radius, int colourIndex, double startAngle,
                    double endAngle);
    void DrawText(double x, double y, const std::string& utf8Text, double height, double angle);
    void DrawMarker(double x, double y, int size, int colourIndex);
    void DrawRectOutline(double x1, double y1, double x2, double y2, int colourIndex);
    void DrawUcsMarker(bool on);

    // The store's immediate drawing: an added element in its own colour, width and fill; a
    // deleted one painted over in the background colour, at least 3 pixels wide so that no
    // rim of it stays, with the snap marker caught on it.
    void ElementAdded(const LineElement& l) override;
    void ElementAdded(const CircleElement& c) override;
    void ElementErased(const LineElement& l, double markerX, double markerY) override;
    void ElementErased(const CircleElement& c, double markerX, double markerY) override;

    void ClearScreen();
    // Repaints everything from the store. The caller resets the store's snapIndex.
    void Redraw(const DrawingStore& store);

private:
    Canvas& canvas_;
    View& view_;
};
