// ConnectionParams::Parse (the provider's connection string) on any text.
//
// Properties: the text is kept as given; keys are stored lower-cased,
// non-empty and without surrounding blanks; Get finds each stored key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/provider.h"
#include "property.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using marl::fuzz::Require;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto params = marl::data::ConnectionParams::Parse(text);
  Require(params.text == text, "the text was not kept as given");
  for (const auto& [key, value] : params.values) {
    Require(!key.empty(), "an empty key was stored");
    Require(key.front() != ' ' && key.back() != ' ',
            "a key kept its surrounding blanks");
    for (char c : key) Require(c < 'A' || c > 'Z', "a key is not lower-cased");
    Require(params.Get(key, "\x01") == value, "Get misses a stored key");
  }
  return 0;
}
