// What the store asks of the screen as elements come and go.
#pragma once

#include "kernel/Elements.h"

// The drawing is immediate: an element is painted the moment the store takes it and painted
// out in the background colour the moment the store lets it go; only a full redraw repaints
// everything. The store calls these and knows nothing else of the screen; the renderer
// implements them.
class ElementPainter {
public:
    virtual void ElementAdded(const LineElement& l) = 0;
    virtual void ElementAdded(const CircleElement& c) = 0;
    // Paints the element out, and with it the snap marker at (markerX, markerY), which the
    // user caught on the element before deleting it.
    virtual void ElementErased(const LineElement& l, double markerX, double markerY) = 0;
    virtual void ElementErased(const CircleElement& c, double markerX, double markerY) = 0;

protected:
    ~ElementPainter() = default;
};
