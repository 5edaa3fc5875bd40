// What the fuzz targets share: a broken property is a finding, reported as
// a crash so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace marl::fuzz {

// Stops the run with `what` when `holds` is false.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

}  // namespace marl::fuzz
