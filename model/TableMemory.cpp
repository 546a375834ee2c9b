// Memory for the store's big tables.
#include "model/TableMemory.h"

#include <cstdint>
#include <cstdlib>
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

void* MapBlock(size_t bytes) {
#if defined(__unix__)
    const size_t len = PageRounded(bytes);
    void* m = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
#if defined(MADV_NOHUGEPAGE)
    // Small pages also where the system gives large ones to every mapping it can: a hint,
    // which fails harmlessly.
    madvise(m, len, MADV_NOHUGEPAGE);
#endif
    return m;
#else
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

void UnmapBlock(void* p, size_t bytes) {
    if (!p) return;
#if defined(__unix__)
    munmap(p, PageRounded(bytes));
#else
    (void)bytes;
    std::free(p);
#endif
}
