// The drawing store: slot tables of lines, circles, texts and snap points, and their operations.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kernel/Elements.h"
#include "model/DrawingStoreTable.h"
#include "model/ElementPainter.h"
#include "model/SpatialGrid.h"

class UndoJournal;

class DrawingStore {
public:
    static constexpr int32_t kLineCapacity = 50000;  // designed sizes; the tables grow past them
    static constexpr int32_t kCircleCapacity = 50000;
    static constexpr int32_t kPointCapacity = 200000;
    static constexpr int32_t kTextRecords = 1001;  // the text table's first size; it grows

    DrawingStore();

    // Collaborators, all optional: without a renderer nothing is drawn, without a journal
    // nothing is journaled.
    ElementPainter* renderer = nullptr;
    UndoJournal* journal = nullptr;
    // Called by AddLine/DeleteLine (op 1 = added, 0 = deleted) with the element's slot when
    // broadcast is 1; the sharing code decides whether a session is connected.
    std::function<void(int op, int32_t index, const LineElement&)> shareLine;
    std::function<void(int op, int32_t index, const CircleElement&)> shareCircle;
    // Run after every interactive addition or deletion, from this copy or a partner's: the
    // drawing has changed since it was opened or saved.
    std::function<void()> changed;
    // Run at the end of ClearStore: the tool reset to the select tool of the active tab.
    std::function<void()> resetToSelect;

    // Creation and reset.
    bool CreateStore();
    void ClearStore();
    // Takes the elements of `other` (a drawing read into a store of its own) in place of
    // these, which go to `other`; the collaborators stay. The tool is reset as a clear does.
    void TakeDrawing(DrawingStore& other);

    // Interactive operations: draw, make snap points, journal, share.
    void AddLine(double x1, double y1, double x2, double y2, int broadcast);
    void AddCircle(double cx, double cy, double radius, double startAngle, double endAngle,
                   int broadcast);
    void DeleteLine(int32_t index, int broadcast);
    void DeleteCircle(int32_t index, int broadcast);
    void SetCurrentColour(int32_t colourIndex);
    // Adds the deleted lines a and b back into their own slots, a first, from what their
    // records now hold (the edit commands change them in place). While a goes in, b's slot
    // counts as taken, so that a's successor slot is not b's and b keeps its colour.
    void ReAddLinePair(int32_t a, int32_t b);

    // Bulk appends for the file readers: no drawing, journal or sharing.
    // True when the element went in; coinciding end points, non-finite values and a table
    // that cannot grow are refused.
    bool AppendLine(double x1, double y1, double x2, double y2);
    bool AppendCircle(double cx, double cy, double radius, double startAngle, double endAngle);
    // False only when memory for the text table runs out: the text is refused and the
    // caller tells the user.
    bool AppendText(double x, double y, const std::string& text, double height, double angle);

    // Styles for the file readers that keep them: the element's colour, pen width and fill.
    void StyleLine(int32_t i, int32_t colour, int32_t penWidth);
    void StyleCircle(int32_t i, int32_t colour, int32_t penWidth, uint8_t fillStyle, int32_t fillColour);

    int32_t NextFreeLineSlot();
    int32_t NextFreeCircleSlot();
    int32_t NextFreePointSlot();
    void AddLinePoints(int32_t n);
    void AddCirclePoints(int32_t n);
    void RemovePointsOf(uint8_t ownerKind, int32_t index);
    void SortPoints(int32_t first, int32_t last);

    // Undo of a deletion: brings the element back into `index` when that slot is free and
    // within the table, else into the current slot with the colour and pen width given.
    void RestoreLine(int32_t index, int32_t colour, int32_t penWidth, double x1, double y1,
                     double x2, double y2);
    void RestoreCircle(int32_t index, int32_t colour, int32_t penWidth, double cx, double cy,
                       double radius, double startAngle, double endAngle);

    // Identities. Every line and circle that becomes alive gets one that no other element of
    // this store has had since it was created: the store's site in the top 16 bits, a counter
    // below. Two copies drawing together give themselves different sites, so that an element
    // keeps one identity on both. Eight bytes per slot; nothing is looked up by identity
    // except through the element's own box, so there is no table of identities.
    static constexpr int kIdSiteShift = 48;
    uint64_t lineId(int32_t i) const { return lineIds_[size_t(i)]; }
    uint64_t circleId(int32_t i) const { return circleIds_[size_t(i)]; }
    uint32_t idSite() const { return idSite_; }
    // The next element made alive takes `id` instead of a new one (a partner's element).
    void AdoptId(uint64_t id) { adoptedId_ = id; }
    // Gives every alive line and circle a new identity of `site`, and makes `site` the site of
    // what is added from now on.
    void RenumberIds(uint32_t site);
    // The alive element with identity `id`; `like` is the element as the partner knows it,
    // whose box leads to it. -1 when there is none.
    int32_t FindLine(uint64_t id, const LineElement& like) const;
    int32_t FindCircle(uint64_t id, const CircleElement& like) const;

    // Records. Slots 0 to *Alloc exist.
    LineElement& line(int32_t i) { return lines_[size_t(i)]; }
    const LineElement& line(int32_t i) const { return lines_[size_t(i)]; }
    CircleElement& circle(int32_t i) { return circles_[size_t(i)]; }
    const CircleElement& circle(int32_t i) const { return circles_[size_t(i)]; }
    // A point written through this reference is not known to the snap search's grid, which
    // is therefore built again before the next search.
    PointElement& point(int32_t i) {
        pointGrid_.Invalidate();
        return points_[size_t(i)];
    }
    const PointElement& point(int32_t i) const { return points_[size_t(i)]; }
    // The tables for whole scans.
    const SlotTable<LineElement>& lines() const { return lines_; }
    const SlotTable<CircleElement>& circles() const { return circles_; }
    const SlotTable<PointElement>& points() const { return points_; }
    TextElement& text(int32_t i) { return texts_[size_t(i)]; }
    const TextElement& text(int32_t i) const { return texts_[size_t(i)]; }
    // Texts 0 to textCount - 1 exist.
    LineElement& currentLine() { return line(lineCur); }
    CircleElement& currentCircle() { return circle(circleCur); }

    // Counters.
    int32_t lineCur = 0, lineTop = 0, lineAlloc = -1;
    int32_t circleCur = 0, circleTop = 0, circleAlloc = -1;
    int32_t pointTop = 0, pointAlloc = -1;
    int32_t textCur = 0, textCount = 0;

    // Selection registers; -1 = none.
    int32_t pickedLine = -1, pickedCircle = -1;
    int32_t firstPick = -1, secondPick = -1;
    int32_t snapIndex = -1;
    PointElement snapPoint;  // copy of the caught point

    // Tests compare the indexed searches with the plain scans of every element and point.
    bool useSpatialIndex = true;

    // The searches under the cursor, on the store's grids. The snap search: the
    // alive point nearest (x, y) whose squared distance is below t, ties to the lower
    // slot; -1 if none.
    int32_t NearestPoint(double x, double y, double t) const;
    // The pick: the alive line and then the alive circle nearest (x, y) at a distance d
    // with 0 < d < t, a circle only when strictly nearer than the line; at most one of
    // line and circle is set (-1 = none). t becomes the distance of what was picked.
    void NearestElement(double x, double y, double& t, int32_t& line, int32_t& circle) const;
    // Alive lines and circles whose boxes may meet `box`, each list in slot order. False,
    // with the lists empty, when every element lies inside the box (the caller walks the
    // tables instead).
    bool ElementsIn(const Box& box, std::vector<int32_t>& lines, std::vector<int32_t>& circles) const;
    // The widest pen of any element made alive since the last clear.
    int32_t widestPen() const { return widestPen_; }
    // Builds the snap search's grid now if it is out of date (the full redraw after a
    // file has been read calls it, so that the first search does not pause).
    void PrepareSearch() const;

private:
    bool GrowLines(int32_t i);
    bool GrowCircles(int32_t i);
    bool GrowPoints(int32_t i);
    int32_t AddPoint(double x, double y, uint8_t kind, uint8_t o1k, int32_t o1i, uint8_t o2k,
                     int32_t o2i);
    // Alive slots of one table, other than `skip`, in slot order, that can meet `box`.
    // With skipFlags, lines that the grid marked so are left out (see LineFlags).
    void Candidates(const SpatialGrid& grid, const Box& box, int32_t top, bool lines,
                    int32_t skip, std::vector<int32_t>& out, uint8_t skipFlags = 0) const;
    static Box CircleBox(const CircleElement& c);
    static Box LineBox(const LineElement& l);
    static uint8_t LineFlags(const LineElement& l);
    PointElement& pointAt(int32_t i) { return points_[size_t(i)]; }
    int32_t NearestPointPlain(double x, double y, double t) const;
    void NearestElementPlain(double x, double y, double& t, int32_t& line, int32_t& circle) const;
    // Every change of `alive` goes through these, which keep the free slots and the grid.
    void SetLineAlive(int32_t i, bool alive);
    void SetCircleAlive(int32_t i, bool alive);
    void Journal(char letter, int32_t index, const LineElement& e);
    void Journal(char letter, int32_t index, const CircleElement& e);

    uint64_t NewId() { return (uint64_t(idSite_) << kIdSiteShift) | ++idCounter_; }
    void GiveId(SlotTable<uint64_t>& ids, int32_t i);

    SlotTable<LineElement> lines_;
    SlotTable<CircleElement> circles_;
    SlotTable<uint64_t> lineIds_, circleIds_;
    uint32_t idSite_ = 0;
    uint64_t idCounter_ = 0;
    uint64_t adoptedId_ = 0;
    SlotTable<PointElement> points_;
    std::vector<TextElement> texts_;
    FreeSlots freeLines_, freeCircles_, freePoints_;
    SpatialGrid lineGrid_, circleGrid_;
    mutable PointGrid pointGrid_;
    std::vector<int32_t> candidates_;  // kept between additions: no allocation per element
    int32_t widestPen_ = 1;
    bool appendFailed_ = false;
};
