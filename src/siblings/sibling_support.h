// Pieces the sibling components share: the data source a component makes from a
// connection property string. Thread safety: none needed; every helper works on
// its arguments.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/cparse.h"
#include "data/data_source.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/variant.h"

namespace marl::siblings {

// A parser of `props` and a data source over it. Parser errors pass on.
struct DataEnv {
  explicit DataEnv(const std::string& props);
  std::shared_ptr<data::CParse> parser;
  std::shared_ptr<data::CDataSource> source;
};

// A number read from a row value: empty and null read as 0; text is
// converted (13 when it is not a number).
double NumberOrZero(const Variant& v);

}  // namespace marl::siblings
