// Printing a drawing on one landscape A4 page: the page mapping and the print operations.
#pragma once

#include <QRectF>
#include <optional>
#include <string>

class DrawingStore;
class QPainter;
class QPaintDevice;

// The page mapping of one print job. Page pixels count from the paper's top-left corner.
struct PrintContext {
    double pixelsPerMmX = 0.0, pixelsPerMmY = 0.0;
    double scale = 0.0;    // millimetres per world unit
    double xOffset = 0.0;  // millimetres added to a scaled x
    double yOffset = 0.0;  // millimetres added to a scaled, negated y
    // The paper in page pixels, widened by a margin for the pen: what lies wholly beyond it
    // cannot show and is not handed to the paint engine.
    QRectF visible;

    // Page pixels, truncated toward zero; kept as doubles so that a drawing far from the
    // world origin cannot overflow an integer.
    double MapX(double x) const;
    double MapY(double y) const;
};

// The box of everything printed: the alive lines' end points, the circles' and arcs' extents
// (an arc's own, not its circle's), the texts' insertion points.
struct PrintBounds {
    double xmin = 0.0, ymin = 0.0, xmax = 0.0, ymax = 0.0;
};
// Empty when nothing is alive, or the box is too large to scale by. A box without extent
// (a lone text) is made as tall as the tallest text, or one unit.
std::optional<PrintBounds> DrawingBounds(const DrawingStore& store);

// The mapping alone, for a device of the given resolution: the rectangle from world
// (xmin, ymin) to (xmin + width, ymin + height) is centred on the page point (147, 105) mm,
// its width mapped to 252 mm or its height to 180 mm, whichever is the tighter.
PrintContext MakePrintContext(double dpiX, double dpiY, double span, double width, double height,
                              double xmin = 0.0, double ymin = 0.0);

// Sets up the context from the painter's device and the painter itself: a black pen two
// device pixels wide, no brush, and the page's top-left corner at the origin even when the
// device keeps margins (a QPrinter that is not full-page, a QPdfWriter with margins).
void BeginPrintPage(PrintContext& context, QPainter& painter, double span, double width,
                    double height, double xmin = 0.0, double ymin = 0.0);
// A line, left out when both end points fall on one page pixel.
void PrintLine(const PrintContext& context, QPainter& painter, double x1, double y1, double x2,
               double y2);
// A full circle when the angles are equal, else the arc counter-clockwise on the page from
// the start angle to the end angle (degrees); yFactor stretches it vertically. Never filled.
void PrintCircle(const PrintContext& context, QPainter& painter, double cx, double cy, double r,
                 double startAngle, double endAngle, double yFactor);
// A text (UTF-8) in black, its lower-left corner at (x, y), turned by rotation
// degrees counter-clockwise.
void PrintText(const PrintContext& context, QPainter& painter, double x, double y,
               const std::string& utf8Text, double height, double rotation);

// Prints the drawing on the device's one page, its box (DrawingBounds) filling the page area
// around (147, 105) mm. The device should
// be a landscape A4 page (QPdfWriter or QPrinter set to A4 landscape by the caller; the
// function itself does not change the layout). Texts in the Japanese face need the font
// substitutes that the program installs at start-up.
// False, drawing nothing, when nothing is alive (no box to scale by), or when the device
// cannot be painted on.
bool PrintDrawing(QPaintDevice& device, const DrawingStore& store);
// The same to a PDF file: A4 landscape without margins, 600 dpi; false when nothing is drawn
// or the file cannot be written. The file is replaced only when complete.
bool PrintDrawingToPdf(const std::string& path, const DrawingStore& store);
