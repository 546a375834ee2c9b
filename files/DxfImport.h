// The import of one DXF file: sections, layers, blocks and the entities the store can hold.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "files/DxfBlocks.h"
#include "files/DxfReader.h"
#include "files/DxfSink.h"
#include "files/DxfText.h"
#include "files/Spline.h"

// A real that may reach the store, into `target`; false leaves it as it was.
inline bool Real(const DxfGroupValue& v, double& target) {
    if (!v.converted || !DxfRealUsable(v.real)) return false;
    target = v.real;
    return true;
}

class DxfImport {
public:
    // What is drawn in model space goes to `store`; messages for the user go to `tell`
    // (a box of its own; the import may run on a thread that cannot show one).
    DxfImport(DxfPairReader& file, DxfSink& store, const DxfReadSettings& settings,
              DxfReadReport& report, std::function<void(const std::string&)> tell);

    void Run();
    // `refusedTexts`: texts the store had no memory for.
    void Notes(bool readFailed, int64_t refusedTexts);

private:
    enum class Kind { None, Line, Circle, Arc, Text, Vertex };
    enum class Section { None, Header, Tables, Blocks, Entities, Other };
    // Groups whose value was refused as not finite or too large, one bit each.
    enum : unsigned { kX0 = 1, kY0 = 2, kX1 = 4, kY1 = 8, kRadius = 16, kStart = 32, kEnd = 64 };

    // What every entity may say about itself.
    struct Common {
        int32_t layer = 0;
        bool paper = false;      // group 67 = 1
        bool invisible = false;  // group 60 = 1
        double nx = 0.0, ny = 0.0, nz = 1.0;  // extrusion direction
        bool Group(int code, const DxfGroupValue& v, DxfLayers& layers);
    };
    struct Vertex {
        double x, y, bulge;
        int32_t flags;
        int32_t face[4];
    };
    struct Polyline {
        bool open = false;  // a POLYLINE has begun and its SEQEND not yet come
        int32_t flags = 0, m = 0, n = 0;
        double z = 0.0;
        Common common;
    };

    bool OnEntityName(std::string_view name);  // true at "EOF"
    void FinishPending();
    void AddVertex();
    void OnLayer(const DxfGroupValue& v);
    void FlushPolyline();
    void SetReal(const DxfGroupValue& v, double& target, unsigned bit);
    bool ReadEntity(std::string_view name);  // the kinds read by their own pairs

    // Where an entity goes: nowhere (paper space, a layer that is off, a block being skipped),
    // into the block being defined, or into the store; through its object coordinates.
    bool Dropped(const Common& c);
    DxfSink& Target(const Common& c);
    template <typename Draw>
    void Emit(const Common& c, double z, Draw draw);
    void EmitBulge(DxfSink& out, const Vertex& a, const Vertex& b);
    void EmitChain(DxfSink& out, const std::vector<Vertex>& v, bool closed, bool bulges);
    void EmitMesh();

    // Entities read by their own pairs, up to the next code-0 pair.
    void ReadHeader();
    void ReadSectionName();
    void ReadLayer();
    void ReadBlock();
    void ReadPolylineHead();
    void ReadLwPolyline();
    void ReadEllipse();
    void ReadMText();
    void ReadAttrib();
    void ReadPlacement(std::string_view kind);
    void ReadCorners(bool world);
    void ReadLeader();
    void ReadHatch();
    std::string DecodeText(std::string_view raw) { return DecodeDxfText(raw, encoding_); }

    DxfPairReader& file_;
    DxfSink& storeSink_;
    const DxfReadSettings& settings_;
    DxfReadReport& report_;
    std::function<void(const std::string&)> tell_;
    DxfCurveSettings curves_;
    DxfLayers layers_;
    DxfBlocks blocks_;
    DxfBlockRecorder recorder_;
    DxfTextEncoding encoding_;

    Section section_ = Section::None;
    bool inBlock_ = false;
    std::vector<DxfPlacement> deferred_;  // model-space references to blocks defined later

    // Values carry over from one entity to the next unless the entity gives its own.
    Kind pending_ = Kind::None;
    bool seqend_ = false;
    bool started_ = false;
    unsigned refused_ = 0;
    double x0_ = 0.0, y0_ = 0.0, x1_ = 0.0, y1_ = 0.0;
    double radius_ = 0.0, start_ = 0.0, end_ = 0.0;
    std::string textValue_;
    std::string previousLayer_;
    // Values of the current entity only.
    Common common_;
    double z0_ = 0.0, bulge_ = 0.0;
    int32_t flags_ = 0;
    int32_t face_[4] = {};

    Polyline polyline_;
    std::vector<Vertex> vertices_;
    bool verticesOverflow_ = false;
    bool verticesNoMemory_ = false;
    SplineData spline_;

    bool endMark_ = false;
    bool lostAtEnd_ = false;
    int64_t badValueEntities_ = 0;
    int64_t unconverted_ = 0;
    int64_t largePolylines_ = 0;
    int64_t largeSplines_ = 0;
    int64_t unreadableSplines_ = 0;
    int64_t noMemory_ = 0;
    int64_t paperEntities_ = 0;
    int64_t hiddenEntities_ = 0;
    int64_t unknownBlocks_ = 0;
    std::map<std::string, int64_t> skipped_;  // entity kinds not read, by name
};

template <typename Draw>
inline void DxfImport::Emit(const Common& c, double z, Draw draw) {
    DxfSink& out = Target(c);
    if (c.nx == 0.0 && c.ny == 0.0 && c.nz > 0.0) {
        draw(out);
        return;
    }
    DxfAffine ocs;
    if (!DxfAffine::Ocs(c.nx, c.ny, c.nz, z, ocs)) return;
    DxfPlacedSink placed(out, ocs, curves_);
    draw(placed);
}
