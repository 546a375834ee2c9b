// Splines of a DXF file: reading their data, evaluating the B-spline, and fitting lines and arcs to
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/DxfReader.h"

class DrawingStore;
class DxfSink;

// The basis table's size: orders (degree + 1) up to 10.
inline constexpr int kMaxSplineOrder = 10;

// One spline's data as the file gives it. The tables are kept between splines so that an
// import does not allocate them anew for each.
struct SplineData {
    int32_t order = 0;         // k; 0 while the file has not given it (code 71)
    int32_t declared = -1;     // n as code 73 gives it; -1 while not given
    std::vector<double> x, y;  // control points in file order
    std::vector<double> knots;
    std::vector<double> weights;  // code 41, one per control point of a rational spline
    std::string layer;            // code 8
    bool paper = false;           // code 67 = 1: paper space
    bool invisible = false;       // code 60 = 1
    void Clear();
};

enum class SplineResult {
    Converted,
    Unreadable,  // nothing to evaluate: no control points, order missing or out of range, ...
    TooLarge,    // more control points or knots than DxfReadSettings::maxEntityPoints
    BadValue,    // a value not finite or beyond kDxfMaxMagnitude
    NoMemory,    // a table could not grow; the user has been told
};

// Reads the pairs that follow a "0 SPLINE" pair up to the next code-0 pair, which it hands
// back to the caller, or to the end of the data. A table that cannot grow is told through
// `tell` (by default the message box).
SplineResult ReadSplineData(DxfPairReader& file, SplineData& data, int64_t maxPoints,
                            const std::function<void(const std::string&)>& tell = {});

// Reads the spline's data and appends its chain of lines and arcs to the store. `data` is
// scratch space.
SplineResult ConvertSpline(DxfPairReader& file, DxfSink& out, const DxfReadSettings& settings,
                           SplineData& data);
SplineResult ConvertSpline(DxfPairReader& file, DrawingStore& store,
                           const DxfReadSettings& settings, SplineData& data);

// Appends the chain of read spline data: samples evenly spaced in the parameter, taken three
// at a time, each triple one arc when it bends gently enough and two lines otherwise, ending
// at the spline's end point. A spline of degree 1 is its control polygon.
SplineResult AppendSplineChain(DxfSink& out, const DxfReadSettings& settings,
                               const SplineData& data);
SplineResult AppendSplineChain(DrawingStore& store, const DxfReadSettings& settings,
                               const SplineData& data);

// The k basis values at t of the span `span` (knots[span] <= t < knots[span + 1], or t the
// end of the last span), in a Cox-de Boor table; value q belongs to control point
// span - k + 1 + q. Terms over an empty knot interval are left out, so repeated knots are
// fine. k is 1 to kMaxSplineOrder; knots must hold span + k + 1 values.
void SplineBasis(int k, double t, int span, const double* knots, double* values);

// The point at t of the spline of order k with n control points and n + k non-decreasing
// knots (weights may be null: not rational). False when t lies outside
// [knots[k-1], knots[n]] or the point is not finite.
bool SplinePoint(int k, int n, double t, const double* knots, const double* x, const double* y,
                 const double* weights, double& px, double& py);
