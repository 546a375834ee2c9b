// Memory on large pages.
#include "model/LargePages.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
size_t PageRounded(size_t bytes) {
#if defined(__unix__)
    static const size_t page = [] {
        const long p = sysconf(_SC_PAGESIZE);
        return p > 0 ? size_t(p) : size_t(4096);
    }();
#else
    const size_t page = 4096;
#endif
    return (bytes + page - 1) / page * page;
}
}  // namespace

void* MapBlock(size_t bytes, size_t small) {
#if defined(__unix__)
    // Mapped with a large page of room to spare, then cut to start on a large page: the
    // system can only back whole, aligned large pages with one.
    const size_t len = PageRounded(bytes), span = len + kLargePage;
    void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    const uintptr_t from = reinterpret_cast<uintptr_t>(m);
    const uintptr_t at = (from + kLargePage - 1) & ~uintptr_t(kLargePage - 1);
    if (at > from) munmap(m, at - from);
    if (const size_t tail = span - (at - from) - len)
        munmap(reinterpret_cast<void*>(at + len), tail);
#if defined(MADV_HUGEPAGE)
    if (len > small)  // a hint: fails harmlessly
        madvise(reinterpret_cast<void*>(at + small), len - small, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(at);
#else
    (void)small;
    return std::calloc(1, bytes);
#endif
}

void MakeResident(void* p, size_t bytes) {
#if defined(__unix__) && defined(MADV_POPULATE_WRITE)
    // Only whole pages inside the range: the system asks for a page-aligned start.
    static const size_t page = PageRounded(1);
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~uintptr_t(page - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~uintptr_t(page - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)bytes;
#endif
}

namespace {
// The helper thread behind MakeResidentAhead and its queue of ranges. Made on first use and
// never destroyed, so that a store destroyed at exit can still ask it to forget its blocks;
// the thread only ever waits on the queue or makes pages resident.
class Warmer {
public:
    void Ask(uintptr_t from, uintptr_t to) {
        {
            std::lock_guard lock(mutex_);
            if (!started_) {
                started_ = true;
                std::thread([this] { Run(); }).detach();
            }
            queue_.push_back({from, to});
        }
        wake_.notify_one();
    }
    // No range within [from, to) is left in the queue or being made resident.
    void Forget(uintptr_t from, uintptr_t to) {
        std::unique_lock lock(mutex_);
        if (!started_) return;
        std::erase_if(queue_, [&](const Range& r) { return r.from < to && from < r.to; });
        done_.wait(lock, [&] { return !(busy_.from < to && from < busy_.to); });
    }

private:
    struct Range {
        uintptr_t from = 0, to = 0;
    };
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !queue_.empty(); });
            busy_ = queue_.front();
            queue_.pop_front();
            lock.unlock();
            MakeResident(reinterpret_cast<void*>(busy_.from), busy_.to - busy_.from);
            lock.lock();
            busy_ = {};
            done_.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Range> queue_;
    Range busy_;
    bool started_ = false;
};

Warmer& TheWarmer() {
    static Warmer* const warmer = new Warmer;
    return *warmer;
}
}  // namespace

void MakeResidentAhead(void* p, size_t bytes) {
#if defined(__unix__) && defined(MADV_POPULATE_WRITE)
    const uintptr_t from = reinterpret_cast<uintptr_t>(p);
    TheWarmer().Ask(from, from + bytes);
#else
    (void)p;
    (void)bytes;
#endif
}

void UnmapBlock(void* p, size_t bytes) {
    if (!p) return;
#if defined(__unix__)
#if defined(MADV_POPULATE_WRITE)
    const uintptr_t from = reinterpret_cast<uintptr_t>(p);
    TheWarmer().Forget(from, from + PageRounded(bytes));
#endif
    munmap(p, PageRounded(bytes));
#else
    (void)bytes;
    std::free(p);
#endif
}
