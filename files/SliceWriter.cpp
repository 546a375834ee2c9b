// Output made in numbered slices, formatted on worker threads and handed to a sink in order.
#include "files/SliceWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "model/TableMemory.h"

namespace {

// The most the sink is handed at once: files are written in pieces of this size.
constexpr std::size_t kPiece = std::size_t(1) << 20;
// A new buffer holds a slice of about 1 MiB and the record that passes it without growing.
constexpr std::size_t kFirstCapacity = std::size_t(3) << 19;
// More threads than this would only hold more slices in memory: the writing, one thread
// copying into the page cache, is then what everything waits for.
constexpr int kMaxWorkers = 8;

bool PutInPieces(std::string_view bytes, const TextSink& sink) {
    while (bytes.size() > kPiece) {
        // Pieces end at a record's end, as far as the slice has records that short.
        const std::size_t nl = bytes.rfind('\n', kPiece - 1);
        const std::size_t n = nl == std::string_view::npos ? kPiece : nl + 1;
        if (!sink(bytes.substr(0, n))) return false;
        bytes.remove_prefix(n);
    }
    return bytes.empty() || sink(bytes);
}

bool WriteInline(std::size_t count, const SliceFormatter& format, const TextSink& sink) {
    SliceBuffer buffer;
    for (std::size_t k = 0; k < count; ++k) {
        try {
            format(k, buffer);
        } catch (...) {
            return false;
        }
        if (!PutInPieces(buffer.View(), sink)) return false;
    }
    return true;
}

bool WriteInlinePlaced(std::size_t count, const SliceFormatter& format, const PlacedSink& sink) {
    int64_t at = 0;
    return WriteInline(count, format, [&](std::string_view bytes) {
        const bool ok = sink(bytes, at);
        at += int64_t(bytes.size());
        return ok;
    });
}

// The workers take slices in order and format each into the ring slot of its number; the
// writer hands the slots on in order and frees them. A worker waits while its slot still
// holds a slice the writer has not reached, which bounds the memory to the ring: a slot for
// each worker, the one being written and one ready ahead. The writer is the quicker side
// (copying 1 MiB into the page cache takes a fraction of formatting it), so more slots
// would only hold more memory.
//
// Given a placed sink, the workers write their slices themselves, each where the slices
// before it end: the slices are placed in order as they are formatted, and a worker writes
// its own as soon as its place is known. The copying into the page cache, as dear as the
// formatting where the machine hands out fresh memory slowly, is then shared too.
class Pipeline {
public:
    Pipeline(std::size_t count, const SliceFormatter& format, int workers,
             const PlacedSink* placed = nullptr)
        : count_(count), format_(format), placed_(placed), slots_(std::size_t(workers) + 2) {
        threads_.reserve(std::size_t(workers));
    }
    ~Pipeline() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        claimable_.notify_all();
        ready_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    // False when not even one thread starts.
    bool Start(int workers) {
        try {
            for (int i = 0; i < workers; ++i) threads_.emplace_back(&Pipeline::Work, this);
        } catch (const std::system_error&) {
        }
        return !threads_.empty();
    }
    bool Write(const TextSink& sink);
    // With a placed sink: until every slice is written; false when anything failed.
    bool Wait() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return failed_ || written_ == count_; });
        return !failed_;
    }

private:
    struct Slot {
        SliceBuffer buffer;
        bool ready = false;
        bool busy = false;  // placed: taken by a worker, not yet written
        int64_t at = -1;    // placed: where the slice goes, once known
    };
    void Work();
    bool Claimable() const {
        if (placed_) return !slots_[next_ % slots_.size()].busy;
        return next_ < written_ + slots_.size();
    }
    // Places every formatted slice whose predecessors are placed.
    void Place() {
        for (;;) {
            Slot& s = slots_[placedCount_ % slots_.size()];
            if (placedCount_ >= next_ || !s.ready || s.at >= 0) return;
            s.at = nextAt_;
            nextAt_ += int64_t(s.buffer.View().size());
            ++placedCount_;
        }
    }

    const std::size_t count_;
    const SliceFormatter& format_;
    const PlacedSink* placed_;
    std::vector<Slot> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable claimable_, ready_;
    std::size_t next_ = 0, written_ = 0;
    std::size_t placedCount_ = 0;
    int64_t nextAt_ = 0;
    bool stop_ = false, failed_ = false;
};

void Pipeline::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        claimable_.wait(lock, [this] { return stop_ || next_ >= count_ || Claimable(); });
        if (stop_ || next_ >= count_) return;
        const std::size_t k = next_++;
        Slot& slot = slots_[k % slots_.size()];
        slot.busy = true;
        lock.unlock();
        bool formatted = true;
        try {
            format_(k, slot.buffer);
        } catch (...) {
            formatted = false;
        }
        lock.lock();
        if (!formatted) failed_ = stop_ = true;
        slot.ready = formatted;
        if (!formatted) {
            ready_.notify_all();
            claimable_.notify_all();
            return;
        }
        if (!placed_) {
            ready_.notify_one();
            continue;
        }
        Place();
        ready_.notify_all();
        ready_.wait(lock, [&] { return stop_ || slot.at >= 0; });
        if (stop_) return;
        const int64_t at = slot.at;
        lock.unlock();
        const bool ok = (*placed_)(slot.buffer.View(), at);
        lock.lock();
        slot.ready = slot.busy = false;
        slot.at = -1;
        ++written_;
        if (!ok) failed_ = stop_ = true;
        ready_.notify_all();
        claimable_.notify_all();
        if (!ok) return;
    }
}

bool Pipeline::Write(const TextSink& sink) {
    for (std::size_t k = 0; k < count_; ++k) {
        Slot& slot = slots_[k % slots_.size()];
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return slot.ready || failed_; });
            if (failed_) return false;
        }
        // The slot is the writer's until it is marked free again: no worker touches it.
        if (!PutInPieces(slot.buffer.View(), sink)) return false;
        {
            std::lock_guard lock(mutex_);
            slot.ready = false;
            written_ = k + 1;
        }
        claimable_.notify_all();
    }
    return true;
}

}  // namespace

char* SliceBuffer::Grow(char* at, std::size_t bytes) {
    const std::size_t used = std::size_t(at - data_.get());
    const std::size_t capacity = std::max({kFirstCapacity, capacity_ * 2, used + bytes});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    MakeResident(data.get(), capacity);  // the buffer is written through, and used again
    if (used) std::memcpy(data.get(), data_.get(), used);
    data_ = std::move(data);
    capacity_ = capacity;
    return data_.get() + used;
}

int SliceWorkers() { return std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxWorkers); }

bool WriteSlicesInOrder(std::size_t count, const SliceFormatter& format, const TextSink& sink,
                        int workers) {
    try {
        if (workers <= 0 || count < 2) return WriteInline(count, format, sink);
        Pipeline pipeline(count, format, std::min(workers, kMaxWorkers));
        if (!pipeline.Start(std::min(workers, kMaxWorkers)))
            return WriteInline(count, format, sink);
        return pipeline.Write(sink);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool WriteSlicesPlaced(std::size_t count, const SliceFormatter& format, const PlacedSink& sink,
                       int workers) {
    try {
        if (workers <= 0 || count < 2) return WriteInlinePlaced(count, format, sink);
        Pipeline pipeline(count, format, std::min(workers, kMaxWorkers), &sink);
        if (!pipeline.Start(std::min(workers, kMaxWorkers)))
            return WriteInlinePlaced(count, format, sink);
        return pipeline.Wait();
    } catch (const std::bad_alloc&) {
        return false;
    }
}
