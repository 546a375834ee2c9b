// The layers and block definitions of a DXF file, and the placing of block references.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/DxfSink.h"

// Layers by name (DXF compares them without regard to case), each off or frozen or neither.
class DxfLayers {
public:
    DxfLayers();
    int32_t Id(std::string_view name);
    void Set(std::string_view name, bool off, bool frozen);
    bool Hidden(int32_t id) const { return state_[std::size_t(id)] != 0; }
    bool Frozen(int32_t id) const { return (state_[std::size_t(id)] & 2) != 0; }
    int32_t Zero() const { return 0; }  // layer "0", whose entities in a block take the
                                        // layer of the reference

private:
    std::unordered_map<std::string, int32_t> ids_;
    std::vector<uint8_t> state_;  // 1 off, 2 frozen
    std::string lastName_;        // consecutive entities mostly share their layer
    int32_t lastId_ = 0;
};

// A block reference as the file gives it.
struct DxfPlacement {
    std::string block;  // the key: the name in lower case
    DxfAffine ocs;      // the reference's object coordinates in plan
    double x = 0.0, y = 0.0;  // insertion point in object coordinates
    double scaleX = 1.0, scaleY = 1.0, rotation = 0.0;  // rotation in degrees
    int32_t columns = 1, rows = 1;
    double columnSpacing = 0.0, rowSpacing = 0.0;
    bool fromBase = true;  // false for dimension and table blocks, drawn where they stand
    int32_t layer = 0;
};

struct DxfBlock {
    enum Kind : uint8_t { kLine, kArc, kText, kPlace };
    struct Item {
        Kind kind;
        int32_t layer;
        int32_t ref;  // the text or the placement
        double v[5];
    };
    struct TextItem {
        std::string text;
        double height, angle;
    };
    double baseX = 0.0, baseY = 0.0;
    bool defined = false;
    bool active = false;  // being placed: a reference to it from inside is a loop
    std::vector<Item> items;
    std::vector<TextItem> texts;
    std::vector<DxfPlacement> places;
};

// Records what the import puts into it as the items of one block.
class DxfBlockRecorder final : public DxfSink {
public:
    DxfBlock* block = nullptr;
    int32_t layer = 0;
    void Line(double x1, double y1, double x2, double y2) override;
    void Arc(double cx, double cy, double r, double a0, double a1) override;
    void Text(double x, double y, const std::string& text, double height, double angle) override;
    void Place(DxfPlacement placement);
};

class DxfBlocks {
public:
    DxfBlocks(DxfLayers& layers, const DxfCurveSettings& curves, int64_t budget)
        : layers_(layers), curves_(curves), budget_(budget) {}

    static std::string Key(std::string_view name);
    DxfBlock& Define(const std::string& key);
    const DxfBlock* Find(const std::string& key) const;

    // Draws the block's items into `out` as the reference places them, nested references
    // included. False when the block is not (yet) defined.
    bool Expand(const DxfPlacement& placement, DxfSink& out);

    // What could not be drawn, for the user's notes.
    int64_t loops = 0;      // a block inside itself, or nested more than 64 deep
    int64_t truncated = 0;  // references cut short when too many elements were made
    int64_t missing = 0;    // nested references to blocks the file never defines

private:
    void Place(const DxfPlacement& p, const DxfAffine& outer, int32_t parentLayer, int depth,
               DxfSink& out);

    DxfLayers& layers_;
    const DxfCurveSettings& curves_;
    std::unordered_map<std::string, DxfBlock> blocks_;
    int64_t budget_;  // elements the references may still make, and items they may visit
};
