// Memory for the store's big tables and arrays.
#pragma once

#include <cstddef>

// Blocks of `bytes` of zeroed memory, mapped on their own (null when the system has no
// memory left), given back by UnmapBlock. A table makes them resident a step of kMapStep
// at a time (MakeResident): one call to the system per 2 MiB rather than a stop for every
// 4 KiB page as writing reaches it.
//
// They stay on small pages. On a virtual machine whose memory is handed back to its host
// while free (as the machines we build and test on do), a large page has to be made afresh
// by the host page by page: a million-element drawing's 210 MB of tables then took 0.6 s
// of clearing on large pages against 0.15 s on small ones made resident in steps. Where
// memory stays with the machine, large pages would save some 0.05 s on such a drawing;
// the store reads its tables in long runs, where small pages cost next to nothing more.
inline constexpr std::size_t kMapStep = std::size_t(2) << 20;
void* MapBlock(std::size_t bytes);
void UnmapBlock(void* p, std::size_t bytes);

// Makes the pages of [p, p + bytes) resident at once, in one call to the system, where
// writing them would stop the program once for every 4 KiB page: for memory about to be
// written through. Where the system cannot, nothing happens and the pages come as written.
void MakeResident(void* p, std::size_t bytes);
