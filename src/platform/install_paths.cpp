// Finds the installed data directory (see install_paths.h).
#include "platform/install_paths.h"

#include <dlfcn.h>

#include <filesystem>
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

// The directory of the image (shared library or program) holding this
// function; empty when the loader names it without a usable path.
fs::path ImageDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ImageDirectory), &info) == 0 ||
      info.dli_fname == nullptr || *info.dli_fname != '/') {
    return {};
  }
  std::error_code ec;
  fs::path path = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path() : path.parent_path();
}

fs::path ProgramDirectory() {
  std::error_code ec;
  fs::path path = fs::canonical("/proc/self/exe", ec);
  return ec ? fs::path() : path.parent_path();
}

std::string Find() {
  std::vector<fs::path> bases;
  for (const fs::path& dir : {ImageDirectory(), ProgramDirectory()}) {
    if (!dir.empty()) bases.push_back(dir);
  }
  for (const fs::path& base : bases) {
    for (const char* relative :
         {MARL_DATA_FROM_LIBDIR, MARL_DATA_FROM_BINDIR}) {
      std::error_code ec;
      fs::path candidate = fs::weakly_canonical(base / relative, ec);
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
