// The main window's sharing: the two share records' wire layout and how a received record changes
// the drawing.
#pragma once

#include <array>
#include <cstdint>

class DrawingStore;
struct CircleElement;
struct LineElement;

inline constexpr unsigned kLineShareSize = 56;
inline constexpr unsigned kCircleShareSize = 64;
inline constexpr unsigned kLineShareId = 1;
inline constexpr unsigned kCircleShareId = 2;

using LineShareBytes = std::array<uint8_t, kLineShareSize>;
using CircleShareBytes = std::array<uint8_t, kCircleShareSize>;

// Operation 1: the element was added; 0: it was deleted.
struct LineShare {
    int32_t operation = 0;
    int32_t colour = 0;
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

struct CircleShare {
    int32_t operation = 0;
    int32_t colour = 0;
    double cx = 0.0, cy = 0.0, radius = 0.0, startAngle = 0.0, endAngle = 0.0;
};

// Little-endian whatever the machine, with the reserved bytes zero.
void PackLineShare(int32_t operation, const LineElement& line, LineShareBytes& record);
void PackCircleShare(int32_t operation, const CircleElement& circle, CircleShareBytes& record);
LineShare UnpackLineShare(const LineShareBytes& record);
CircleShare UnpackCircleShare(const CircleShareBytes& record);

// Apply a partner's record to the drawing without sending it back. A record that breaks the
// file rules (a value not finite or beyond what a drawing file may hold, a colour outside the
// palette) changes nothing and gives false; so does nothing else. An operation other than 0
// or 1, or a delete that matches no alive element, changes nothing either.
bool ApplyLineShare(DrawingStore& store, const LineShare& record);
bool ApplyCircleShare(DrawingStore& store, const CircleShare& record);
