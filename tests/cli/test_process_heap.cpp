// The tool's heap set-up: what it marks must be where the heap's blocks are.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "process_heap.h"

namespace marl::cli {
namespace {

// The VmFlags of the mapping holding `p` ("" when none does).
std::string FlagsOfMappingAt(const void* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    std::uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> from >> dash >> to && dash == '-') {
      inside = from <= at && at < to;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line + " ";
    }
  }
  return "";
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnAllocator = true;
#else
constexpr bool kOwnAllocator = false;
#endif
#else
constexpr bool kOwnAllocator = false;
#endif

TEST(ProcessHeap, LargeBlocksComeFromTheRangeMarkedForHugePages) {
  if (kOwnAllocator) GTEST_SKIP() << "the sanitizer brings its own allocator";
  if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage")) {
    GTEST_SKIP() << "the kernel has no transparent huge pages";
  }
  // In a child: the settings belong to the whole process.
  EXPECT_EXIT(
      {
        if (!BackHeapWithHugePages(std::size_t{64} << 20)) std::_Exit(2);
        // A block above the allocator's usual mapping threshold.
        char* block = static_cast<char*>(std::malloc(std::size_t{8} << 20));
        const std::string flags = FlagsOfMappingAt(block + (4 << 20));
        std::_Exit(flags.find(" hg ") != std::string::npos ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  // Sizes it refuses leave the process as it was.
  EXPECT_FALSE(BackHeapWithHugePages(std::size_t{1} << 20));
  EXPECT_FALSE(BackHeapWithHugePages(std::size_t{2} << 30));
}

}  // namespace
}  // namespace marl::cli
