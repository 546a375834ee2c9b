// The glyphs of the tool bar and palette buttons, painted with QPainter on a 24-unit grid.
#include "window/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace {

const QColor kInk(0x20, 0x20, 0x20);
const QColor kAccent(0x00, 0x50, 0xC0);
const QColor kRed(0xC0, 0x10, 0x10);
const QColor kPaper(0xFF, 0xFF, 0xF4);

QPen Ink(double width = 1.6, const QColor& colour = kInk) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void Dot(QPainter& p, double x, double y, const QColor& colour = kAccent) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(x, y), 1.9, 1.9);
    p.restore();
}

void Arrow(QPainter& p) {  // the select tool: a pointer
    QPainterPath path;
    path.moveTo(7, 3);
    path.lineTo(7, 19);
    path.lineTo(11, 15);
    path.lineTo(14, 21);
    path.lineTo(16.5, 20);
    path.lineTo(13.5, 14);
    path.lineTo(19, 14);
    path.closeSubpath();
    p.setPen(Ink(1.2));
    p.setBrush(Qt::white);
    p.drawPath(path);
}

void Sheet(QPainter& p) {  // a sheet of paper with a folded corner
    QPainterPath path;
    path.moveTo(5, 2);
    path.lineTo(15, 2);
    path.lineTo(20, 7);
    path.lineTo(20, 22);
    path.lineTo(5, 22);
    path.closeSubpath();
    p.setPen(Ink(1.2));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawPolyline(QPolygonF({{15, 2}, {15, 7}, {20, 7}}));
}

void Gear(QPainter& p) {
    p.setPen(Ink(1.2));
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    QPainterPath path;
    for (int i = 0; i < 16; ++i) {
        double a = i * 3.14159265358979 / 8.0;
        double r = (i % 2 == 0) ? 10.0 : 7.5;
        QPointF pt(12 + r * std::cos(a), 12 + r * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    path.addEllipse(QPointF(12, 12), 3.2, 3.2);
    path.setFillRule(Qt::OddEvenFill);
    p.drawPath(path);
}

void Magnifier(QPainter& p, bool plus) {
    p.setPen(Ink(2.0));
    p.setBrush(QColor(0xE8, 0xF0, 0xFF));
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(Ink(3.0));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
    p.setPen(Ink(2.0, kAccent));
    p.drawLine(QPointF(7, 10), QPointF(13, 10));
    if (plus) p.drawLine(QPointF(10, 7), QPointF(10, 13));
}

void Paint(QPainter& p, Glyph glyph) {
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
        case Glyph::None:
            break;
        case Glyph::Select:
            Arrow(p);
            break;
        case Glyph::Line:
            p.setPen(Ink(2.0));
            p.drawLine(QPointF(4, 19), QPointF(20, 5));
            Dot(p, 4, 19);
            Dot(p, 20, 5);
            break;
        case Glyph::Rectangle:
            p.setPen(Ink(2.0));
            p.drawRect(QRectF(4, 6, 16, 12));
            Dot(p, 4, 18);
            Dot(p, 20, 6);
            break;
        case Glyph::CircleRadius:
            p.setPen(Ink(1.8));
            p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
            p.setPen(Ink(1.2, kAccent));
            p.drawLine(QPointF(12, 12), QPointF(18, 6));
            p.setFont(QFont(QStringLiteral("Sans"), 7, QFont::Bold));
            p.drawText(QRectF(5, 11, 9, 9), Qt::AlignCenter, QStringLiteral("R"));
            Dot(p, 12, 12);
            break;
        case Glyph::CircleCentre:
            p.setPen(Ink(1.8));
            p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
            p.setPen(Ink(1.0, kAccent));
            p.drawLine(QPointF(12, 12), QPointF(20.5, 12));
            Dot(p, 12, 12);
            Dot(p, 20.5, 12, kRed);
            break;
        case Glyph::FilledCircle:
            p.setPen(Ink(1.4));
            p.setBrush(kAccent);
            p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
            break;
        case Glyph::Arc:
            p.setPen(Ink(2.0));
            p.drawArc(QRectF(3, 5, 18, 18), 20 * 16, 140 * 16);
            p.setPen(Ink(1.0, kAccent));
            p.drawLine(QPointF(12, 14), QPointF(20.5, 11));
            p.drawLine(QPointF(12, 14), QPointF(3.5, 11));
            Dot(p, 12, 14);
            break;
        case Glyph::Arc3:
            p.setPen(Ink(2.0));
            p.drawArc(QRectF(3, 5, 18, 18), 10 * 16, 160 * 16);
            Dot(p, 3.3, 12.5, kRed);
            Dot(p, 12, 5, kRed);
            Dot(p, 20.7, 12.5, kRed);
            break;
        case Glyph::Chamfer:
            p.setPen(Ink(2.0));
            p.drawPolyline(QPolygonF({{4, 20}, {4, 11}, {11, 4}, {20, 4}}));
            p.setPen(Ink(1.0, kAccent));
            p.drawLine(QPointF(4, 4), QPointF(4, 11));
            p.drawLine(QPointF(4, 4), QPointF(11, 4));
            break;
        case Glyph::Fillet: {
            p.setPen(Ink(2.0));
            QPainterPath path;
            path.moveTo(4, 20);
            path.lineTo(4, 13);
            path.quadTo(4, 4, 13, 4);
            path.lineTo(20, 4);
            p.drawPath(path);
            p.setFont(QFont(QStringLiteral("Sans"), 7, QFont::Bold));
            p.setPen(kAccent);
            p.drawText(QRectF(10, 10, 11, 11), Qt::AlignCenter, QStringLiteral("R"));
            break;
        }
        case Glyph::Offset:
            p.setPen(Ink(2.0));
            p.drawLine(QPointF(3, 17), QPointF(15, 5));
            p.setPen(Ink(2.0, kAccent));
            p.drawLine(QPointF(9, 21), QPointF(21, 9));
            p.setPen(Ink(1.0, kRed));
            p.drawLine(QPointF(9, 11), QPointF(14, 16));
            break;
        case Glyph::Delete:
            p.setPen(Ink(1.4));
            p.drawLine(QPointF(3, 20), QPointF(21, 4));
            p.setPen(Ink(2.6, kRed));
            p.drawLine(QPointF(7, 7), QPointF(17, 17));
            p.drawLine(QPointF(17, 7), QPointF(7, 17));
            break;
        case Glyph::Trim:
            p.setPen(Ink(2.0));
            p.drawLine(QPointF(4, 20), QPointF(12, 4));
            p.drawLine(QPointF(12, 4), QPointF(21, 15));
            p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1.2, Qt::DashLine));
            p.drawLine(QPointF(12, 4), QPointF(14, 0));
            p.drawLine(QPointF(12, 4), QPointF(9, 0.5));
            Dot(p, 12, 4, kRed);
            break;
        case Glyph::Split:
            p.setPen(Ink(2.0));
            p.drawLine(QPointF(3, 18), QPointF(10, 13));
            p.setPen(Ink(2.0, kAccent));
            p.drawLine(QPointF(14, 11), QPointF(21, 6));
            p.setPen(Ink(1.2, kRed));
            p.drawLine(QPointF(8, 6), QPointF(16, 18));
            break;
        case Glyph::Angle:
            p.setPen(Ink(2.0));
            p.drawLine(QPointF(3, 20), QPointF(21, 20));
            p.drawLine(QPointF(3, 20), QPointF(17, 5));
            p.setPen(Ink(1.2, kRed));
            p.drawArc(QRectF(-6, 11, 18, 18), 0, 47 * 16);
            break;
        case Glyph::New:
            Sheet(p);
            p.setPen(Ink(1.6, QColor(0xE0, 0xA0, 0x00)));
            p.drawLine(QPointF(9, 12), QPointF(16, 19));
            p.drawLine(QPointF(16, 12), QPointF(9, 19));
            p.drawLine(QPointF(12.5, 11), QPointF(12.5, 20));
            break;
        case Glyph::OpenDxf:
            p.setPen(Ink(1.2));
            p.setBrush(QColor(0xF0, 0xC8, 0x50));
            p.drawPolygon(QPolygonF({{2, 7}, {9, 7}, {11, 9}, {21, 9}, {21, 20}, {2, 20}}));
            p.setFont(QFont(QStringLiteral("Sans"), 6, QFont::Bold));
            p.setPen(kInk);
            p.drawText(QRectF(2, 10, 19, 10), Qt::AlignCenter, QStringLiteral("DXF"));
            break;
        case Glyph::Settings:
            Gear(p);
            break;
        case Glyph::Print:
            p.setPen(Ink(1.2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(7, 2, 10, 8));
            p.setBrush(QColor(0xA8, 0xA8, 0xA8));
            p.drawRoundedRect(QRectF(2, 9, 20, 9), 2, 2);
            p.setBrush(kPaper);
            p.drawRect(QRectF(6, 15, 12, 7));
            Dot(p, 18.5, 12, QColor(0x20, 0xB0, 0x20));
            break;
        case Glyph::Chat:
            p.setPen(Ink(1.2));
            p.setBrush(QColor(0xFF, 0xFF, 0xFF));
            p.drawRoundedRect(QRectF(2, 3, 16, 10), 3, 3);
            p.setBrush(QColor(0xD0, 0xE4, 0xFF));
            p.drawRoundedRect(QRectF(7, 10, 15, 10), 3, 3);
            p.drawPolygon(QPolygonF({{17, 19.5}, {20, 23}, {19.5, 19.5}}));
            break;
        case Glyph::Fit:
            p.setPen(Ink(1.6));
            p.drawPolyline(QPolygonF({{2, 8}, {2, 2}, {8, 2}}));
            p.drawPolyline(QPolygonF({{16, 2}, {22, 2}, {22, 8}}));
            p.drawPolyline(QPolygonF({{22, 16}, {22, 22}, {16, 22}}));
            p.drawPolyline(QPolygonF({{8, 22}, {2, 22}, {2, 16}}));
            p.setPen(Ink(1.4, kAccent));
            p.drawRect(QRectF(7, 7, 10, 10));
            break;
        case Glyph::ZoomIn:
            Magnifier(p, true);
            break;
        case Glyph::ZoomOut:
            Magnifier(p, false);
            break;
        case Glyph::Redraw: {
            p.setPen(Ink(2.2, QColor(0x10, 0x90, 0x30)));
            p.drawArc(QRectF(4, 4, 16, 16), 60 * 16, 280 * 16);
            QPolygonF head({{17.5, 1.5}, {19.5, 8.5}, {12.5, 7}});
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x10, 0x90, 0x30));
            p.drawPolygon(head);
            break;
        }
        case Glyph::Snap:
            p.setPen(Ink(1.4));
            p.drawLine(QPointF(2, 20), QPointF(20, 20));
            p.drawLine(QPointF(4, 22), QPointF(16, 4));
            p.setPen(Ink(1.6, kRed));
            p.drawRect(QRectF(8.5, 16.5, 7, 7));
            p.setPen(Ink(1.2, kAccent));
            p.drawLine(QPointF(19, 3), QPointF(14, 15));
            break;
        case Glyph::Ucs:
            p.setPen(Ink(2.4, kRed));
            p.drawLine(QPointF(5, 19), QPointF(20, 19));
            p.drawLine(QPointF(5, 19), QPointF(5, 4));
            p.setFont(QFont(QStringLiteral("Sans"), 6, QFont::Bold));
            p.setPen(kInk);
            p.drawText(QRectF(14, 9, 9, 9), Qt::AlignCenter, QStringLiteral("X"));
            p.drawText(QRectF(7, 2, 9, 9), Qt::AlignCenter, QStringLiteral("Y"));
            break;
    }
}

}  // namespace

QIcon GlyphIcon(Glyph glyph, int size) {
    if (glyph == Glyph::None) return QIcon();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    Paint(p, glyph);
    p.end();
    return QIcon(pixmap);
}
