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

// Slots 0 to size() - 1 exist. Records live in blocks of 16,384, so that a scan walks
// long runs of memory and growing never moves a record (references stay valid). A block
// that was never written, or that Refresh() gave back, holds only fresh records: reading
// it costs no memory, writing it allocates it. That is how a cleared store returns its
// memory while every slot up to the allocation mark still exists. A block of plain
// records whose fresh state is all zero bytes comes from the system already zeroed: its
// pages cost nothing until the records in them are written.
template <class T>
class SlotTable {
public:
    static constexpr size_t kShift = 14;
    static constexpr size_t kBlock = size_t(1) << kShift;
    static constexpr size_t kMask = kBlock - 1;

    size_t size() const { return size_; }
    const T& operator[](size_t i) const {
        const T* b = blocks_[i >> kShift].get();
        return b ? b[i & kMask] : Fresh();
    }
    T& operator[](size_t i) {
        Block& b = blocks_[i >> kShift];
        if (!b) b.reset(NewBlock());
        return b[i & kMask];
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
        for (auto& b : blocks_) b.reset();
    }
    // The block holding slot i, or null while it holds only fresh records.
    const T* BlockOf(size_t i) const { return blocks_[i >> kShift].get(); }
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
    struct Free {
        void operator()(T* p) const {
            if constexpr (kPlain)
                std::free(p);
            else
                delete[] p;
        }
    };
    using Block = std::unique_ptr<T[], Free>;
    static bool FreshIsZero() {
        static const bool zero = [] {
            unsigned char bytes[sizeof(T)] = {};
            return std::memcmp(&Fresh(), bytes, sizeof(T)) == 0;
        }();
        return zero;
    }
    static T* NewBlock() {
        if constexpr (kPlain) {
            // calloc creates the records (they are of a kind that needs no constructor run).
            T* p = static_cast<T*>(std::calloc(kBlock, sizeof(T)));
            if (!p) throw std::bad_alloc();
            if (!FreshIsZero()) std::fill_n(p, kBlock, Fresh());
            return p;
        } else {
            return new T[kBlock]();
        }
    }
    std::vector<Block> blocks_;
    size_t size_ = 0;
};
