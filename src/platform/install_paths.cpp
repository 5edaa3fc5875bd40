// Finds the installed data directory (see install_paths.h).
#include "platform/install_paths.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

// The build sets these to the paths from the installed bin/ and lib/
// folders to the data folder (they differ where lib/ is deeper, as in
// lib/x86_64-linux-gnu).
#ifndef MARL_DATA_FROM_BINDIR
#define MARL_DATA_FROM_BINDIR "../share/marlcheckout"
#endif
#ifndef MARL_DATA_FROM_LIBDIR
#define MARL_DATA_FROM_LIBDIR "../share/marlcheckout"
#endif

namespace marl::platform {

namespace {

namespace fs = std::filesystem;

// The directory holding the file at `path`, with every symbolic link, "."
// and ".." resolved (what fs::canonical gives, at a fraction of its cost);
// empty when the file does not exist.
fs::path CanonicalDirectoryOf(const char* path) {
  const std::unique_ptr<char, decltype(&std::free)> real(
      realpath(path, nullptr), &std::free);
  return real ? fs::path(real.get()).parent_path() : fs::path();
}

// The directory of the image (shared library or program) holding this
// function; empty when the loader names it without a usable path.
fs::path ImageDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ImageDirectory), &info) == 0 ||
      info.dli_fname == nullptr || *info.dli_fname != '/') {
    return {};
  }
  return CanonicalDirectoryOf(info.dli_fname);
}

fs::path ProgramDirectory() { return CanonicalDirectoryOf("/proc/self/exe"); }

// The candidates in their order, each directory asked once: the program
// and the library holding this code are often the same image, and the two
// relative paths are often the same. A candidate is first looked up as it
// is written (one system call; the bases are canonical, so the system
// resolves it to the directory weakly_canonical would name) and only a
// directory found that way is made canonical for the answer.
std::string Find() {
  std::vector<fs::path> tried;
  for (fs::path (*base_of)() : {&ImageDirectory, &ProgramDirectory}) {
    const fs::path base = base_of();
    if (base.empty()) continue;
    for (const char* relative :
         {MARL_DATA_FROM_LIBDIR, MARL_DATA_FROM_BINDIR}) {
      fs::path candidate = base / relative;
      if (std::find(tried.begin(), tried.end(), candidate) != tried.end()) {
        continue;
      }
      tried.push_back(candidate);
      std::error_code ec;
      if (!fs::is_directory(candidate, ec)) continue;
      candidate = fs::weakly_canonical(candidate, ec);
      if (!ec && fs::is_directory(candidate, ec)) return candidate.string();
    }
  }
  return "";
}

}  // namespace

const std::string& InstalledDataDirectory() {
  static const std::string directory = Find();
  return directory;
}

}  // namespace marl::platform
