// The tool's process heap.
#pragma once

#include <cstddef>

namespace marl::cli {

// Asks the kernel to back the first `reserve` bytes of the process heap
// with transparent huge pages, where it offers them on request (the
// "madvise" setting of /sys/kernel/mm/transparent_hugepage/enabled).
//
// Why: a close reads tens of megabytes of database pages into SQLite's page
// cache and as many result rows into memory, all of it freshly grown heap.
// With 4 KiB pages every first touch of a page is a fault (11,500 in a
// close of the medium demo company, a quarter of its CPU time); a huge page
// takes one fault per 2 MiB. Short commands touch a few megabytes and lose
// nothing.
//
// How: the heap is made to grow in one step of `reserve` bytes (address
// space only; memory is still given as it is touched), large blocks are
// taken from it too instead of from mappings of their own, and the grown
// range is marked for huge pages. The heap is not trimmed below the
// reservation, so the marked range stays the heap's. Whatever the heap
// grows beyond it is ordinary memory.
//
// Call once, first thing in main, before anything large is allocated. It
// changes process-wide allocator settings, so it belongs to a program that
// owns its process (the tool), never to the library. Every step is only a
// request: where the kernel or the allocator refuses one, the heap stays as
// it was and nothing else changes. Returns whether the range was marked.
bool BackHeapWithHugePages(std::size_t reserve = std::size_t{256} << 20);

}  // namespace marl::cli
