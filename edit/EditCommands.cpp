// The edit commands on the drawing: delete, trim to corner, fillet, offset, split, angle.
#include "edit/EditCommands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "model/DrawingStore.h"

namespace {

bool IsLine(const DrawingStore& store, int32_t i) {
    return i >= 0 && i <= store.lineAlloc && store.line(i).alive;
}

}  // namespace

void EditDelete(DrawingStore& store) {
    if (store.pickedLine != -1)
        store.DeleteLine(store.pickedLine, 1);
    else if (store.pickedCircle != -1)
        store.DeleteCircle(store.pickedCircle, 1);
}

void EditTrimToCorner(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                      double p2y) {
    if (a == b || !IsLine(store, a) || !IsLine(store, b)) return;
    store.DeleteLine(a, 1);
    store.DeleteLine(b, 1);
    TrimToCorner(store.line(a), store.line(b), p1x, p1y, p2x, p2y);
    store.ReAddLinePair(a, b);
}

void EditFillet(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                double p2y, double r) {
    if (r == 0) return;
    if (a == b || !IsLine(store, a) || !IsLine(store, b)) return;
    store.DeleteLine(a, 1);
    store.DeleteLine(b, 1);
    CircleElement arc;
    arc.radius = r;
    int ok = FilletLines(arc, store.line(a), store.line(b), p1x, p1y, p2x, p2y);
    store.ReAddLinePair(a, b);
    if (ok) store.AddCircle(arc.cx, arc.cy, r, arc.startAngle, arc.endAngle, 1);
}

void EditChamfer(DrawingStore& store, int32_t a, int32_t b, double p1x, double p1y, double p2x,
                 double p2y, double d) {
    if (d == 0) return;
    if (a == b || !IsLine(store, a) || !IsLine(store, b)) return;
    // Worked out on copies first: a chamfer that cannot be made leaves nothing to undo.
    LineElement ca = store.line(a), cb = store.line(b), join;
    join.x1 = join.y1 = join.x2 = join.y2 = 0.0;
    if (!ChamferLines(join, ca, cb, p1x, p1y, p2x, p2y, d)) return;
    store.DeleteLine(a, 1);
    store.DeleteLine(b, 1);
    for (const auto& [slot, cut] : {std::pair{a, ca}, std::pair{b, cb}}) {
        LineElement& l = store.line(slot);
        l.x1 = cut.x1;
        l.y1 = cut.y1;
        l.x2 = cut.x2;
        l.y2 = cut.y2;
    }
    store.ReAddLinePair(a, b);
    store.AddLine(join.x1, join.y1, join.x2, join.y2, 1);
}

void EditOffset(DrawingStore& store, double px, double py, double d) {
    if (store.pickedLine != -1) {
        LineElement copy;
        copy.x1 = copy.y1 = copy.x2 = copy.y2 = 0.0;
        OffsetLine(copy, store.line(store.pickedLine), px, py, d);
        store.AddLine(copy.x1, copy.y1, copy.x2, copy.y2, 1);
    } else if (store.pickedCircle != -1) {
        CircleElement copy;
        OffsetCircle(copy, store.circle(store.pickedCircle), px, py, d);
        store.AddCircle(copy.cx, copy.cy, copy.radius, copy.startAngle, copy.endAngle, 1);
    }
}

void EditSplit(DrawingStore& store, double px, double py) {
    if (store.pickedLine != -1) {
        int32_t k = store.pickedLine;
        const LineElement copy = store.line(k);
        double fx, fy;
        if (LineFoot(copy, px, py, fx, fy) != 1) return;
        store.DeleteLine(k, 1);
        store.AddLine(copy.x1, copy.y1, fx, fy, 1);
        store.AddLine(fx, fy, copy.x2, copy.y2, 1);
    } else if (store.pickedCircle != -1) {
        int32_t k = store.pickedCircle;
        const CircleElement copy = store.circle(k);
        double a;
        if (ArcSplitAngle(copy, px, py, a) != 1) return;
        store.DeleteCircle(k, 1);
        store.AddCircle(copy.cx, copy.cy, copy.radius, copy.startAngle, a, 1);
        store.AddCircle(copy.cx, copy.cy, copy.radius, a, copy.endAngle, 1);
    }
}

std::string EditMeasureAngle(const DrawingStore& store, int32_t a, int32_t b) {
    if (!IsLine(store, a) || !IsLine(store, b)) return {};
    return "なす角 = " + FloatToStr(LineAngle(store.line(a), store.line(b)));
}

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);  // 15 significant digits, rounded once
    // Split into mantissa digits and the decimal exponent of the rounded value.
    const char* e = std::strchr(buf, 'e');
    int exponent = std::atoi(e + 1);
    std::string digits;
    for (const char* p = buf; p < e; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = v < 0 ? "-" : "";
    const double mag = std::fabs(v);
    if (exponent >= 15 || mag < 0.00001) {
        out += digits[0];
        if (digits.size() > 1) out.append(".").append(digits, 1);
        out.append("E").append(std::to_string(exponent));
        return out;
    }
    if (exponent >= 0) {
        size_t intDigits = size_t(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    } else {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    }
    return out;
}
