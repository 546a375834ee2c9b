// The undo journal: a ring of the last 1,048,576 additions and deletions as text entries, grouped
// into user actions, and the actions undone since the last new one, for redo.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class DrawingStore;

class UndoJournal {
public:
    // The ring's size: a lines-to-arcs run on a large drawing makes thousands of entries,
    // and a day's work hundreds of thousands. Slots are made as they are first used.
    static constexpr int kSlots = 1 << 20;
    static constexpr int kMaxText = 255;

    UndoJournal() { JournalCreate(); }
    void JournalCreate();
    // Drops the entry if the previous pop asked so. An entry whose stored form would not
    // fit its slot is refused (returns false) rather than cut.
    bool JournalPush(const std::string& entry);
    // Takes the newest entry out, or yields "Nothing to UNDO.".
    std::string JournalPop();
    // Whether the entry the last pop took belongs to the same user action as the entry
    // before it, so that the undo command goes on with that one.
    bool PoppedJoined() const { return poppedJoined_; }

    // The entries pushed between BeginAction and EndAction are one user action: one undo
    // takes them all back. Nested pairs make one action.
    void BeginAction();
    void EndAction();

    // Redo: the actions undone since the last new action, newest last, each as the entries
    // the undo took back (newest first). A new action forgets them.
    std::vector<std::vector<std::string>>& redoList() { return redo_; }
    // While set, pushes come from a redo and keep the redo list.
    bool replaying = false;

    // The undo command calls this after its opposite action: when that action made no
    // entry (it was refused), the flag must not swallow the user's next action.
    void CancelSuppress() { suppressNext_ = 0; }

    int32_t journalPos() const { return journalPos_; }
    bool suppressNext() const { return suppressNext_ != 0; }
    const std::string& slot(int i) const {
        static const std::string unused;
        return size_t(i) < slots_.size() ? slots_[size_t(i)] : unused;
    }

private:
    std::vector<std::string> slots_;
    std::vector<uint8_t> joined_;  // 1: undone together with the entry before it
    int32_t journalPos_ = 0;
    int32_t suppressNext_ = 0;
    int32_t actionDepth_ = 0;
    bool actionHasEntry_ = false;
    bool poppedJoined_ = false;
    std::vector<std::vector<std::string>> redo_;
};

// Makes the journal entries of its lifetime one user action.
class UndoAction {
public:
    explicit UndoAction(UndoJournal* journal) : journal_(journal) {
        if (journal_) journal_->BeginAction();
    }
    ~UndoAction() {
        if (journal_) journal_->EndAction();
    }
    UndoAction(const UndoAction&) = delete;
    UndoAction& operator=(const UndoAction&) = delete;

private:
    UndoJournal* journal_;
};

// The undo command: pops the entries of the newest user action, shows each through `log` and
// performs the opposite actions on the store with broadcast 1.
void Undo1(UndoJournal& journal, DrawingStore& store, const std::function<void(const std::string&)>& log);
// The redo command: performs the newest undone action again, as one action, with broadcast
// 1; false when there is nothing to redo.
bool Redo1(UndoJournal& journal, DrawingStore& store);
