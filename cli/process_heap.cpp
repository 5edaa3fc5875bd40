#include "process_heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace marl::cli {

bool BackHeapWithHugePages(std::size_t reserve) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  // Blocks up to this size come from the heap rather than from mappings
  // of their own, so that they fall in the marked range too.
  constexpr int kLargestHeapBlock = 32 << 20;
  if (reserve < 2 * kHugePage || reserve > (std::size_t{1} << 30)) {
    return false;
  }
  const int pad = static_cast<int>(reserve);
  if (mallopt(M_TOP_PAD, pad) == 0 || mallopt(M_TRIM_THRESHOLD, 2 * pad) == 0 ||
      mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 0) {
    return false;
  }
  void* const start = sbrk(0);
  // A block larger than what is left at the top of the heap makes it grow
  // by the block and the padding; freed at once, the space stays the heap's
  // (the trim threshold is above it).
  void* block = std::malloc(std::size_t{1} << 20);
  if (block == nullptr) return false;
  std::free(block);
  void* const end = sbrk(0);
  if (start == reinterpret_cast<void*>(-1) ||
      end == reinterpret_cast<void*>(-1)) {
    return false;
  }
  const std::uintptr_t from =
      (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) &
      ~(kHugePage - 1);
  const std::uintptr_t to =
      reinterpret_cast<std::uintptr_t>(end) & ~(kHugePage - 1);
  if (to <= from) return false;
  return madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
}

}  // namespace marl::cli
