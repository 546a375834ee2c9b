// The immediate-drawing canvas: a viewport-sized image of a larger drawing surface.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

class QPainter;

// Cuts the segment (x0, y0)-(x1, y1) to the box (Liang-Barsky); false when nothing of it
// lies inside. Ends inside the box are left exactly as they were.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double left, double top,
                 double right, double bottom);

// Primitives take surface pixel coordinates and draw at (x - scrollX, y - scrollY), with
// the semantics of a classic Windows device context: a line leaves out its last pixel,
// Ellipse and Arc take a bounding box, arcs run counter-clockwise on screen between two
// radial points, and XOR mode drawn twice restores every pixel.
class Canvas {
public:
    enum class PenMode { Copy, Xor };
    enum class BrushStyle { Solid, None };

    Canvas();
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void Resize(int width, int height);  // the visible viewport
    void SetScroll(int x, int y) { scrollX_ = x; scrollY_ = y; }
    int scrollX() const { return scrollX_; }
    int scrollY() const { return scrollY_; }
    // The image as drawn so far: any painter still open on it is finished first.
    const QImage& image() const;
    QImage& image();

    void SetPenColour(uint32_t rgb) { penRgb_ = rgb; }
    void SetPenWidth(int width) { penWidth_ = width < 1 ? 1 : width; }
    void SetPenMode(PenMode mode) { penMode_ = mode; }
    void SetBrush(uint32_t rgb, BrushStyle style) { brushRgb_ = rgb; brushStyle_ = style; }
    void SetTextColour(uint32_t rgb) { textRgb_ = rgb; }
    void SetFont(const QFont& font) { font_ = font; }
    uint32_t penColour() const { return penRgb_; }
    int penWidth() const { return penWidth_; }
    PenMode penMode() const { return penMode_; }
    BrushStyle brushStyle() const { return brushStyle_; }
    uint32_t brushColour() const { return brushRgb_; }
    uint32_t textColour() const { return textRgb_; }
    const QFont& font() const { return font_; }

    // Pixel at a surface position; 0 outside the viewport.
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t rgb);
    void MoveTo(int x, int y) { curX_ = x; curY_ = y; }
    void LineTo(int x, int y);  // from the current position, last pixel left out
    void Polyline(const int* xy, int points);
    void Ellipse(int left, int top, int right, int bottom);  // right and bottom exclusive
    void Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4);
    // Ellipses and arcs of any size, with the box in surface pixels as exact doubles (left
    // and top inclusive, right and bottom exclusive, as for Ellipse). Only the part of the
    // rim that crosses the viewport is drawn, and a fill covers only the inside, so boxes
    // far larger than anything the painter can take are drawn where they are. The arc
    // runs counter-clockwise on screen between the radial points, as Arc.
    void BigEllipse(double left, double top, double right, double bottom);
    void BigArc(double left, double top, double right, double bottom, double x3, double y3,
                double x4, double y4);
    void FillRect(int left, int top, int right, int bottom, uint32_t rgb);
    // Text with its top-left corner at (x, y) in the current font, turned by the font's
    // escapement (tenths of a degree, counter-clockwise).
    void TextOut(int x, int y, const QString& text, int escapementTenths);
    int TextHeight() const;

private:
    void PlotSpan(int x, int y);
    void ThinLine(int x0, int y0, int x1, int y1);
    // One painter serves a run of painter primitives (a redraw's circles, say): opening a
    // painter per figure costs more than drawing most figures. It is closed before any
    // pixel is touched directly and before the image is handed out.
    QPainter& Painter();
    void EndPainter() const;
    void BigCurve(double left, double top, double right, double bottom, bool full,
                  double startAngle, double span);
    void FillSpan(int y, int x0, int x1, uint32_t rgb);

    mutable std::unique_ptr<QPainter> painter_;
    QImage image_;
    int scrollX_ = 0, scrollY_ = 0;
    int curX_ = 0, curY_ = 0;
    uint32_t penRgb_ = 0xFFFFFF;
    int penWidth_ = 1;
    PenMode penMode_ = PenMode::Copy;
    uint32_t brushRgb_ = 0;
    BrushStyle brushStyle_ = BrushStyle::None;
    uint32_t textRgb_ = 0xFFFFFF;
    QFont font_;
};
