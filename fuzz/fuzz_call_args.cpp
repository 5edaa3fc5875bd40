// The tool's call arguments: ArgToVariant for each declared parameter type,
// JsonToValueSet and ParseDateText.
//
// Input: the first byte picks the parameter type; the rest is the argument.
// Properties: a conversion either raises UsageError or gives a value of the
// kind the parameter asks for; a date argument is exactly the canonical text
// of the date it gives (a midnight time may be written out); every key of a
// value set's JSON object is held by the set, numbers with their values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "common.h"
#include "property.h"

namespace {

using marl::ParamInfo;
using marl::Variant;
using marl::VarType;
using marl::cli::UsageError;
using marl::fuzz::Require;

constexpr VarType kParamTypes[] = {
    VarType::I2,   VarType::I4,   VarType::Bool,     VarType::Date,
    VarType::R4,   VarType::R8,   VarType::Currency, VarType::Object,
    VarType::Text, VarType::Empty};

// The kind ArgToVariant gives for a parameter type.
VarType Expected(VarType param) {
  switch (param) {
    case VarType::R4:
    case VarType::Currency:
      return VarType::R8;
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool:
    case VarType::Date:
    case VarType::R8:
    case VarType::Object:
      return param;
    default:
      return VarType::Text;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

void CheckDate(const std::string& text) {
  double date = 0;
  if (!marl::cli::ParseDateText(text, &date)) return;
  const std::string canonical = Variant::FormatDate(date);
  Require(canonical == text || canonical + " 00:00:00" == text,
          "a date argument is not the text of the date it gives");
}

void CheckValueSet(const std::string& text) {
  std::shared_ptr<marl::FieldValueSet> set;
  try {
    set = marl::cli::JsonToValueSet(text);
  } catch (const UsageError&) {
    return;
  }
  const auto object = marl::cli::Json::parse(text);
  std::map<std::string, int> folded;  // keys the same but for letter case
  for (const auto& [key, value] : object.items()) ++folded[Lower(key)];
  for (const auto& [key, value] : object.items()) {
    Require(set->Exists(key), "a key of the JSON object is not held");
    if (value.is_number() && folded[Lower(key)] == 1) {
      const double want = value.get<double>();
      const double got = set->Value(key).ToDouble();
      Require(got == want || std::fabs(got - want) <= 1e-15 * std::fabs(want),
              "a number of the JSON object changed its value");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ParamInfo param;
  param.name = "aArg";
  param.type = kParamTypes[data[0] % std::size(kParamTypes)];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const Variant v = marl::cli::ArgToVariant(text, param);
    Require(v.Type() == Expected(param.type),
            "an argument converted to another kind");
  } catch (const UsageError&) {
    // A refusal is an answer.
  }
  CheckDate(text);
  if (param.type == VarType::Object) CheckValueSet(text);
  return 0;
}
