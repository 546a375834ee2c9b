// A dump of every alive element of a store, exactly, for golden comparisons in tests.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "model/DrawingStore.h"

inline std::string Number(double v) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// Shortest round-trip numbers; text bytes outside printable ASCII in hex.
// Printable ASCII as it is, every other byte (and the backslash) as \xNN.
inline std::string Escaped(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += char(c);
        else
            out.append(hex, std::size_t(std::snprintf(hex, sizeof hex, "\\x%02x", c)));
    }
    return out;
}

inline std::string Dump(const DrawingStore& s) {
    std::string out;
    for (int32_t i = 0; i <= s.lineTop; ++i) {
        const LineElement& l = s.line(i);
        if (l.alive)
            out += "L " + Number(l.x1) + " " + Number(l.y1) + " " + Number(l.x2) + " " +
                   Number(l.y2) + "\n";
    }
    for (int32_t i = 0; i <= s.circleTop; ++i) {
        const CircleElement& c = s.circle(i);
        if (c.alive)
            out += "C " + Number(c.cx) + " " + Number(c.cy) + " " + Number(c.radius) + " " +
                   Number(c.startAngle) + " " + Number(c.endAngle) + "\n";
    }
    for (int32_t i = 0; i < DrawingStore::kTextRecords; ++i) {
        const TextElement& t = s.text(i);
        if (!t.alive) continue;
        out += "T " + Number(t.x) + " " + Number(t.y) + " " + Number(t.height) + " " +
               Number(t.angle) + " \"" + Escaped(t.text) + "\"\n";
    }
    return out;
}
