// The undo journal: a ring of the last 257 additions and deletions as text entries.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class DrawingStore;

class UndoJournal {
public:
    static constexpr int kSlots = 257;
    static constexpr int kMaxText = 255;

    UndoJournal() { JournalCreate(); }
    void JournalCreate();
    // Drops the entry if the previous pop asked so. An entry whose stored form would not
    // fit its slot is refused (returns false) rather than cut.
    bool JournalPush(const std::string& entry);
    // Takes the newest entry out, or yields "Nothing to UNDO.".
    std::string JournalPop();

    // The undo command calls this after its opposite action: when that action made no
    // entry (it was refused), the flag must not swallow the user's next action.
    void CancelSuppress() { suppressNext_ = 0; }

    int32_t journalPos() const { return journalPos_; }
    bool suppressNext() const { return suppressNext_ != 0; }
    const std::string& slot(int i) const { return slots_[i]; }

private:
    std::array<std::string, kSlots> slots_;
    int32_t journalPos_ = 0;
    int32_t suppressNext_ = 0;
};

// The undo command: pops one entry, shows it through `log` and performs the opposite action
// on the store with broadcast 1.
void Undo1(UndoJournal& journal, DrawingStore& store, const std::function<void(const std::string&)>& log);
