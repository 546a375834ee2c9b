// Printing a drawing on one landscape A4 page: the page mapping and the print operations.
#include "render/Mprint.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLineF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPolygonF>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "kernel/Mcalc.h"
#include "model/DrawingStore.h"

namespace {

constexpr double kPenWidth = 2.0;  // device pixels
// Room around the paper for the pen's round caps, so that a figure just off the edge is
// still handed over whole and one wholly beyond it is not.
constexpr double kPenRoom = kPenWidth + 2.0;

double Radians(double degrees) { return degrees * (1.0 / 180.0) * 3.14159265358979; }
double Degrees(double radians) { return radians * 180.0 / M_PI; }

QRectF Widened(const QRectF& paper) {
    return paper.adjusted(-kPenRoom, -kPenRoom, kPenRoom, kPenRoom);
}

// An A4 landscape sheet at the given resolution, for contexts made without a device.
QRectF A4LandscapePixels(double dpiX, double dpiY) {
    return QRectF(0.0, 0.0, 297.0 / 25.4 * dpiX, 210.0 / 25.4 * dpiY);
}

// QRectF::intersects refuses boxes without area, and a flat ellipse is still a stroke.
bool Meets(const QRectF& box, const QRectF& area) {
    return box.left() <= area.right() && box.right() >= area.left() && box.top() <= area.bottom() &&
           box.bottom() >= area.top();
}

// Cuts the line to the area (Liang and Barsky). Paint engines do not cope with coordinates
// far beyond the page: the PDF writer wraps numbers past 32 bits around to somewhere on the
// sheet, so a line running off the page from a drawing far from the origin would come back
// on it.
bool ClipToArea(QLineF& line, const QRectF& area) {
    const double x0 = line.x1(), y0 = line.y1(), dx = line.dx(), dy = line.dy();
    double t0 = 0.0, t1 = 1.0;
    auto edge = [&](double p, double q) {  // keeps the part with p * t <= q
        if (p == 0.0) return q >= 0.0;
        const double t = q / p;
        if (p < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    if (!edge(-dx, x0 - area.left()) || !edge(dx, area.right() - x0) ||
        !edge(-dy, y0 - area.top()) || !edge(dy, area.bottom() - y0))
        return false;
    if (t1 < 1.0) line.setP2(QPointF(x0 + t1 * dx, y0 + t1 * dy));
    if (t0 > 0.0) line.setP1(QPointF(x0 + t0 * dx, y0 + t0 * dy));
    return true;
}

// The angle, in degrees counter-clockwise on the page, at which the ray from the box's
// centre through p meets the ellipse, in the parametric measure that QPainterPath's arcs
// take (the angle on the circle the ellipse is stretched from).
double ArcAngle(const QRectF& box, const QPointF& p) {
    const double dx = p.x() - box.center().x(), up = box.center().y() - p.y();
    const double rx = box.width() * 0.5, ry = box.height() * 0.5;
    if (rx > 0.0 && ry > 0.0) return Degrees(std::atan2(up * rx, dx * ry));
    return Degrees(std::atan2(up, dx));
}

// The sweep from the start ray to the end ray, counter-clockwise. The rays come from
// truncated pixels, so a tiny arc can turn into a nearly full one or the other way round;
// of the sweeps the rays allow, the one nearest the drawing's own is taken.
double ArcSweep(double startRay, double endRay, double worldSweep) {
    double sweep = std::fmod(endRay - startRay, 360.0);
    if (sweep < 0.0) sweep += 360.0;
    for (double other : {sweep + 360.0, sweep - 360.0})
        if (std::abs(other - worldSweep) < std::abs(sweep - worldSweep)) sweep = other;
    return std::clamp(sweep, 0.0, 360.0);
}

// Ellipses much larger than the sheet go as a polyline over just the part near the sheet:
// the paint engine's curves carry an error of some 1/4000 of the radius, which on a circle
// of a few metres is a visible bend, and their control points run far off the page.
void PrintLargeArc(const PrintContext& context, QPainter& painter, const QRectF& box,
                   double startDeg, double sweepDeg) {
    const QPointF centre = box.center();
    const double rx = std::max(box.width() * 0.5, 0.5), ry = std::max(box.height() * 0.5, 0.5);
    const QRectF& area = context.visible;
    // On the unit circle the ellipse is stretched from, the area lies within hd of its
    // centre u; only the angles within asin(hd / |u|) of u's direction can reach it.
    const double ux = (area.center().x() - centre.x()) / rx;
    const double uy = (centre.y() - area.center().y()) / ry;
    const double hd = std::hypot(area.width() * 0.5 / rx, area.height() * 0.5 / ry);
    const double d = std::hypot(ux, uy);
    if (d - hd > 1.0 || d + hd < 1.0) return;
    const double half = d > hd ? Degrees(std::asin(hd / d)) : 180.0;
    double from = std::fmod(Degrees(std::atan2(uy, ux)) - half - startDeg, 360.0);
    if (from < 0.0) from += 360.0;
    // Steps short enough that a chord strays less than a tenth of a pixel from the curve.
    const double step = std::sqrt(0.8 / std::max(rx, ry));
    for (double shift : {from, from - 360.0}) {
        const double a = std::max(0.0, shift), b = std::min(sweepDeg, shift + 2.0 * half);
        if (!(b > a)) continue;
        const int n = int(std::clamp(std::ceil(Radians(b - a) / step), 1.0, 4096.0));
        QPolygonF points;
        points.reserve(n + 1);
        for (int i = 0; i <= n; ++i) {
            const double t = Radians(startDeg + a + (b - a) * i / n);
            points << QPointF(centre.x() + rx * std::cos(t), centre.y() - ry * std::sin(t));
        }
        painter.drawPolyline(points);
    }
}

// Font sizes in pixels: trunc toward zero, at least 1, and bounded so that an absurd text
// height cannot ask the font engine for an absurd face.
int FontPixels(double v) {
    if (!(v >= 1.0)) return 1;
    if (v > 1e6) return 1000000;
    return int(std::trunc(v));
}

}  // namespace

double PrintContext::MapX(double x) const {
    return std::trunc((x * scale + xOffset) * pixelsPerMmX);
}

double PrintContext::MapY(double y) const {
    return std::trunc((-y * scale + yOffset) * pixelsPerMmY);
}

std::optional<PrintBounds> DrawingBounds(const DrawingStore& store) {
    std::optional<PrintBounds> box;
    auto add = [&box](double x, double y) {
        if (!box) box = PrintBounds{x, y, x, y};
        box->xmin = std::min(box->xmin, x);
        box->ymin = std::min(box->ymin, y);
        box->xmax = std::max(box->xmax, x);
        box->ymax = std::max(box->ymax, y);
    };
    const auto& lines = store.lines();
    for (int32_t i = 0; i <= store.lineTop && size_t(i) < lines.size(); ++i) {
        const LineElement& l = lines[size_t(i)];
        if (!l.alive) continue;
        add(l.x1, l.y1);
        add(l.x2, l.y2);
    }
    const auto& circles = store.circles();
    for (int32_t i = 0; i <= store.circleTop && size_t(i) < circles.size(); ++i) {
        const CircleElement& c = circles[size_t(i)];
        if (!c.alive) continue;
        const double r = c.radius;
        if (c.startAngle == c.endAngle) {
            add(c.cx - r, c.cy - r);
            add(c.cx + r, c.cy + r);
            continue;
        }
        // An arc reaches as far as its ends and the quadrant points it passes through.
        const double start = c.startAngle;
        const double end = c.endAngle < start ? c.endAngle + 360.0 : c.endAngle;
        add(c.cx + r * std::cos(DegToRad(start)), c.cy + r * std::sin(DegToRad(start)));
        add(c.cx + r * std::cos(DegToRad(end)), c.cy + r * std::sin(DegToRad(end)));
        const double first = std::ceil(start / 90.0);
        for (int k = 0; k < 5; ++k) {
            const double quadrant = first + k;
            if (quadrant * 90.0 > end) break;
            switch (int(std::fmod(std::fmod(quadrant, 4.0) + 4.0, 4.0))) {
                case 0: add(c.cx + r, c.cy); break;
                case 1: add(c.cx, c.cy + r); break;
                case 2: add(c.cx - r, c.cy); break;
                default: add(c.cx, c.cy - r); break;
            }
        }
    }
    double tallest = 0.0;
    for (int32_t i = 0; i < store.textCount; ++i) {
        const TextElement& t = store.text(i);
        if (!t.alive) continue;
        add(t.x, t.y);
        tallest = std::max(tallest, t.height);
    }
    if (!box) return box;
    // Nothing with an extent (a lone text, a line of no length): a box as tall as the
    // tallest text above it, or one unit, so that there is a scale to print with.
    if (!(std::max(box->xmax - box->xmin, box->ymax - box->ymin) > 0.0))
        box->ymax += tallest > 0.0 && std::isfinite(tallest) ? tallest : 1.0;
    const double span = std::max(box->xmax - box->xmin, 1.4 * (box->ymax - box->ymin));
    if (!(span > 0.0) || !std::isfinite(251.99999999999997 / span) || !std::isfinite(span))
        box.reset();
    return box;
}

PrintContext MakePrintContext(double dpiX, double dpiY, double span, double width, double height,
                              double xmin, double ymin) {
    PrintContext c;
    c.pixelsPerMmY = dpiY * 0.03937007874015748;
    c.pixelsPerMmX = dpiX * (1.0 / 25.4);
    c.scale = 251.99999999999997 / span;
    // A box whose lower-left corner is the origin adds zero: those drawings print to the
    // last pixel as they always have.
    c.xOffset = 147.0 - width * c.scale * 0.5 - xmin * c.scale;
    c.yOffset = height * c.scale * 0.5 + 105.0 + ymin * c.scale;
    c.visible = Widened(A4LandscapePixels(dpiX, dpiY));
    return c;
}

void BeginPrintPage(PrintContext& context, QPainter& painter, double span, double width,
                    double height, double xmin, double ymin) {
    QPaintDevice* device = painter.device();
    context = MakePrintContext(device->logicalDpiX(), device->logicalDpiY(), span, width, height,
                               xmin, ymin);
    QRectF paper(0.0, 0.0, device->width(), device->height());
    // The placement is measured from the paper's edge; a device with margins puts its origin
    // at the margin, so the painter is moved back to the paper's corner.
    if (auto* paged = dynamic_cast<QPagedPaintDevice*>(device)) {
        const QPageLayout layout = paged->pageLayout();
        if (layout.isValid()) {
            const int dpi = device->logicalDpiX();
            const QRect full = layout.fullRectPixels(dpi);
            painter.translate(full.topLeft() - layout.paintRectPixels(dpi).topLeft());
            paper = QRectF(QPointF(0.0, 0.0), QSizeF(full.size()));
        }
    }
    context.visible = Widened(paper);
    QPen pen(Qt::black, kPenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setCosmetic(false);
    painter.setPen(pen);
    // Circles are outlines: the paper's white would only blot out what was printed before.
    painter.setBrush(Qt::NoBrush);
    painter.setBackgroundMode(Qt::TransparentMode);
}

void PrintLine(const PrintContext& context, QPainter& painter, double x1, double y1, double x2,
               double y2) {
    QLineF line(context.MapX(x1), context.MapY(y1), context.MapX(x2), context.MapY(y2));
    if (line.p1() == line.p2()) return;
    if (!std::isfinite(line.x1()) || !std::isfinite(line.y1()) || !std::isfinite(line.x2()) ||
        !std::isfinite(line.y2()))
        return;
    if (ClipToArea(line, context.visible)) painter.drawLine(line);
}

void PrintCircle(const PrintContext& context, QPainter& painter, double cx, double cy, double r,
                 double startAngle, double endAngle, double yFactor) {
    const QRectF box = QRectF(QPointF(context.MapX(cx - r), context.MapY(cy + r * yFactor)),
                              QPointF(context.MapX(cx + r), context.MapY(cy - r * yFactor)))
                           .normalized();
    if (!std::isfinite(box.left()) || !std::isfinite(box.right()) || !std::isfinite(box.top()) ||
        !std::isfinite(box.bottom()))
        return;
    const QRectF& area = context.visible;
    const bool large =
        std::max(box.width(), box.height()) > std::hypot(area.width(), area.height());
    if (!large && !Meets(box, area)) return;

    double startRay = 0.0, sweep = 360.0;
    if (startAngle != endAngle) {
        const double end = endAngle < startAngle ? endAngle + 360.0 : endAngle;
        const double s = Radians(startAngle), e = Radians(end);
        const QPointF p1(context.MapX(cx + r * std::cos(s)),
                         context.MapY(cy + r * yFactor * std::sin(s)));
        const QPointF p2(context.MapX(cx + r * std::cos(e)),
                         context.MapY(cy + r * yFactor * std::sin(e)));
        startRay = ArcAngle(box, p1);
        sweep = ArcSweep(startRay, ArcAngle(box, p2), std::min(end - startAngle, 360.0));
        if (sweep <= 0.0) return;
    }
    if (large) {
        PrintLargeArc(context, painter, box, startRay, sweep);
    } else if (startAngle == endAngle) {
        painter.drawEllipse(box);
    } else {
        QPainterPath path;
        path.arcMoveTo(box, startRay);
        path.arcTo(box, startRay, sweep);
        painter.drawPath(path);
    }
}

void PrintText(const PrintContext& context, QPainter& painter, double x, double y,
               const std::string& utf8Text, double height, double rotation) {
    const double x0 = context.MapX(x), y0 = context.MapY(y);
    const QString text = QString::fromUtf8(utf8Text);
    if (text.isEmpty() || !std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(rotation))
        return;
    QFont font(QStringLiteral("MSゴシック"));
    font.setStyleHint(QFont::TypeWriter);
    const int h = FontPixels(height * context.scale * 20.0);
    const int w = FontPixels(height * context.scale * 10.0);
    // The width asked for is the average width of the face's half-width characters, which
    // in the Japanese face is half its height; the installed face's own proportion is
    // measured on a half-width letter at a size large enough not to round.
    QFont reference(font);
    reference.setPixelSize(1000);
    const double natural =
        QFontMetricsF(reference, painter.device()).horizontalAdvance('x') / 1000.0;
    font.setPixelSize(h);
    if (natural > 0.0)
        font.setStretch(std::clamp(int(std::lround(100.0 * w / (natural * h))), 1, 4000));
    const QFontMetrics metrics(font, painter.device());
    const int th = metrics.height();

    // The lower-left corner of the text, turned with it, sits on the insertion point.
    const double a = Radians(rotation);
    const double left = std::trunc(x0 - std::sin(a) * th);
    const double top = std::trunc(y0 - std::cos(a) * th);
    // However the text is turned, it stays within its length and height of that corner.
    const double reach = metrics.horizontalAdvance(text) + th;
    const QRectF& area = context.visible;
    if (left < area.left() - reach || left > area.right() + reach || top < area.top() - reach ||
        top > area.bottom() + reach)
        return;

    const int tenths = int(std::fmod(std::trunc(rotation * 10.0), 3600.0));
    painter.save();
    painter.setFont(font);
    // The canvas's text colour is never chosen for paper; black is the only one that shows.
    painter.setPen(Qt::black);
    painter.translate(left, top);
    painter.rotate(-tenths / 10.0);
    painter.drawText(QPointF(0.0, metrics.ascent()), text);
    painter.restore();
}

bool PrintDrawing(QPaintDevice& device, const DrawingStore& store) {
    const std::optional<PrintBounds> bounds = DrawingBounds(store);
    if (!bounds) return false;
    const double width = bounds->xmax - bounds->xmin;
    const double height = bounds->ymax - bounds->ymin;
    const double span = std::max(width, 1.4 * height);

    QPainter painter;
    if (!painter.begin(&device)) return false;
    PrintContext context;
    BeginPrintPage(context, painter, span, width, height, bounds->xmin, bounds->ymin);
    const auto& lines = store.lines();
    for (int32_t i = 0; i <= store.lineTop && size_t(i) < lines.size(); ++i) {
        const LineElement& l = lines[size_t(i)];
        if (l.alive) PrintLine(context, painter, l.x1, l.y1, l.x2, l.y2);
    }
    const auto& circles = store.circles();
    for (int32_t i = 0; i <= store.circleTop && size_t(i) < circles.size(); ++i) {
        const CircleElement& c = circles[size_t(i)];
        if (c.alive)
            PrintCircle(context, painter, c.cx, c.cy, c.radius, c.startAngle, c.endAngle, 1.0);
    }
    for (int32_t i = 0; i < store.textCount; ++i) {
        const TextElement& t = store.text(i);
        if (t.alive) PrintText(context, painter, t.x, t.y, t.text, t.height, t.angle);
    }
    return painter.end();
}

bool PrintDrawingToPdf(const std::string& path, const DrawingStore& store) {
    if (!DrawingBounds(store)) return false;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    bool printed = false;
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Korvo"));
        writer.setResolution(600);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        printed = PrintDrawing(writer, store);
    }
    if (!printed) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
