// Line elements: coefficients, storing a line, distance for picking, crossing and angle of two
// lines.
#pragma once

#include "kernel/Elements.h"

// The line through the end points as A*x + B*y + C = 0: A = y2 - y1, B = x1 - x2,
// C = x2*y1 - x1*y2.
void LineCoefficients(const LineElement& line, double& a, double& b, double& c);

// A copy whose coordinates the compiler must read afresh, for arithmetic watched by a
// FpFaultScope (see Opaque).
LineElement OpaqueCopy(const LineElement& line);

// Writes the end points into `line`, each rounded by Round5, ordered so that x1 < x2, or x1 == x2
// and y1 <= y2. Returns 1; returns 0 when the given (unrounded) points coincide (SamePoint): the
// rounded points are then stored as given, unordered, and the caller must not make the line alive.
// A coordinate that is not finite, or that overflows when rounded, also gives 0 and leaves the
// record untouched.
int SetLineEnds(LineElement& line, double x1, double y1, double x2, double y2);

// Distance from P to the segment: to the nearer end point when P projects outside it, else to the
// line. -1.0 for a degenerate segment.
double PointSegmentDistance(const LineElement& line, double px, double py);

// The crossing of the two lines (extended as far as needed) on stored, ordered lines:
//  -1  parallel or coincident (determinant within 1e-5), x and y untouched;
//  -2  the crossing is exactly an end point of either line;
//   1  the crossing lies on both segments;
//   0  the crossing lies outside at least one segment.
// For -2, 1 and 0 (x, y) is the crossing rounded by Round5; axis-parallel lines give exact values.
// An arithmetic fault shows "L-L交点計算中エラー" and gives -1 with x and y untouched.
int crossline(const LineElement& l1, const LineElement& l2, double& x, double& y);

// True when (x, y) lies within the stored line's span: x1 <= x <= x2 and y between y1 and y2.
bool WithinSegment(const LineElement& line, double x, double y);

// The angle between the two stored direction vectors in degrees (AngleBetweenVectors): two lines
// crossing at 30 degrees give 30 or 150 depending on their stored directions.
double LineAngle(const LineElement& l1, const LineElement& l2);

// Trims or extends the two lines to their crossing X, keeping on each the part on the side of its
// click (P1 for a, P2 for b): an end that already lies on X stays, an X beyond an end moves that
// end, an X inside the line replaces the end on the far side of the click. Writes the ends
// directly (X is crossline's rounded point). Returns 0, records untouched, for parallel lines.
int TrimToCorner(LineElement& a, LineElement& b, double p1x, double p1y, double p2x, double p2y);

// Trims the lines to their corner (TrimToCorner) and rounds it with an arc of radius arc.radius
// tangent to both: the lines end at the tangent points, the arc gets its centre (unrounded) and
// runs counter-clockwise from the tangent point on one line to that on the other. A negative
// radius puts the centre outside the corner. Returns 0 for parallel lines; on an arithmetic fault
// or a result that is not finite (nearly parallel lines, huge radii) or lines that run straight on,
// shows "FilletLines", restores both lines and the arc as they were on entry and returns 0.
int FilletLines(CircleElement& arc, LineElement& a, LineElement& b, double p1x, double p1y,
                double p2x, double p2y);

// Trims the lines to their corner (TrimToCorner) and cuts the corner off: each line ends at
// distance d from the corner along itself, and `join` runs from the cut end of a to that of
// b. Returns 0 for parallel lines. A distance that is not positive and finite, or not shorter
// than either kept part, shows "ChamferLines", restores both lines and returns 0.
int ChamferLines(LineElement& join, LineElement& a, LineElement& b, double p1x, double p1y,
                 double p2x, double p2y, double d);

// A copy of the line at distance d on the side of P (P on the line counts as the left of the
// direction from the first end to the second), written unrounded and unordered to `out`.
// Returns 0, writing nothing, for a degenerate line or a result that is not finite.
int OffsetLine(LineElement& out, const LineElement& line, double px, double py, double d);

// The foot F of the perpendicular from P onto the line. Returns 1 when F lies within the stored
// span (by x, or by y for a vertical line); 0 when it lies outside (F still written), for a
// degenerate line or when F is not finite (F then untouched).
int LineFoot(const LineElement& line, double px, double py, double& fx, double& fy);
