// The glyphs of the tool bar and palette buttons, painted at run time.
#pragma once

#include <QIcon>

enum class Glyph {
    None,
    Select,
    Line,
    Rectangle,
    CircleRadius,  // circle of a typed radius
    CircleCentre,  // circle by centre and a point on it
    FilledCircle,
    Arc,
    Arc3,  // arc through three points
    Chamfer,
    Fillet,
    Offset,
    Delete,
    Trim,
    Split,
    Angle,
    New,
    OpenDxf,
    Settings,
    Print,
    Chat,
    Fit,
    ZoomIn,
    ZoomOut,
    Redraw,
    Snap,
    Ucs,
};

// A square pixmap of `size` pixels with the glyph drawn in dark ink on transparency; an
// empty icon for Glyph::None.
QIcon GlyphIcon(Glyph glyph, int size);
