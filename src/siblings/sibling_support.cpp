// Shared pieces of the sibling components (see sibling_support.h).
#include "siblings/sibling_support.h"

#include <utility>

namespace marl::siblings {

DataEnv::DataEnv(const std::string& props)
    : parser(std::make_shared<data::CParse>()),
      source(std::make_shared<data::CDataSource>()) {
  parser->ParseString(props);
  source->SetParseObject(parser);
}

double NumberOrZero(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return 0.0;
  return v.ToDouble();
}

}  // namespace marl::siblings
