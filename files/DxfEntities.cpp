// The import of one DXF file: the parts read by their own pairs (header, layers, blocks and their
// references, lightweight polylines, ellipses, multiline texts, solids and faces, leaders,
// hatch boundaries).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "files/DxfImport.h"

namespace {

constexpr double kTurn = 2.0 * std::numbers::pi;

// The text of a multiline text without its formatting codes, one string a paragraph.
std::vector<std::string> MTextParagraphs(const std::string& s) {
    std::vector<std::string> paragraphs(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '{' || c == '}') continue;
        if (c == '\n') {
            paragraphs.emplace_back();
            continue;
        }
        if (c == '^' && i + 1 < s.size() && (s[i + 1] == 'I' || s[i + 1] == 'J')) {
            if (s[++i] == 'J')
                paragraphs.emplace_back();
            else
                paragraphs.back() += "    ";
            continue;
        }
        if (c != '\\' || i + 1 == s.size()) {
            paragraphs.back() += c;
            continue;
        }
        const char code = s[++i];
        switch (code) {
            case 'P':
            case 'N':
            case 'X':
                paragraphs.emplace_back();
                break;
            case '~':
                paragraphs.back() += ' ';
                break;
            case '\\':
            case '{':
            case '}':
                paragraphs.back() += code;
                break;
            case 'L': case 'l': case 'O': case 'o': case 'K': case 'k':
                break;
            case 'S': {  // stacked: "upper^lower;" shown as written, without its marks
                const std::size_t end = s.find(';', i + 1);
                const std::size_t stop = end == std::string::npos ? s.size() : end;
                for (std::size_t j = i + 1; j < stop; ++j) {
                    if (s[j] == '\\' || (s[j] == ' ' && (s[j - 1] == '^' || s[j - 1] == '#')))
                        continue;
                    paragraphs.back() += s[j];
                }
                i = stop;
                break;
            }
            default: {  // \A1; \C2; \Farial|b0; \H2.5x; \Q15; \T1; \W0.8; \pxi2; ...
                const std::size_t end = s.find(';', i + 1);
                if (std::string("ACcFfHQTWp").find(code) != std::string::npos &&
                    end != std::string::npos) {
                    i = end;
                } else {
                    paragraphs.back() += '\\';
                    paragraphs.back() += code;
                }
                break;
            }
        }
    }
    return paragraphs;
}

}  // namespace

bool DxfImport::ReadEntity(std::string_view name) {
    if (name == "SECTION") {
        ReadSectionName();
    } else if (name == "ENDSEC") {
        section_ = Section::None;
        inBlock_ = false;
        recorder_.block = nullptr;
    } else if (name == "LAYER") {
        ReadLayer();
    } else if (name == "BLOCK") {
        ReadBlock();
    } else if (name == "ENDBLK") {
        inBlock_ = false;
        recorder_.block = nullptr;
    } else if (name == "POLYLINE") {
        ReadPolylineHead();
    } else if (name == "LWPOLYLINE") {
        ReadLwPolyline();
    } else if (name == "ELLIPSE") {
        ReadEllipse();
    } else if (name == "MTEXT") {
        ReadMText();
    } else if (name == "ATTRIB") {
        ReadAttrib();
    } else if (name == "INSERT" || name == "DIMENSION" || name == "ACAD_TABLE") {
        ReadPlacement(name);
    } else if (name == "SOLID" || name == "TRACE") {
        ReadCorners(false);
    } else if (name == "3DFACE") {
        ReadCorners(true);
    } else if (name == "LEADER") {
        ReadLeader();
    } else if (name == "HATCH") {
        ReadHatch();
    } else {
        return false;
    }
    return true;
}

void DxfImport::ReadSectionName() {
    // Only the name: what follows it is the section's own.
    std::string name;
    DxfGroupValue v;
    const int code = ReadGroupPair(file_, v);
    if (code == 2)
        name.assign(v.text);
    else if (code != -1)
        file_.HandBack();
    section_ = name == "HEADER"     ? Section::Header
               : name == "TABLES"   ? Section::Tables
               : name == "BLOCKS"   ? Section::Blocks
               : name == "ENTITIES" ? Section::Entities
                                    : Section::Other;
    if (section_ == Section::Header) ReadHeader();
}

void DxfImport::ReadHeader() {
    // Variables are a code-9 name followed by their values, up to the ENDSEC.
    std::string variable;
    std::string version;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (code == 9) {
            variable.assign(v.text);
        } else if (code == 1 && variable == "$ACADVER") {
            version.assign(DxfName(v.text));
        } else if (code == 3 && variable == "$DWGCODEPAGE") {
            encoding_.codePage.assign(v.text);
        }
    });
    // From R2007 (AC1021) on, texts are UTF-8 whatever the code page says.
    encoding_.utf8 = version.size() == 6 && version.compare(0, 2, "AC") == 0 &&
                     version.compare("AC1021") >= 0;
}

void DxfImport::ReadLayer() {
    std::string name;
    int32_t colour = 0, flags = 0;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (code == 2)
            name.assign(DxfName(v.line));
        else if (code == 62 && v.converted)
            colour = v.integer;
        else if (code == 70 && v.converted)
            flags = v.integer;
    });
    if (!name.empty()) layers_.Set(name, colour < 0, (flags & 1) != 0);
}

void DxfImport::ReadBlock() {
    std::string name;
    double x = 0.0, y = 0.0;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (code == 2)
            name.assign(DxfName(v.line));
        else if (code == 10)
            Real(v, x);
        else if (code == 20)
            Real(v, y);
    });
    DxfBlock& block = blocks_.Define(DxfBlocks::Key(name));
    block.baseX = x;
    block.baseY = y;
    recorder_.block = &block;
    inBlock_ = true;
}

void DxfImport::ReadPolylineHead() {
    // Vertices left without their SEQEND end here, as a change of layer would end them.
    if (!vertices_.empty() || verticesOverflow_ || verticesNoMemory_) FlushPolyline();
    Polyline head;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (head.common.Group(code, v, layers_)) return;
        if (code == 30)
            Real(v, head.z);
        else if (code == 70 && v.converted)
            head.flags = v.integer;
        else if (code == 71 && v.converted)
            head.m = v.integer;
        else if (code == 72 && v.converted)
            head.n = v.integer;
    });
    head.open = true;
    polyline_ = head;
}

void DxfImport::ReadLwPolyline() {
    Common c;
    std::vector<Vertex> points;
    int32_t flags = 0;
    double z = 0.0;
    bool tooMany = false;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        double value = 0.0;
        switch (code) {
            case 10:
                if (int64_t(points.size()) >= settings_.maxEntityPoints) {
                    tooMany = true;
                    break;
                }
                points.push_back({Real(v, value) ? value : 0.0, 0.0, 0.0, 0, {}});
                break;
            case 20:
                if (!points.empty() && Real(v, value)) points.back().y = value;
                break;
            case 42:
                if (!points.empty() && Real(v, value)) points.back().bulge = value;
                break;
            case 38:
                Real(v, z);
                break;
            case 70:
                if (v.converted) flags = v.integer;
                break;
            default:
                break;
        }
    });
    if (tooMany) {
        ++largePolylines_;
        return;
    }
    if (Dropped(c)) return;
    Emit(c, z, [&](DxfSink& out) { EmitChain(out, points, (flags & 1) != 0, true); });
}

void DxfImport::ReadEllipse() {
    Common c;
    double cx = 0.0, cy = 0.0, mx = 1.0, my = 0.0, mz = 0.0, ratio = 1.0, t0 = 0.0, t1 = kTurn;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        switch (code) {
            case 10: Real(v, cx); break;
            case 20: Real(v, cy); break;
            case 11: Real(v, mx); break;
            case 21: Real(v, my); break;
            case 31: Real(v, mz); break;
            case 40: Real(v, ratio); break;
            case 41: Real(v, t0); break;
            case 42: Real(v, t1); break;
            default: break;
        }
    });
    if (Dropped(c)) return;
    // Centre and major axis are in world coordinates; the minor axis is the extrusion
    // crossed with the major one, shortened by the ratio.
    const double n = std::sqrt(c.nx * c.nx + c.ny * c.ny + c.nz * c.nz);
    if (!(n > 0.0)) return;
    const double nx = c.nx / n, ny = c.ny / n, nz = c.nz / n;
    const double vx = ratio * (ny * mz - nz * my), vy = ratio * (nz * mx - nx * mz);
    while (t1 <= t0) t1 += kTurn;
    if (t1 - t0 > kTurn) t1 = t0 + kTurn;
    DxfSink& out = Target(c);
    const double major = std::hypot(mx, my);
    if (std::fabs(ratio - 1.0) < 1e-12 && nx == 0.0 && ny == 0.0 && major > 0.0) {
        // A circle after all: an arc.
        const double a = std::atan2(my, mx), sign = nz > 0.0 ? 1.0 : -1.0;
        if (t1 - t0 >= kTurn) {
            out.Arc(cx, cy, major, 0.0, 0.0);
            return;
        }
        double s = (a + sign * t0) * 180.0 / std::numbers::pi;
        double e = (a + sign * t1) * 180.0 / std::numbers::pi;
        if (sign < 0.0) std::swap(s, e);
        s = std::fmod(s, 360.0), e = std::fmod(e, 360.0);
        if (s < 0.0) s += 360.0;
        if (e < 0.0) e += 360.0;
        if (s != e) out.Arc(cx, cy, major, s, e);
        return;
    }
    AppendEllipseArc(out, curves_, cx, cy, mx, my, vx, vy, t0, t1);
}

void DxfImport::ReadMText() {
    Common c;
    double x = 0.0, y = 0.0, height = 0.0, angle = 0.0, dx = 0.0, dy = 0.0, spacing = 1.0;
    bool direction = false, embedded = false;
    std::string raw, last;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        // An embedded object after group 101 repeats groups with other meanings.
        embedded = embedded || code == 101;
        if (embedded || c.Group(code, v, layers_)) return;
        switch (code) {
            case 1: last.assign(v.text); break;
            case 3: raw.append(v.line); break;
            case 10: Real(v, x); break;
            case 20: Real(v, y); break;
            case 11: direction = Real(v, dx) || direction; break;
            case 21: direction = Real(v, dy) || direction; break;
            case 40: Real(v, height); break;
            case 44: Real(v, spacing); break;
            case 50: Real(v, angle); break;  // degrees, whatever some references say
            default: break;
        }
    });
    if (Dropped(c)) return;
    raw += last;
    if (direction && (dx != 0.0 || dy != 0.0)) angle = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    // Each paragraph a text at the attachment point, the next ones a line further down.
    const double step = height * 5.0 / 3.0 * (spacing > 0.0 ? spacing : 1.0);
    const double a = angle * std::numbers::pi / 180.0;
    const double downX = std::sin(a) * step, downY = -std::cos(a) * step;
    const std::vector<std::string> paragraphs = MTextParagraphs(DecodeText(raw));
    DxfSink& out = Target(c);
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (paragraphs[i].find_first_not_of(' ') == std::string::npos) continue;
        out.Text(x + downX * double(i), y + downY * double(i), paragraphs[i], height, angle);
    }
}

void DxfImport::ReadAttrib() {
    Common c;
    double x = 0.0, y = 0.0, z = 0.0, height = 0.0, angle = 0.0;
    int32_t flags = 0;
    bool embedded = false;
    std::string raw;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        embedded = embedded || code == 101;
        if (embedded || c.Group(code, v, layers_)) return;
        switch (code) {
            case 1: raw.assign(v.text); break;
            case 10: Real(v, x); break;
            case 20: Real(v, y); break;
            case 30: Real(v, z); break;
            case 40: Real(v, height); break;
            case 50: Real(v, angle); break;
            case 70: if (v.converted) flags = v.integer; break;
            default: break;
        }
    });
    if ((flags & 1) || Dropped(c)) return;  // an invisible attribute
    const std::string text = DecodeText(raw);
    if (text.empty()) return;
    Emit(c, z, [&](DxfSink& out) { out.Text(x, y, text, height, angle); });
}

void DxfImport::ReadPlacement(std::string_view kind) {
    // `kind` lies in the reader's block of pairs, which the reading below may hand back to
    // be filled again from the file: what it says is taken now.
    const bool insert = kind == "INSERT", dimension = kind == "DIMENSION";
    Common c;
    DxfPlacement p;
    std::string name;
    double x = 0.0, y = 0.0, z = 0.0, cloneX = 0.0, cloneY = 0.0;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        switch (code) {
            case 2: name.assign(DxfName(v.line)); break;
            case 10: Real(v, x); break;
            case 20: Real(v, y); break;
            case 30: Real(v, z); break;
            case 12: Real(v, cloneX); break;
            case 22: Real(v, cloneY); break;
            case 41: if (insert) Real(v, p.scaleX); break;
            case 42: if (insert) Real(v, p.scaleY); break;
            case 50: if (insert) Real(v, p.rotation); break;
            case 44: if (insert) Real(v, p.columnSpacing); break;
            case 45: if (insert) Real(v, p.rowSpacing); break;
            case 70: if (insert && v.converted) p.columns = v.integer; break;
            case 71: if (insert && v.converted) p.rows = v.integer; break;
            default: break;
        }
    });
    // A reference on a layer that is off still shows what its block has on layers that are
    // on; a frozen layer hides it all, which the placing decides.
    if (name.empty() || c.invisible) return;
    if (!inBlock_ && (c.paper || section_ == Section::Blocks || section_ == Section::Header ||
                      section_ == Section::Tables)) {
        if (c.paper) ++paperEntities_;
        return;
    }
    p.block = DxfBlocks::Key(name);
    p.layer = c.layer;
    const bool flat = c.nx == 0.0 && c.ny == 0.0 && c.nz > 0.0;
    if (insert) {
        if (!flat && !DxfAffine::Ocs(c.nx, c.ny, c.nz, z, p.ocs)) return;
        p.x = x, p.y = y;
    } else {
        // Dimension and table blocks are drawn where they stand, moved only by the clone
        // point of a dimension or the insertion point of a table.
        p.fromBase = false;
        double px = dimension ? cloneX : x, py = dimension ? cloneY : y;
        DxfAffine ocs;
        if (!flat && DxfAffine::Ocs(c.nx, c.ny, c.nz, z, ocs)) ocs.Apply(px, py, px, py);
        p.x = px, p.y = py;
    }
    if (inBlock_) {
        recorder_.Place(std::move(p));
    } else if (!blocks_.Expand(p, storeSink_)) {
        deferred_.push_back(std::move(p));  // its block may yet come
    }
}

void DxfImport::ReadCorners(bool world) {
    Common c;
    double p[4][2] = {}, z = 0.0;
    bool fourth = false;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        if (code == 30) {
            Real(v, z);
        } else if (code >= 10 && code <= 13) {
            Real(v, p[code - 10][0]);
            fourth = fourth || code == 13;
        } else if (code >= 20 && code <= 23) {
            Real(v, p[code - 20][1]);
        }
    });
    if (Dropped(c)) return;
    if (!fourth) p[3][0] = p[2][0], p[3][1] = p[2][1];
    // A solid's corners go 1, 2, 4, 3 around; a face's in their order.
    const int order[2][4] = {{0, 1, 3, 2}, {0, 1, 2, 3}};
    auto draw = [&](DxfSink& out) {
        for (int k = 0; k < 4; ++k) {
            const double* a = p[order[world][k]];
            const double* b = p[order[world][(k + 1) % 4]];
            if (a[0] != b[0] || a[1] != b[1]) out.Line(a[0], a[1], b[0], b[1]);
        }
    };
    if (world)
        draw(Target(c));
    else
        Emit(c, z, draw);
}

void DxfImport::ReadLeader() {
    Common c;
    std::vector<Vertex> points;
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        double value = 0.0;
        if (code == 10 && int64_t(points.size()) < settings_.maxEntityPoints)
            points.push_back({Real(v, value) ? value : 0.0, 0.0, 0.0, 0, {}});
        else if (code == 20 && !points.empty() && Real(v, value))
            points.back().y = value;
    });
    if (Dropped(c)) return;
    EmitChain(Target(c), points, false, false);
}
