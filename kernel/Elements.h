// The element records of a drawing: lines, circles and arcs, texts and snap points.
#pragma once

#include <cstdint>
#include <string>

// An element's identity is its slot index in the store's table; -1 means none.
struct LineElement {
    int32_t alive = 0;  // 1 = part of the drawing
    int32_t colour = 7;
    int32_t reserved1 = 0;
    int32_t penWidth = 1;
    int32_t reserved2 = 0;
    double x1 = 0.0, y1 = 0.0;
    double x2 = 0.0, y2 = 0.0;
};

struct CircleElement {
    int32_t alive = 0;
    int32_t colour = 7;
    int32_t reserved1 = 0;
    int32_t penWidth = 1;
    int32_t reserved2 = 0;
    uint8_t fillStyle = 1;  // 0 = filled with fillColour, 1 = outline only
    int32_t fillColour = 0;
    double cx = 0.0, cy = 0.0;
    double radius = 0.0;
    // Degrees. Equal angles are a full circle; otherwise the arc runs counter-clockwise
    // from startAngle to endAngle, through 0 when startAngle > endAngle.
    double startAngle = 0.0, endAngle = 0.0;
};

// What the next current circle keeps of the one before it: style, radius and angles.
inline void CarryCircleSettings(CircleElement& to, const CircleElement& from) {
    to.colour = from.colour;
    to.penWidth = from.penWidth;
    to.fillStyle = from.fillStyle;
    to.fillColour = from.fillColour;
    to.radius = from.radius;
    to.startAngle = from.startAngle;
    to.endAngle = from.endAngle;
}

struct TextElement {
    int32_t alive = 0;
    int32_t colour = 15;
    std::string text;  // UTF-8: the characters, whatever code page a file wrote them in
    double x = 0.0, y = 0.0;
    double height = 0.0;
    double angle = 0.0;  // degrees, direction of the base line
};

// Kinds of snap points.
enum : uint8_t {
    kPointFree = 0,
    kPointEnd = 2,           // end point of a line or an arc
    kPointMidOrCentre = 3,   // midpoint of a line, centre of a circle
    kPointCrossOrQuad = 6,   // intersection, or quadrant point of a circle
};
// Owner kinds of snap points.
enum : uint8_t { kOwnerLine = 'L', kOwnerCircle = 'C' };

// Packed to 28 bytes (from 32 with the padding after each kind): a drawing of a million
// elements holds some four million snap points. The fields keep their order.
struct __attribute__((packed, aligned(4))) PointElement {
    double x = 0.0, y = 0.0;
    uint8_t kind = kPointFree;
    uint8_t owner1Kind = 0;
    int32_t owner1Index = 0;
    uint8_t owner2Kind = 0;
    int32_t owner2Index = 0;
};
