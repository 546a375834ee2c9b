// The slot table of the drawing store: records in large contiguous blocks, fresh until written.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "model/TableMemory.h"

// Records per block as a power of two: the fewest, from 16,384 on, that fill whole steps
// of 2 MiB; 16,384 for records that no block of up to a million fits that way.
constexpr size_t BlockShift(size_t recordBytes) {
    for (size_t k = 14; k <= 20; ++k)
        if (((size_t(1) << k) * recordBytes) % kMapStep == 0) return k;
    return 14;
}

// Slots 0 to size() - 1 exist. Records live in blocks of 16,384 or more (a power of two),
// so that a scan walks long runs of memory and growing never moves a record (references
// stay valid). A block that was never written, or that Refresh() gave back, holds only
// fresh records: reading it costs no memory, writing it allocates it. That is how a
// cleared store returns its memory while every slot up to the allocation mark still
// exists. A block of plain records comes from the system already zeroed, so its pages
// cost nothing until the records in them are written; where the fresh state is not all
// zero bytes, the records are made fresh as writing reaches them, a page or so at a time,
// and read as fresh beyond that.
//
// A block that holds whole steps of 2 MiB is mapped on its own (a drawing of a million
// elements writes some 200 MB of records) and made resident as writing reaches it: 64 KiB
// at a time within the table's first 2 MiB, so that a small drawing, and the empty stores
// the program keeps besides the drawing, cost only the pages they write, and 2 MiB at a time
// after it; each in one call to the system rather than a stop at every page. The records of
// a mapped block are read as fresh beyond what was made ready, whether or not they are zero
// bytes.
template <class T>
class SlotTable {
public:
    static constexpr size_t kShift = BlockShift(sizeof(T));
    static constexpr size_t kBlock = size_t(1) << kShift;
    static constexpr size_t kMask = kBlock - 1;

    size_t size() const { return size_; }
    const T& operator[](size_t i) const {
        const Slot& s = blocks_[i >> kShift];
        const size_t j = i & kMask;
        return j < s.ready ? s.records[j] : Fresh();
    }
    T& operator[](size_t i) {
        Slot& s = blocks_[i >> kShift];
        const size_t j = i & kMask;
        if (j >= s.ready) [[unlikely]]
            Prepare(s, i >> kShift, j);
        return s.records[j];
    }
    // One more slot, holding a fresh record.
    void emplace_back() {
        if ((size_ >> kShift) >= blocks_.size()) blocks_.emplace_back();
        ++size_;
    }
    void clear() {
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
    }
    // Every record fresh again, the memory returned; the slots stay.
    void Refresh() {
        for (Slot& s : blocks_) {
            s.records.reset();
            s.ready = 0;
        }
    }
    // The block holding slot i, or null while it holds only fresh records, and how many
    // records from its start are held in it (the rest are fresh).
    const T* BlockOf(size_t i) const { return blocks_[i >> kShift].records.get(); }
    size_t ReadyIn(size_t i) const { return blocks_[i >> kShift].ready; }
    static const T& Fresh() {
        static const T fresh{};
        return fresh;
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        const_iterator() = default;
        const_iterator(const SlotTable* t, size_t i) : t_(t), i_(i) {}
        reference operator*() const { return (*t_)[i_]; }
        pointer operator->() const { return &(*t_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator c = *this;
            ++i_;
            return c;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const SlotTable* t_ = nullptr;
        size_t i_ = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

private:
    static constexpr bool kPlain = std::is_trivially_copyable_v<T> &&
                                   std::is_trivially_destructible_v<T> &&
                                   (std::is_aggregate_v<T> ||
                                    std::is_trivially_default_constructible_v<T>);
    static constexpr size_t kBytes = kBlock * sizeof(T);
    static constexpr bool kMapped = kPlain && kBytes % kMapStep == 0;
    struct Free {
        void operator()(T* p) const {
            if constexpr (kMapped)
                UnmapBlock(p, kBytes);
            else if constexpr (kPlain)
                std::free(p);
            else
                delete[] p;
        }
    };
    struct Slot {
        std::unique_ptr<T[], Free> records;
        size_t ready = 0;  // records from the start that live in the block
    };
    static bool FreshIsZero() {
        static const bool zero = [] {
            unsigned char bytes[sizeof(T)] = {};
            return std::memcmp(&Fresh(), bytes, sizeof(T)) == 0;
        }();
        return zero;
    }
    // Slot j of block `index` is about to be written: the block is allocated, and its fresh
    // records made up to the end of the step that holds j.
    static void Prepare(Slot& s, size_t index, size_t j) {
        if (!s.records) {
            if constexpr (kMapped) {
                s.records.reset(static_cast<T*>(MapBlock(kBytes)));
                if (!s.records) throw std::bad_alloc();
                s.ready = 0;
            } else if constexpr (kPlain) {
                // calloc creates the records (they are of a kind that needs no constructor).
                T* p = static_cast<T*>(std::calloc(kBlock, sizeof(T)));
                if (!p) throw std::bad_alloc();
                if (!FreshIsZero()) std::fill_n(p, kBlock, Fresh());
                s.records.reset(p);
                s.ready = kBlock;
            } else {
                s.records.reset(new T[kBlock]());
                s.ready = kBlock;
            }
        }
        if (j < s.ready) return;
        // Small steps within the table's first 2 MiB, whole ones after it; a record that runs
        // over the end of a step is made with the next one.
        const bool small = index == 0 && (j + 1) * sizeof(T) <= kMapStep;
        const size_t step = small ? 65536 : kMapStep;
        const size_t end = ((j + 1) * sizeof(T) + step - 1) / step * step;
        const size_t ready = std::min(kBlock, end / sizeof(T));
        if constexpr (kMapped) {
            char* const block = reinterpret_cast<char*>(s.records.get());
            const size_t from = s.ready * sizeof(T);
            MakeResident(block + from, std::min(end, kBytes) - from);
        }
        if (!FreshIsZero())
            std::fill(s.records.get() + s.ready, s.records.get() + ready, Fresh());
        s.ready = ready;
    }
    std::vector<Slot> blocks_;
    size_t size_ = 0;
};
