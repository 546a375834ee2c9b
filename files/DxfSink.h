// Where the DXF import puts what it reads: the drawing store, a block's definition, or a
// placement (block reference, object coordinates) in front of either.
#pragma once

#include <cstdint>
#include <string>

class DrawingStore;

class DxfSink {
public:
    virtual ~DxfSink() = default;
    virtual void Line(double x1, double y1, double x2, double y2) = 0;
    // Counter-clockwise from a0 to a1, in degrees; equal angles make a full circle.
    virtual void Arc(double cx, double cy, double r, double a0, double a1) = 0;
    // At its anchor, height and base-line direction in degrees; the text is UTF-8.
    virtual void Text(double x, double y, const std::string& text, double height,
                      double angle) = 0;
};

// Straight into the store with its bulk appends.
class DxfStoreSink final : public DxfSink {
public:
    explicit DxfStoreSink(DrawingStore& store) : store_(store) {}
    void Line(double x1, double y1, double x2, double y2) override;
    void Arc(double cx, double cy, double r, double a0, double a1) override;
    void Text(double x, double y, const std::string& text, double height, double angle) override;
    int64_t refusedTexts = 0;  // the text table could not grow

private:
    DrawingStore& store_;
};

// A plane affine map: x' = a x + b y + e, y' = c x + d y + f.
struct DxfAffine {
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0, e = 0.0, f = 0.0;

    void Apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + b * y + e;
        oy = c * x + d * y + f;
    }
    // This map after `inner`.
    DxfAffine After(const DxfAffine& inner) const;
    bool IsIdentity() const {
        return a == 1.0 && b == 0.0 && c == 0.0 && d == 1.0 && e == 0.0 && f == 0.0;
    }
    bool Finite() const;
    static DxfAffine Translation(double x, double y) { return {1.0, 0.0, 0.0, 1.0, x, y}; }
    // Scale first, then rotate by `degrees`.
    static DxfAffine ScaleRotate(double sx, double sy, double degrees);
    // DXF's arbitrary-axis rule: object coordinates of extrusion (nx, ny, nz) in plan, z
    // (the elevation) dropped into the offset. False for an extrusion of no length.
    static bool Ocs(double nx, double ny, double nz, double z, DxfAffine& out);
};

// An ellipse or part of one, c + u cos t + v sin t for t from t0 to t1 (radians, t0 < t1),
// as a chain of samples spaced by the spline resolution, joined as a spline's are.
struct DxfCurveSettings {
    double resolution = 5.0;
    double arcAngleMin = 140.0, arcAngleMax = 170.0;
};
void AppendEllipseArc(DxfSink& out, const DxfCurveSettings& settings, double cx, double cy,
                      double ux, double uy, double vx, double vy, double t0, double t1);

// Places what it is given by an affine map: arcs stay arcs under a map that keeps shapes
// (mirrored ones run the other way) and become elliptical arcs otherwise.
class DxfPlacedSink final : public DxfSink {
public:
    DxfPlacedSink(DxfSink& out, const DxfAffine& map, const DxfCurveSettings& curves);
    void Line(double x1, double y1, double x2, double y2) override;
    void Arc(double cx, double cy, double r, double a0, double a1) override;
    void Text(double x, double y, const std::string& text, double height, double angle) override;

private:
    DxfSink& out_;
    DxfAffine map_;
    const DxfCurveSettings& curves_;
    bool similar_ = false, mirrored_ = false;
    double scale_ = 1.0, rotation_ = 0.0;  // of a map that keeps shapes; rotation in degrees
};

// Three points at a time: each complete triple becomes one arc or two lines, and its last
// point starts the next, so the pieces form one connected chain.
class DxfArcChain {
public:
    DxfArcChain(DxfSink& out, double lower, double upper, double x, double y);
    void Put(double x, double y);
    // A last point left without a triple is joined by a line.
    void Close();

private:
    void Fit();
    DxfSink& out_;
    double lower_, upper_;
    double x_[3] = {}, y_[3] = {};
    int next_ = 1;
};
