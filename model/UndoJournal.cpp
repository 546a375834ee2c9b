// The undo journal's ring of entries and the undo command.
#include "model/UndoJournal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/DrawingStore.h"

void UndoJournal::JournalCreate() {
    std::vector<std::string>().swap(slots_);
    std::vector<uint8_t>().swap(joined_);
    journalPos_ = 0;
    suppressNext_ = 0;
    actionHasEntry_ = false;
    poppedJoined_ = false;
    redo_.clear();
}

void UndoJournal::BeginAction() {
    if (actionDepth_++ == 0) actionHasEntry_ = false;
}

void UndoJournal::EndAction() {
    if (actionDepth_ > 0) --actionDepth_;
}

bool UndoJournal::JournalPush(const std::string& entry) {
    if (suppressNext_ == 1) {
        suppressNext_ = 0;
        return true;
    }
    char stored[1024];
    int n = std::snprintf(stored, sizeof stored, "%s no=%3d", entry.c_str(), journalPos_);
    // Coordinates of absurd size would make an entry longer than its slot; a cut entry
    // would undo the wrong thing, so such an action is not journaled.
    if (n < 0 || n > kMaxText) return false;
    if (!replaying) redo_.clear();
    if (size_t(journalPos_) >= slots_.size()) {
        slots_.resize(size_t(journalPos_) + 1);
        joined_.resize(size_t(journalPos_) + 1);
    }
    slots_[size_t(journalPos_)] = stored;
    joined_[size_t(journalPos_)] = actionDepth_ > 0 && actionHasEntry_;
    if (actionDepth_ > 0) actionHasEntry_ = true;
    journalPos_ += 1;
    if (journalPos_ > kSlots - 1) journalPos_ = 0;
    return true;
}

std::string UndoJournal::JournalPop() {
    journalPos_ -= 1;
    if (journalPos_ < 0) journalPos_ = kSlots - 1;
    poppedJoined_ = false;
    if (size_t(journalPos_) >= slots_.size()) return "Nothing to UNDO.";
    std::string& slot = slots_[size_t(journalPos_)];
    if (slot.empty()) return "Nothing to UNDO.";
    poppedJoined_ = joined_[size_t(journalPos_)] != 0;
    joined_[size_t(journalPos_)] = 0;
    suppressNext_ = 1;
    std::string text = std::move(slot);
    slot.clear();
    return text;
}

namespace {

// Reads "%s %d %d %d %d %d" and then `reals` numbers "%lf" from an entry, without a buffer
// that a long word could overflow.
bool ParseEntry(const std::string& text, int32_t ints[5], double* reals, int count) {
    const char* p = text.c_str();
    while (*p && *p != ' ') ++p;  // the letter word
    for (int i = 0; i < 5; ++i) {
        char* end;
        long v = std::strtol(p, &end, 10);
        if (end == p) return false;
        ints[i] = int32_t(v);
        p = end;
    }
    for (int i = 0; i < count; ++i) {
        char* end;
        reals[i] = std::strtod(p, &end);
        if (end == p) return false;
        p = end;
    }
    return true;
}

// The entry's numbers went through "%lf"; a slot matches when its values print the same.
bool SameAsPrinted(double stored, double parsed) {
    char a[400], b[400];
    std::snprintf(a, sizeof a, "%lf", stored);
    std::snprintf(b, sizeof b, "%lf", parsed);
    return std::strcmp(a, b) == 0;
}


// Performs the opposite of one entry (undo) or the entry itself again (redo). Deletions
// take only the element the entry speaks of: after a clear or a file load the slot may hold
// another element, which must not be deleted.
void ApplyEntry(const std::string& text, DrawingStore& store, bool opposite) {
    char letter = text.empty() ? 0 : text[0];
    int32_t ints[5] = {};
    double v[5] = {};
    bool isLine = letter == 'L' || letter == 'l';
    bool isCircle = letter == 'C' || letter == 'c';
    bool parsed = (isLine && ParseEntry(text, ints, v, 4)) || (isCircle && ParseEntry(text, ints, v, 5));
    if (!parsed) return;
    const int32_t index = ints[0];
    // An added element ('L', 'C') is deleted by its undo; a deleted one ('l', 'c') by its redo.
    const bool added = letter == 'L' || letter == 'C';
    if (added == opposite) {
        if (isLine) {
            if (index >= 0 && index <= store.lineAlloc && store.line(index).alive) {
                const LineElement& l = store.line(index);
                if (SameAsPrinted(l.x1, v[0]) && SameAsPrinted(l.y1, v[1]) &&
                    SameAsPrinted(l.x2, v[2]) && SameAsPrinted(l.y2, v[3]))
                    store.DeleteLine(index, 1);
            }
        } else if (index >= 0 && index <= store.circleAlloc && store.circle(index).alive) {
            const CircleElement& c = store.circle(index);
            if (SameAsPrinted(c.cx, v[0]) && SameAsPrinted(c.cy, v[1]) &&
                SameAsPrinted(c.radius, v[2]) && SameAsPrinted(c.startAngle, v[3]) &&
                SameAsPrinted(c.endAngle, v[4]))
                store.DeleteCircle(index, 1);
        }
    } else if (isLine) {
        store.RestoreLine(index, ints[1], ints[3], v[0], v[1], v[2], v[3]);
    } else {
        store.RestoreCircle(index, ints[1], ints[3], v[0], v[1], v[2], v[3], v[4]);
    }
}

}  // namespace

void Undo1(UndoJournal& journal, DrawingStore& store,
           const std::function<void(const std::string&)>& log) {
    std::vector<std::string> undone;
    do {
        std::string text = journal.JournalPop();
        const bool joined = journal.PoppedJoined();
        if (log) log(text);
        const char letter = text.empty() ? 0 : text[0];
        if (letter == 'L' || letter == 'l' || letter == 'C' || letter == 'c') {
            ApplyEntry(text, store, true);
            undone.push_back(std::move(text));
        }
        journal.CancelSuppress();
        if (!joined) break;
    } while (true);
    if (!undone.empty()) journal.redoList().push_back(std::move(undone));
}

bool Redo1(UndoJournal& journal, DrawingStore& store) {
    auto& list = journal.redoList();
    if (list.empty()) return false;
    const std::vector<std::string> action = std::move(list.back());
    list.pop_back();
    journal.replaying = true;
    {
        UndoAction group(&journal);
        for (auto it = action.rbegin(); it != action.rend(); ++it) ApplyEntry(*it, store, false);
    }
    journal.replaying = false;
    return true;
}
