// Output made in numbered slices, formatted on worker threads and handed to a sink in order.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "files/TextFileIo.h"

// The bytes of one slice, formatted straight into it. A buffer is used again for later
// slices, so that its memory is allocated, and its pages touched, once.
class SliceBuffer {
public:
    // Where the slice starts; the buffer counts as empty until Finish.
    char* Start() { return data_.get(); }
    // Makes sure that `bytes` can be written at `at` (a place in this buffer) and returns
    // where that place is now: growing moves the bytes.
    char* Room(char* at, std::size_t bytes) {
        return std::size_t(data_.get() + capacity_ - at) >= bytes ? at : Grow(at, bytes);
    }
    // The slice ends at `at`.
    void Finish(char* at) { size_ = std::size_t(at - data_.get()); }
    std::string_view View() const { return {data_.get(), size_}; }

private:
    char* Grow(char* at, std::size_t bytes);
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0, size_ = 0;
};

// Formats slice `index` into `out`. It runs on several threads at once for different
// slices and may throw (std::bad_alloc): the writing then fails.
using SliceFormatter = std::function<void(std::size_t index, SliceBuffer& out)>;

// How many threads format the slices of a large output: one per core, with a bound that
// keeps the slices in flight, and so the memory, small on a machine with many cores.
int SliceWorkers();

// Formats slices 0 to count - 1 and hands their bytes to `sink` in order, in pieces of at
// most 1 MiB that end at a line feed where the slice has one. With workers > 0 the slices
// are formatted on that many threads while this one writes, at most a few slices ahead of
// the writing; with 0 they are formatted here, one after the other. False as soon as the
// sink fails (it is not called again) or a formatter throws; the workers are stopped and
// joined on every way out.
bool WriteSlicesInOrder(std::size_t count, const SliceFormatter& format, const TextSink& sink,
                        int workers);

// The same with the slices written where they belong, each by the thread that formatted it
// as soon as the slices before it are formatted, so that writing shares the threads too.
bool WriteSlicesPlaced(std::size_t count, const SliceFormatter& format, const PlacedSink& sink,
                       int workers);
