// The undo journal: entry formats, the ring, and undo sequences on the store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/DrawingStore.h"
#include "model/UndoJournal.h"

namespace {

struct Fixture {
    DrawingStore store;
    UndoJournal journal;
    std::vector<std::string> memo;
    std::vector<std::pair<int, double>> sent;  // op, x1 of shared lines
    Fixture() {
        store.journal = &journal;
        store.shareLine = [this](int op, int32_t, const LineElement& l) { sent.push_back({op, l.x1}); };
    }
    void Undo() {
        Undo1(journal, store, [this](const std::string& t) { memo.push_back(t); });
    }
    int AliveLines() const {
        int n = 0;
        for (int i = 0; i <= store.lineTop; ++i) n += store.line(i).alive;
        return n;
    }
};

}  // namespace

TEST(UndoJournal, FirstEntryAfterStartUpHasItsExactForm) {
    Fixture f;
    f.store.AddLine(0, 0, 10, 5, 1);
    EXPECT_EQ(f.journal.slot(0), "L 0 7 0 1 0 0.000000 0.000000 10.000000 5.000000 no=  0");
    f.store.AddCircle(1, 2, 3.5, 0, 90, 1);
    EXPECT_EQ(f.journal.slot(1),
              "C 0 7 0 1 0 1.000000 2.000000 3.500000 0.000000 90.000000 no=  1");
    f.Undo();
    ASSERT_EQ(f.memo.size(), 1u);
    EXPECT_EQ(f.memo[0], "C 0 7 0 1 0 1.000000 2.000000 3.500000 0.000000 90.000000 no=  1");
    EXPECT_EQ(f.store.circle(0).alive, 0);
}

TEST(UndoJournal, FourUndosTakeARectangleBackSideBySideAndAreNotThemselvesJournaled) {
    Fixture f;
    f.store.AddLine(0, 0, 10, 0, 1);
    f.store.AddLine(10, 0, 10, 5, 1);
    f.store.AddLine(10, 5, 0, 5, 1);
    f.store.AddLine(0, 5, 0, 0, 1);
    for (int i = 3; i >= 0; --i) {
        f.Undo();
        EXPECT_EQ(f.store.line(i).alive, 0);
        EXPECT_EQ(f.AliveLines(), i);
    }
    f.Undo();
    EXPECT_EQ(f.memo.back(), "Nothing to UNDO.");
    // Every undo told the partner.
    EXPECT_EQ(f.sent.size(), 8u);
    EXPECT_EQ(f.sent[4].first, 0);
}

TEST(UndoJournal, UndoOfADeletedRedLineBringsItBackRedInItsOldSlot) {
    Fixture f;
    f.store.SetCurrentColour(2);
    f.store.AddLine(0, 0, 10, 0, 1);
    f.store.SetCurrentColour(7);
    f.store.AddLine(0, 1, 10, 1, 1);
    f.store.DeleteLine(0, 1);
    f.Undo();
    EXPECT_EQ(f.store.line(0).alive, 1);
    EXPECT_EQ(f.store.line(0).colour, 2);
    // The next line is red too, until another colour is chosen.
    EXPECT_EQ(f.store.currentLine().colour, 2);
    // The undo's own entry was dropped: the next undo takes back the white line.
    f.Undo();
    EXPECT_EQ(f.store.line(1).alive, 0);
    EXPECT_EQ(f.store.line(0).alive, 1);
}

TEST(UndoJournal, AHundredThousandActionsAreAllUndoneAndRedone) {
    Fixture f;
    constexpr int kActions = 100000;
    for (int i = 0; i < kActions; ++i) f.store.AddLine(0, i, 10, i, 1);
    for (int i = 0; i < kActions; ++i) f.Undo();
    EXPECT_EQ(f.AliveLines(), 0);
    EXPECT_NE(f.memo.back(), "Nothing to UNDO.");
    f.Undo();
    EXPECT_EQ(f.memo.back(), "Nothing to UNDO.");
    for (int i = 0; i < kActions; ++i) ASSERT_TRUE(Redo1(f.journal, f.store));
    EXPECT_FALSE(Redo1(f.journal, f.store));
    EXPECT_EQ(f.AliveLines(), kActions);
    // A new action forgets what was undone: nothing to redo after it.
    f.Undo();
    f.store.AddLine(0, -1, 10, -1, 1);
    EXPECT_FALSE(Redo1(f.journal, f.store));
}

// Undoing a deletion whose old slot had been reused by another line used to overwrite that
// line (and, after a clear, made an invisible live slot above the counters). The line now
// comes back into a free slot, as a new line would, with its own colour and pen width.
TEST(UndoJournal, UndoOfADeletionNeverOverwritesALiveElement) {
    Fixture f;
    f.store.SetCurrentColour(4);
    f.store.AddLine(0, 0, 10, 0, 1);  // slot 0, green
    f.store.SetCurrentColour(7);
    f.store.AddLine(0, 1, 10, 1, 1);  // slot 1
    f.store.DeleteLine(0, 1);
    f.store.lineCur = 0;  // a later line takes slot 0 again
    f.store.AddLine(50, 50, 60, 60, 1);
    f.journal.JournalPop();  // drop that line's entry and keep the deletion on top
    f.journal.CancelSuppress();
    f.Undo();
    EXPECT_EQ(f.store.line(0).x1, 50.0);
    int restored = -1;
    for (int i = 0; i <= f.store.lineTop; ++i)
        if (f.store.line(i).alive && f.store.line(i).y1 == 0.0 && f.store.line(i).x2 == 10.0)
            restored = i;
    ASSERT_GE(restored, 0);
    EXPECT_EQ(f.store.line(restored).colour, 4);
    EXPECT_EQ(f.AliveLines(), 3);

    // After a clear the old slot lies above the counters.
    f.store.DeleteLine(1, 1);
    f.store.ClearStore();
    f.store.AddCircle(0, 0, 5, 0, 0, 1);
    f.store.DeleteCircle(0, 1);
    f.store.ClearStore();
    f.Undo();  // the circle comes back into slot 0, the current slot
    EXPECT_EQ(f.store.circle(0).alive, 1);
    f.Undo();  // the circle's own addition
    EXPECT_EQ(f.store.circle(0).alive, 0);
    f.Undo();  // the line of slot 1, above lineTop 0
    EXPECT_EQ(f.store.line(0).alive, 1);
    EXPECT_EQ(f.store.line(0).y1, 1.0);
    EXPECT_LE(0, f.store.lineTop);
    for (int i = f.store.lineTop + 1; i <= f.store.lineAlloc; ++i)
        EXPECT_EQ(f.store.line(i).alive, 0) << i;
}

// Undoing an addition after the drawing was cleared or replaced used to delete whatever line
// had come to occupy the slot.
TEST(UndoJournal, UndoOfAnAdditionLeavesAnUnrelatedLineAlone) {
    Fixture f;
    f.store.AddLine(0, 0, 10, 0, 1);
    f.store.ClearStore();
    f.store.AppendLine(5, 5, 20, 20);
    f.Undo();
    EXPECT_EQ(f.store.line(0).alive, 1);
    EXPECT_EQ(f.store.line(0).x1, 5.0);
    // The refused undo does not swallow the next action's entry.
    f.store.AddLine(1, 1, 2, 2, 1);
    EXPECT_NE(f.journal.slot(0).find("1.000000 1.000000 2.000000"), std::string::npos);
}

TEST(UndoJournal, EntriesThatCannotFitTheirSlotAreRefusedNotCut) {
    UndoJournal j;
    EXPECT_FALSE(j.JournalPush(std::string(249, 'L')));
    EXPECT_EQ(j.journalPos(), 0);
    EXPECT_TRUE(j.JournalPush(std::string(248, 'L')));
    EXPECT_EQ(j.slot(0).size(), 255u);
    Fixture f;
    f.store.AddLine(-1e60, 0, 1e60, 1, 1);
    EXPECT_EQ(f.store.line(0).alive, 1);
    for (int i = 0; i < UndoJournal::kSlots; ++i) EXPECT_LE(f.journal.slot(i).size(), 255u);
}
