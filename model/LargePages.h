// Memory on large pages, for the store's big tables and arrays.
#pragma once

#include <cstddef>

// The size of a large page, and zeroed memory of `bytes` starting on one (null when the
// system has none left), given back by UnmapBlock; `small` bytes at its start stay on
// small pages. A table of a million elements on small pages would stop the program once
// for every 4 KiB of it for the system to map it, and miss the processor's cache of page
// addresses far more often while it is read.
inline constexpr std::size_t kLargePage = std::size_t(2) << 20;
void* MapBlock(std::size_t bytes, std::size_t small);
void UnmapBlock(void* p, std::size_t bytes);

// Makes the pages of [p, p + bytes) resident at once, in one call to the system, where
// writing them would stop the program once for every 4 KiB page: for buffers about to be
// written through. Where the system cannot, nothing happens and the pages come as written.
void MakeResident(void* p, std::size_t bytes);
