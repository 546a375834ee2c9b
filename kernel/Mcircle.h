// Circle and arc elements: storing, picking distance, angles on arcs, crossings, three-point arcs.
#pragma once

#include "kernel/Elements.h"

// Angles are degrees counter-clockwise from +x. A circle whose start and end angles are equal
// (exactly) is full; otherwise the arc runs counter-clockwise from start to end, through 0 when
// start > end. Out-points that a routine does not produce are left untouched.

// Stores the centre rounded by Round5 and radius, start and end angles as given; returns 1.
// A value that is not finite (or a centre that overflows when rounded) gives 0 and leaves the
// record untouched.
int SetCircleData(CircleElement& circle, double cx, double cy, double r, double start, double end);

// Distance used for picking. Full circle: |distance to the centre - r|. Arc: the smaller of the
// distance to its chord and, when P lies in the arc's angular range, the radial distance; -1.0
// when the arc's end points coincide.
double PointCircleDistance(const CircleElement& circle, double px, double py);

// The point of the circle at `angle` degrees: (cos a * r + cx, sin a * r + cy). Returns true; on an
// arithmetic fault shows "AngleToPnt", leaves the point as far as it was computed (x may be
// written, y not) and returns false.
bool AngleToPnt(const CircleElement& circle, double& x, double& y, double angle);

// 1 when `angle` (degrees, in [0, 360)) lies on the arc, ends included; always 1 for a full circle.
int AngleOnArc(const CircleElement& circle, double angle);

// 1 when the direction of P from the centre lies on the arc; 0 for P at the centre of an arc;
// always 1 for a full circle.
int PointOnArc(const CircleElement& circle, double px, double py);

// The crossings of the line a*x + b*y + c = 0 with the full circle:
//  -1  none (or a degenerate line), points untouched;
//   1  tangent (both discriminants below 1e-5): (x1, y1) only;
//   2  two points.
// The offsets from the centre are rounded by Round5, not the sums. An arithmetic fault shows
// "a1%lf b1%lf aabb%lf" (a, b, a*a + b*b) and gives -1 with the points untouched.
int LineCircleRoots(const CircleElement& circle, double a, double b, double c, double& x1,
                    double& y1, double& x2, double& y2);

// The crossings of a stored line's segment with the circle or arc: the number (0, 1 or 2) that lie
// on both, those first, or -1 when the extended line misses the circle. An arithmetic fault while
// testing the arc shows "crosscirp" and gives the number kept so far.
int crosscirp(const CircleElement& circle, const LineElement& line, double& x1, double& y1,
              double& x2, double& y2);

// The crossings of two circles or arcs that lie on both: 1 or 2, those first, or -1 for none
// (concentric, apart, one inside the other, or no crossing on both arcs). An arithmetic fault while
// testing the arcs shows "cir_cir" and gives the number kept so far, which may then be 0.
int cir_cir(const CircleElement& c1, const CircleElement& c2, double& x1, double& y1, double& x2,
            double& y2);

// The circle through A, B and C: returns 1 with the centre (not rounded) and radius set and both
// angles 0; returns 0, leaving the record untouched, for a collinear triple (twice the signed area
// below 1e-5), a radius below 1e-5 or a result that is not finite.
int CircleBy3Points(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                    double cy);

// The arc from A through B to C: its counter-clockwise sweep runs from one outer point through B
// to the other. Returns 1 with centre, radius and angles set, or 0 (record untouched).
int ArcBy3Points(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                 double cy);

// ArcBy3Points when the interior angle at B (AngleAtVertex) lies in [lower, upper] degrees, both
// bounds inclusive; else 0.
int ThreePointArcTest(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                      double cy, double lower, double upper);

// A concentric copy at distance d: a full circle grows when P lies outside it, an arc when P lies
// to the left of its chord taken from the chord's left end to its right end; otherwise it shrinks.
// The copy keeps the other fields and the angles. A radius below d (or a result that is not
// finite) gives 0 with out.radius set to 0.
int OffsetCircle(CircleElement& out, const CircleElement& circle, double px, double py, double d);

// The angle (DirectionAngleDeg) at which the click P splits the circle or arc. Returns 1 when P's
// direction lies on the arc, other than the start angle of a full circle or either end of an arc
// (a split there would leave a piece with equal angles, which is a full circle); else 0. P at the
// centre gives 0.
int ArcSplitAngle(const CircleElement& circle, double px, double py, double& angle);
